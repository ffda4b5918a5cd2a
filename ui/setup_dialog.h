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

// The camera's settings in the General Set-Up dialog, for a camera that
// offers them: edit boxes beside the dialog's lists.
inline constexpr DialogControlId kCameraExposureEdit = static_cast<DialogControlId>(2401);
inline constexpr DialogControlId kCameraGainEdit = static_cast<DialogControlId>(2402);
inline constexpr DialogControlId kCameraFrameRateEdit = static_cast<DialogControlId>(2403);
// Who measures, named on inspection reports and kept in TRACE.CFG.
inline constexpr DialogControlId kOperatorEdit = static_cast<DialogControlId>(2404);
// The results server's connection string (its password shown masked) and
// the station's name on it, kept in RESULTS.DB.
inline constexpr DialogControlId kResultsServerEdit = static_cast<DialogControlId>(2405);
inline constexpr DialogControlId kStationNameEdit = static_cast<DialogControlId>(2406);

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
  // Exposure time, gain and frame rate as edit boxes, for a camera that
  // offers them.
  void AddCameraSettingEdits(Station& station);
  void AddResultsServerEdits(Station& station);
  void AddLabelledEdit(std::string title, DialogControlId id, std::string text);

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

// After OK: the results server and station name typed into the dialog
// named (SetResultsServer); a server field left as shown keeps the stored
// string, password and all.
void ApplyResultsServerEdits(Station& station, DialogModel& dialog);

// The Set-Up button.
void RunSetUpDialog(Station& station);

// After OK: the camera settings typed into the dialog (exposure time, gain,
// frame rate, for a camera that offers them) set on the camera and kept in
// its settings file; a text that is no number is said and changes nothing.
void ApplyCameraSettingEdits(Station& station, DialogModel& dialog);

// After OK: the operator typed into the dialog named on reports and kept;
// one that cannot be kept is said.
void ApplyOperatorEdit(Station& station, DialogModel& dialog);

} // namespace orvane
