// The Grid Calibration dialog: grid type, rows, columns and pitch; Grab finds
// the grid on the camera's picture and adds the view; the fit's figures and
// the points found are shown; Accept saves the calibration and turns
// rectification on, Discard leaves everything as it was. The search is Grab's
// task: a surface may run it off the window's thread and cancel it.
#pragma once

#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "platform/video/video.h"
#include "rectify/grid_calibration.h"
#include "station/station.h"
#include "station/control_surface.h"

namespace orvane {

class GridCalibrationDialog : public DialogModel {
 public:
  explicit GridCalibrationDialog(Station& station);
  std::optional<DialogResult> OnCommand(uint32_t id) override;
  std::unique_ptr<DialogTask> StartTask(uint32_t id) override;
  std::optional<DialogResult> FinishTask(std::unique_ptr<DialogTask> task) override;

  // The grid the dialog's controls describe; nothing while one is not a
  // number or out of range.
  std::optional<rectify::GridSpec> Spec();
  // The newest view's picture with the points found on it; empty before the
  // first Grab.
  const DialogPicture* Picture() const override { return &picture_; }
  const std::optional<rectify::GridFit>& fit() const { return fit_; }
  // Whether Accept saved the calibration.
  bool accepted() const { return accepted_; }

 private:
  void Show(const std::string& text);
  void AddView(const rectify::GridSpec& spec, video::Picture picture, std::vector<rectify::Point2> points);

  Station& station_;
  std::vector<std::vector<rectify::Point2>> views_;
  std::optional<rectify::GridSpec> views_spec_;
  DialogPicture picture_;
  std::optional<rectify::GridFit> fit_;
  bool accepted_ = false;
};

// The context menu's "Grid Calibration...".
void RunGridCalibrationDialog(Station& station);

} // namespace orvane
