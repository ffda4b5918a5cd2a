// The General Set-Up dialog and the Set-Up command that applies it: every
// list writes its Settings field at once while the dialog is open; the
// command then applies the colours, converts every solution to a new unit,
// saves the settings and reopens the camera at a new resolution.
#pragma once

#include <cstdint>
#include <optional>
#include <string>

#include "acquisition/camera_capture.h"
#include "station/control_surface.h"
#include "station/station.h"

namespace orvane {

class SetUpDialog : public DialogModel {
 public:
  // The lists set to the station's settings; the resolution list from the
  // camera's format table, disabled in File mode.
  SetUpDialog(Station& station, const CameraFormatTable& formats);
  std::optional<DialogResult> OnCommand(uint32_t id) override;
  void OnSelectionChange(uint32_t id) override;

  // The resolution row chosen last (the row shown at opening until then).
  uint32_t chosen_row() const { return chosen_row_; }
  // Whether "Reset ROIs" was answered Yes in this visit.
  bool rois_reset() const { return rois_reset_; }

 private:
  Station& station_;
  const CameraFormatTable& formats_;
  uint32_t chosen_row_ = 0;
  bool rois_reset_ = false;
};

// "640x480 (RGB format)": a format table row as the resolution list shows it.
std::string ResolutionText(const CameraFormat& row);

// Multiplies every length slot by `factor` and replaces every area v by
// (sqrt(v) * factor)^2, in double precision, stored as f32.
void ConvertUnits(SolutionRecord& record, double factor);

// The Set-Up button.
void RunSetUpDialog(Station& station);

} // namespace orvane
