#include "ui/commands.h"

#include <cstring>
#include <string>

#include "acquisition/acquisition.h"
#include "acquisition/camera_capture.h"
#include "acquisition/file_mode.h"
#include "inspect/program_session.h"
#include "solutions/measurement.h"
#include "solutions/process.h"
#include "station/workspace.h"
#include "ui/inspection_report.h"

namespace orvane {

void ChangeCameraResolution(Station& st, uint32_t row) {
  if (st.image.no_camera != 0) return;
  const CameraFormatTable& t = CameraFormats(st);
  if (t.count == 0) return;
  const CameraFormat& chosen = t.rows[row < t.count ? row : 0];
  const uint32_t w = chosen.width, h = chosen.height;
  CloseCamera(st);
  OpenCamera(st, CaptureOf(st).device_index, w, h);
  st.settings.requested_width = w;
  st.settings.requested_height = h;
  if (st.image.file_mode == 1) {
    // The file image stays on show; the camera's new image waits in the saved
    // set and comes back, at its new size, when File mode ends.
    if (st.hooks.update_status_line) st.hooks.update_status_line();
    return;
  }
  PublishGeometry(st);
  RescaleAllRois(st, st.image.width, st.image.height);
  if (st.hooks.update_status_line) st.hooks.update_status_line();
  SetAcquisitionMode(st, AcquisitionMode::Live);
}


void GrabCommand(Station& st) {
  ControlSurface& ui = st.surface();
  SetButtonState(st, ControlId::Grab, 1);
  ui.Enable(ControlId::Grab, false);
  CommitEdits(st);
  PrepareForNewFrame(st);
  SetAcquisitionMode(st, st.image.file_mode ? AcquisitionMode::File : AcquisitionMode::Still);
  const bool acquired = AcquireFrame(st) != 0;
  PictureArrived(st, acquired);
  if (acquired) {
    RedrawOverlay(st);
    ComposeDisplay(st, st.image.frame);
    AutoReport(st);
  }
  st.current_distance = st.settings.calibration_distance;
  ui.Enable(ControlId::Grab, true);
  SetButtonState(st, ControlId::Grab, 0);
  ui.InvalidateWindow(false);
}


void LiveCommand(Station& st) {
  CommitEdits(st);
  SetAcquisitionMode(st, AcquisitionMode::Live);
  st.surface().InvalidateWindow(false);
}


void FileCommand(Station& st) {
  CommitEdits(st);
  if (st.image.file_mode == 1) {
    // Without a camera there is no image to go back to: the station stays in
    // File mode (the button is disabled then; this holds should it be pressed).
    if (st.image.no_camera == 0) LeaveFileMode(st);
  } else {
    EnterFileMode(st);
  }
  st.surface().InvalidateWindow(false);
}


bool DropStillFile(Station& st, std::string_view path) {
  ImageState& im = st.image;
  if (im.file_mode != 1) return false;
  im.still_path = std::string(path.substr(0, kStillPathMax));
  if (!im.still_path.empty()) {
    char* last = st.settings.last_file_path;
    std::memset(last, 0, sizeof st.settings.last_file_path);
    std::memcpy(last, im.still_path.data(), im.still_path.size());
  }
  PrepareForNewFrame(st);
  const bool loaded = LoadStillImage(st) != 0;
  PictureArrived(st, loaded);
  if (loaded) {
    RedrawOverlay(st);
    ComposeDisplay(st, im.frame);
    AutoReport(st);
  }
  return true;
}

std::optional<ProgramRun> RunProgramCommand(Station& st, std::string* why) {
  std::optional<ProgramRun> run = RunOpenProgram(st, why);
  if (run && st.image.frame != nullptr) {
    RedrawOverlay(st);
    ComposeDisplay(st, st.image.frame);
    st.surface().InvalidateWindow(false);
    AutoReport(st);
  }
  return run;
}

} // namespace orvane
