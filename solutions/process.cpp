#include "solutions/process.h"

#include <cstring>
#include <string>

#include "acquisition/acquisition.h"
#include "draw/overlay.h"
#include "dxf/dxf_solutions.h"
#include "solutions/calibration.h"
#include "solutions/measurement.h"

namespace orvane {
namespace {

constexpr const char* kGateProcess =
    "Warning! The system must be calibrated using either auto \r\nor manual calibration before "
    "this function can be used.";
constexpr const char* kGateTrain =
    "Warning! The system must be calibrated using either auto \r\nor manual calibration before "
    "this function can be trained.";
constexpr const char* kGateCaption = "Calibration Required";
constexpr const char* kNoResult = "----------------";
constexpr Rgb kResultColour{255, 255, 1};
// A run shorter than one tick of the original timer shows as one tick.
constexpr uint32_t kShortestRunMs = 15;

void ClearResult(SolutionRecord& record) {
  record.result_text[0] = '\0';
  record.result_value = 0.0f;
}

// Row offsets of the result and time texts scale with the mark size class.
int32_t TextRowUnit(uint32_t mark_size_class) {
  return static_cast<int32_t>(TextScaleFactor(mark_size_class));
}

// Process and Train steps 3 to 8: commit, prepare, still display, acquire,
// show the raw frame and rebuild the overlay. False when no frame came.
bool AcquireAndShow(Station& st) {
  CommitEdits(st);
  PrepareForNewFrame(st);
  SetAcquisitionMode(st, st.image.file_mode ? AcquisitionMode::File : AcquisitionMode::Still);
  if (st.working->settings_kind == 0 && AcquireFrame(st) == 0) return false;
  ShowFrameRaw(st, st.image.frame);
  RedrawOverlay(st);
  return true;
}

} // namespace

void SetButtonState(Station& st, ControlId id, uint32_t state) {
  st.surface().SetColourState(id, state);
}

void CommitEdits(Station& st) {
  if (st.hooks.commit_edits) st.hooks.commit_edits();
}

void PrepareForNewFrame(Station& st) {
  SolutionRecord& rec = *st.working;
  if (rec.ui_flags & kUiClearMeasOnFrame) rec.meas_count = 0;
  st.view.set_complete = 1;
  if (rec.ui_flags & kUiMouseModeMeasure) {
    st.view.mouse_mode = 1;
  } else if (rec.ui_flags & kUiMouseModeDraw) {
    if (st.view.mouse_mode < 3) st.view.mouse_mode = 3;
  } else {
    st.view.mouse_mode = 0;
  }
}

int32_t RunSolution(Station& st, SolutionRecord& rec, uint32_t* elapsed_ms) {
  const uint32_t start = st.clock().TickMs();
  ClearResult(rec);
  int32_t result = 0;
  switch (rec.id) {
    case 1:
      result = AutoCalibration(st, rec);
      break;
    case 2:
      result = ManualCalibration(st, rec);
      break;
    case 101:
      result = ManualMeasurement(st, rec);
      break;
    case 201:
      result = DxfAutoOutput(st, rec);
      break;
    case 202:
      result = DxfSimpleOutput(st, rec);
      break;
    case 203:
      result = DxfTraceOutput(st, rec);
      break;
    default:
      break;
  }
  *elapsed_ms = st.clock().TickMs() - start;
  return result;
}

int32_t TrainSolution(Station&, SolutionRecord& rec) {
  ClearResult(rec);
  return 0;
}

void ProcessCommand(Station& st) {
  ControlSurface& ui = st.surface();
  SolutionRecord& rec = *st.working;
  if (st.settings.calibrated == 0 && rec.id > 10 && (rec.ui_flags & kUiNeedsCalibration)) {
    ui.MessageBox(kGateProcess, kGateCaption, MessageButtons::Ok);
    return;
  }
  SetButtonState(st, ControlId::Process, 1);
  ui.Enable(ControlId::Process, false);
  ui.SetText(ControlId::ResultLine, kNoResult);

  if (AcquireAndShow(st)) {
    uint32_t elapsed = 0;
    const int32_t result = RunSolution(st, rec, &elapsed);
    st.current_distance = st.settings.calibration_distance;
    if (rec.id == 1 || rec.id == 2) {
      ActOnCalibration(st, rec.id, result);
      RedrawOverlay(st);
    } else if (rec.meas_count != 0) {
      DrawMeasurements(st);
    }
    const OverlayCanvas canvas = CanvasOf(st);
    const int32_t k = TextRowUnit(st.mark_size_class);
    const int32_t height = static_cast<int32_t>(st.image.height);
    rec.result_text[sizeof rec.result_text - 1] = '\0';
    if (rec.result_text[0] != '\0') {
      DrawText(canvas, 16, height - 66 * k, rec.result_text, kResultColour);
      ui.SetText(ControlId::ResultLine, rec.result_text);
      rec.result_text[0] = '\0';
    }
    const std::string time = std::to_string(elapsed == 0 ? kShortestRunMs : elapsed) + " ms";
    DrawText(canvas, 16, height - 36 * k, time, kResultColour);
    ComposeDisplay(st, st.image.frame);
  }

  ui.Enable(ControlId::Process, true);
  SetButtonState(st, ControlId::Process, 0);
  ui.InvalidateWindow(false);
}

void TrainCommand(Station& st) {
  ControlSurface& ui = st.surface();
  SolutionRecord& rec = *st.working;
  if (st.settings.calibrated == 0 && (rec.ui_flags & kUiNeedsCalibration)) {
    ui.MessageBox(kGateTrain, kGateCaption, MessageButtons::Ok);
    return;
  }
  SetButtonState(st, ControlId::Train, 1);
  ui.Enable(ControlId::Process, false);
  ui.Enable(ControlId::Train, false);
  if (AcquireAndShow(st)) {
    TrainSolution(st, rec);
    ComposeDisplay(st, st.image.frame);
    st.current_distance = st.settings.calibration_distance;
  }
  SetButtonState(st, ControlId::Train, 0);
  ui.Enable(ControlId::Process, true);
  ui.Enable(ControlId::Train, true);
  ui.InvalidateWindow(false);
}

} // namespace orvane
