#include "solutions/calibration.h"

#include <algorithm>
#include <cstring>
#include <vector>

#include "algorithms/include/quellix.h"
#include "draw/format.h"
#include "results/csv.h"
#include "results/session.h"
#include "results/snap.h"
#include "solutions/precise_calibration.h"
#include "solutions/process.h"
#include "station/workspace.h"
#include "workspace/log.h"
#include "workspace/settings.h"
#include "workspace/solutions.h"

namespace orvane {
namespace {

constexpr const char* kFailedStatus = "Calibration Failed";
constexpr const char* kAutoFailedMessage =
    "Calibration Failed: Improve image quality or adjust region of interest and try again.";

void AppendResult(SolutionRecord& record, const char* text) {
  const size_t used = strnlen(record.result_text, sizeof record.result_text);
  std::strncat(record.result_text, text, sizeof record.result_text - 1 - std::min(used, sizeof record.result_text - 1));
}

void SetResult(SolutionRecord& record, const char* text) {
  std::memset(record.result_text, 0, sizeof record.result_text);
  std::strncpy(record.result_text, text, sizeof record.result_text - 1);
}

// The new calibration as a row of the results table: its scale, distance and
// method.
void RecordCalibration(Station& st, const char* method) {
  const Settings& s = st.settings;
  ResultsSession& session = ResultsOf(st);
  const std::string unit = s.units == 1 ? "cm" : "in";
  ResultRow row;
  row.kind = kKindCalibration;
  row.value = s.scale_x / s.unit_factor;
  row.unit = "px/" + unit;
  row.uncertainty = session.calibration_sigma;
  row.note = std::string(method) + ", distance " +
             ResultNumber(s.calibration_distance * s.unit_factor) + " " + unit;
  if (!session.calibration_note.empty()) row.note += ", " + session.calibration_note;
  session.calibration_note.clear();
  session.calibration_sigma = kUnknown;
  session.announced_scale = kUnknown;
  AddResult(st, std::move(row));
}

} // namespace

int32_t AutoCalibration(Station& st, SolutionRecord& rec) {
  AppendLog(st, "\r\ntarnAutoCalibration()\r\n");
  EngineSettings& e = st.engine;
  const float distance = rec.params[0].value;
  e.calibration_distance = distance / e.unit_factor;
  // The library takes the regions as they are; hand it copies that lie
  // inside the image, whatever the stored file holds.
  std::vector<RoiRecord> rois;
  for (uint32_t i = 0; i < std::min(rec.roi_count, kMaxRois); ++i) {
    RoiRecord clamped;
    if (ClampRoiToImage(rec.rois[i], st.image.width, st.image.height, &clamped)) rois.push_back(clamped);
  }
  int32_t result = kCalibrationFailed;
  if (rec.roi_count == 0 || !rois.empty()) {
    result = qlxStandardCalibration(st.image.frame, st.image.size, static_cast<uint32_t>(rois.size()),
                                    rois.data(), distance, 1, &e.scale_x, &e.scale_y,
                                    &e.scale_third);
  }
  if (result == 0) {
    SetResult(rec, "Success");
  } else {
    AppendResult(rec, "Failed");
  }
  return result;
}

int32_t ManualCalibration(Station& st, SolutionRecord& rec) {
  AppendLog(st, "\r\ntarnManualCalibration()\r\n");
  if (rec.roi_count == 0) {
    st.surface().MessageBox(kNoRoiMessage, "", MessageButtons::Ok);
    // Without a reference there is no calibration: reported as a failure,
    // so that nothing is stored and the station keeps its old scale.
    return kCalibrationFailed;
  }
  EngineSettings& e = st.engine;
  e.calibration_distance = rec.params[0].value / e.unit_factor;
  const double reference = rec.params[1].value / e.unit_factor;
  if (reference > 0.0) {
    const RoiRecord& roi = rec.rois[0];
    // The difference is taken in 64 bits: corners from a damaged file may lie
    // further apart than an int holds.
    double pixels = static_cast<double>(int64_t{roi.right} - roi.left);
    // With snapping on, the reference is the width between the edges nearest
    // the ROI's sides, where both are found.
    ResultsSession& session = ResultsOf(st);
    if (session.table.snap) {
      if (const std::optional<SnappedWidth> w = SnapWidth(st.image, roi.left, roi.top, roi.right, roi.bottom)) {
        pixels = w->width;
        session.calibration_note = "width between edges " + ResultNumber(w->width) + " px";
        session.calibration_sigma = w->sigma / reference / e.unit_factor;
      }
    }
    e.scale_x = e.scale_y = pixels / reference;
    e.scale_third = 0.0;
    SetResult(rec, "Success");
    return 0;
  }
  AppendResult(rec, "Failed");
  return kCalibrationFailed;
}

void ShowCalibrationStatus(Station& st) {
  const Settings& s = st.settings;
  ControlSurface& ui = st.surface();
  if (s.calibrated == 0) {
    ui.SetText(ControlId::CalibrationStatus, "Not Calibrated");
    ui.Show(ControlId::CalibrationStatus, true);
    SetButtonState(st, ControlId::CalibrationStatus, 1);
    return;
  }
  const bool metric = s.units == 1;
  std::string text = FormatGeneral(s.scale_x / s.unit_factor, 7);
  text += metric ? " pixels/cm\r\n" : " pixels/inch\r\n";
  text += FormatGeneral(s.calibration_distance * s.unit_factor, 7);
  text += metric ? " cm distance" : " inches distance";
  ui.SetText(ControlId::CalibrationStatus, text);
  ui.Show(ControlId::CalibrationStatus, true);
  SetButtonState(st, ControlId::CalibrationStatus, 0);
}

void ActOnCalibration(Station& st, uint32_t id, int32_t result) {
  ControlSurface& ui = st.surface();
  if (result == 0) {
    if (id == 1) OfferPreciseCalibration(st);
    CommitCalibration(st, id == 1 ? "auto" : "manual");
    return;
  }
  ui.SetText(ControlId::CalibrationStatus, kFailedStatus);
  ui.Show(ControlId::CalibrationStatus, true);
  SetButtonState(st, ControlId::CalibrationStatus, 1);
  if (id == 1) ui.MessageBox(kAutoFailedMessage, ApplicationTitle(), MessageButtons::Ok);
}

void CommitCalibration(Station& st, const char* method) {
  Settings& s = st.settings;
  GetCalibration(st.engine, &s.scale_x, &s.scale_y, &s.scale_third, &s.calibration_distance);
  s.calibrated_width = st.image.width;
  s.calibrated_height = st.image.height;
  s.calibrated_scale_x = s.scale_x;
  s.calibrated_scale_y = s.scale_y;
  s.calibrated_third = s.scale_third;
  s.calibrated_distance = s.calibration_distance;
  s.calibrated = 1;
  SaveSettings(st);
  st.current_distance = s.calibration_distance;
  RecordCalibration(st, method);
  ShowCalibrationStatus(st);
  SetButtonState(st, ControlId::CalibrationStatus, 0);
}

} // namespace orvane
