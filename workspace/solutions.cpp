#include "workspace/solutions.h"

#include <algorithm>
#include <cerrno>
#include <cmath>
#include <cstring>
#include <limits>
#include <vector>

#include "workspace/files.h"

namespace orvane {
namespace {

constexpr uint32_t kEngineVersion = 107;
constexpr uint32_t kPullRepetitions = 50000;
constexpr float kTinyMin = 0.00001f; // smallest length accepted from an edit box

void SetName(char* field, size_t size, const char* text) {
  std::memset(field, 0, size);
  std::strncpy(field, text, size - 1);
}

template <size_t N>
void Terminate(char (&text)[N]) {
  text[N - 1] = '\0';
}

void SetParam(SolutionRecord& r, uint32_t slot, const char* name, ParamKind kind, float value,
              float min, float max) {
  SolutionParam& p = r.params[slot];
  SetName(p.name, sizeof p.name, name);
  p.kind = static_cast<int32_t>(kind);
  p.value = value;
  p.min = min;
  p.max = max;
}

void SetSolution(SolutionRecord& r, const char* name, uint32_t id, uint32_t option_index,
                 uint32_t ui_flags, uint32_t roi_max) {
  SetName(r.name, sizeof r.name, name);
  r.id = id;
  r.option_index = option_index;
  r.ui_flags = ui_flags;
  r.button_flags = kButtonsAcquire | kButtonProcess;
  r.roi_max = roi_max;
  r.meas_max = kMaxMeasSets;
  r.meas_points_max = kMaxMeasPoints;
  r.active = 1;
}

// Pixel corner from a relative one, truncated toward zero, then clamped into
// 0..limit - 1. Corrupted relative corners (NaN, huge) cannot overflow.
int32_t ScaleCorner(uint32_t size, float rel, uint32_t limit) {
  double v = std::trunc(static_cast<double>(size) * static_cast<double>(rel));
  if (std::isnan(v)) v = 0.0;
  double top = limit == 0 ? 0.0 : static_cast<double>(limit - 1);
  v = std::clamp(v, 0.0, top);
  return static_cast<int32_t>(v);
}

// right - left as 32-bit arithmetic wraps it: corners from a damaged file
// may lie so far apart that the signed difference would overflow.
int32_t WrappedDifference(int32_t a, int32_t b) {
  return static_cast<int32_t>(static_cast<uint32_t>(a) - static_cast<uint32_t>(b));
}

} // namespace

uint32_t BuildDefaultSolutions(SolutionTable& table) {
  std::memset(&table, 0, sizeof table);
  SolutionRecord* s = table.slots;

  SetSolution(s[0], "Auto Calibration", 1, 4, 0xA0, 1);
  SetParam(s[0], 0, "Distance", ParamKind::Length, 24.0f, kTinyMin, 999.0f);

  SetSolution(s[1], "Manual Calibration", 2, 4, 0xA0, 1);
  SetParam(s[1], 0, "Distance", ParamKind::Length, 24.0f, kTinyMin, 999.0f);
  SetParam(s[1], 1, "Reference Width", ParamKind::Length, 6.0f, kTinyMin, 999.0f);

  SetSolution(s[2], "Manual Measurement", 101, 4, 0x190, 0);

  SetSolution(s[3], "DXF Auto Output", 201, 0, 0xB0, 100);
  SetParam(s[3], 0, "Distance", ParamKind::Length, 24.0f, 1.0f, 999.0f);
  SetParam(s[3], 1, "Edge Find Threshold", ParamKind::Number, 16.0f, 1.0f, 999.0f);
  SetParam(s[3], 2, "Background Type", ParamKind::DarkLight, 1.0f, 0.0f, 1.0f);
  SetParam(s[3], 3, "Threshold", ParamKind::Integer, 128.0f, 0.0f, 255.0f);

  SetSolution(s[4], "DXF Simple Output", 202, 0, 0xB0, 100);
  SetParam(s[4], 0, "Distance", ParamKind::Length, 24.0f, 1.0f, 999.0f);
  SetParam(s[4], 1, "Edge Find Threshold", ParamKind::Number, 16.0f, 1.0f, 999.0f);

  SetSolution(s[5], "DXF Trace Output", 203, 0, 0x290, 0);
  SetParam(s[5], 0, "Distance", ParamKind::Length, 24.0f, 1.0f, 999.0f);

  table.count = 6;
  return table.count;
}

std::string SolutionFileName(uint32_t id) { return "XModule" + std::to_string(id) + ".CFG"; }

void BoundSolutionRecord(SolutionRecord& r) {
  Terminate(r.name);
  for (SolutionParam& p : r.params) Terminate(p.name);
  Terminate(r.result_text);
  r.roi_count = std::min(r.roi_count, kMaxRois);
  r.roi_max = std::min(r.roi_max, kMaxRois);
  r.meas_count = std::min(r.meas_count, kMaxMeasSets);
  r.meas_max = std::min(r.meas_max, kMaxMeasSets);
  for (uint32_t& n : r.meas_points) n = std::min(n, kMaxMeasPoints);
  r.meas_points_max = std::min(r.meas_points_max, kMaxMeasPoints);
  r.result_point_count = std::min(r.result_point_count, kMaxResultPoints);
  r.entity_count = std::min(r.entity_count, kMaxEntities);
  for (DrawEntity& e : r.entities) e.point_count = std::min(e.point_count, kMaxEntityPoints);
}

bool SolutionRecordFromBytes(std::span<const uint8_t> bytes, SolutionRecord* out) {
  if (bytes.size() < sizeof(SolutionRecord)) return false;
  std::memcpy(out, bytes.data(), sizeof(SolutionRecord));
  BoundSolutionRecord(*out);
  return true;
}

uint32_t LoadSolution(const std::filesystem::path& folder, const SolutionTable& table,
                      uint32_t index, SolutionRecord* out, LoadFailure* failure) {
  if (index >= table.count || index >= kMaxSolutions) return kSolutionIndexOutOfRange;
  auto path = PathIn(folder, SolutionFileName(table.slots[index].id));
  // Only a record's worth of the file is read, into a buffer of its own, so
  // that a file which changes under us can never leave `out` half replaced.
  // Bytes a shrinking file no longer holds read as zeros.
  std::vector<uint8_t> head;
  int error = 0;
  const int64_t length = FileLength(path, &error);
  if (length >= static_cast<int64_t>(sizeof(SolutionRecord))) {
    head.assign(sizeof(SolutionRecord), 0);
    if (ReadFileInto(path, head.data(), sizeof(SolutionRecord), &error) == 0) head.clear();
  }
  if (!SolutionRecordFromBytes(head, out)) {
    *out = table.slots[index];
    int write_error = 0;
    SaveSolution(folder, *out, &write_error);
    if (failure != nullptr) {
      if (length < 0) failure->read_error = error;
      failure->write_error = write_error;
    }
  }
  return 0;
}

uint32_t SaveSolution(const std::filesystem::path& folder, const SolutionRecord& record,
                      int* error) {
  int why = 0;
  const bool written =
      WriteWholeFile(PathIn(folder, SolutionFileName(record.id)), &record, sizeof record, &why) != 0;
  // A failure always has a reason, so the caller can tell it from success.
  if (!written && why == 0) why = EIO;
  if (error != nullptr) *error = written ? 0 : why;
  return 0;
}

uint32_t SolutionEngineVersion() { return kEngineVersion; }

uint32_t SetEngineSettings(EngineSettings& e, uint32_t width, uint32_t height, uint32_t stride,
                           uint32_t bytes_per_pixel, uint8_t* frame, uint8_t* overlay,
                           uint32_t units, double unit_factor, double scale_x, double scale_y,
                           double scale_third, double calibration_distance,
                           uint32_t decimals_dimensions) {
  e.width = width;
  e.height = height;
  e.stride = stride;
  e.bytes_per_pixel = bytes_per_pixel;
  e.frame = frame;
  e.overlay = overlay;
  e.units = units;
  e.unit_factor = unit_factor;
  e.scale_x = scale_x;
  e.scale_y = scale_y;
  e.scale_third = scale_third;
  e.calibration_distance = calibration_distance;
  e.decimals_dimensions = decimals_dimensions >= 10 ? 5 : decimals_dimensions;
  return 0;
}

uint32_t GetCalibration(const EngineSettings& e, double* scale_x, double* scale_y,
                        double* scale_third, double* calibration_distance) {
  *scale_x = e.scale_x;
  *scale_y = e.scale_y;
  *scale_third = e.scale_third;
  *calibration_distance = e.calibration_distance;
  return 0;
}

uint32_t ColourOf(uint32_t index) {
  static constexpr uint32_t kColours[16] = {
      0x000000, 0x800000, 0x008000, 0x808000, 0x000080, 0x800080, 0x00C0C0, 0xC0C0C0,
      0x808080, 0xFF0000, 0x00FF00, 0xFFFF00, 0x0000FF, 0xFF00FF, 0x00FFFF, 0xFFFFFF};
  return index < 16 ? kColours[index] : 0;
}

namespace {

// Position of a corner after `steps` pulls: one pixel a pull while above 1.
int64_t PulledCorner(int32_t v, int64_t steps) { return v > 1 ? std::max<int64_t>(v - steps, 1) : v; }

// Pulls after which a corner compares below `limit` (as an unsigned number, so
// a negative corner never does); kNever when no number of pulls gets it there.
constexpr int64_t kNever = std::numeric_limits<int64_t>::max();
int64_t PullsToFit(int32_t v, uint32_t limit) {
  if (static_cast<uint32_t>(v) < limit) return 0;
  if (v <= 1 || limit <= 1) return kNever;
  return int64_t{v} - limit + 1;
}

// One axis of an ROI pulled as the repeated one-pixel pull would leave it:
// both corners move together while either is outside, for at most
// kPullRepetitions pulls, and the extent is rewritten when they moved.
void PullAxis(int32_t& low, int32_t& high, int32_t& extent, uint32_t limit) {
  const int64_t steps = std::min<int64_t>(std::max(PullsToFit(low, limit), PullsToFit(high, limit)),
                                          kPullRepetitions);
  if (steps == 0) return;
  low = static_cast<int32_t>(PulledCorner(low, steps));
  high = static_cast<int32_t>(PulledCorner(high, steps));
  extent = WrappedDifference(high, low);
}

} // namespace

void PullRoisInside(SolutionRecord& record, uint32_t width, uint32_t height) {
  // The panel pulls every ROI one pixel a repetition until none is outside,
  // for at most kPullRepetitions repetitions. Each axis of each ROI moves on
  // its own, so its end position is computed at once: a corner far outside
  // costs no more than one inside. Corners are compared with the image size
  // as unsigned numbers, so a negative corner counts as far outside.
  const uint32_t w_limit = width - 2;
  const uint32_t h_limit = height - 2;
  const uint32_t count = std::min(record.roi_count, kMaxRois);
  for (uint32_t i = 0; i < count; ++i) {
    RoiRecord& r = record.rois[i];
    PullAxis(r.left, r.right, r.width, w_limit);
    PullAxis(r.top, r.bottom, r.height, h_limit);
  }
}

void SetRelativeCorners(RoiRecord& roi, uint32_t width, uint32_t height) {
  roi.rel_left = static_cast<float>(static_cast<double>(roi.left) / width);
  roi.rel_right = static_cast<float>(static_cast<double>(roi.right) / width);
  roi.rel_top = static_cast<float>(static_cast<double>(roi.top) / height);
  roi.rel_bottom = static_cast<float>(static_cast<double>(roi.bottom) / height);
}

void RescaleRecordRois(SolutionRecord& record, uint32_t width, uint32_t height, uint32_t new_width,
                       uint32_t new_height) {
  const uint32_t count = std::min(record.roi_count, kMaxRois);
  for (uint32_t i = 0; i < count; ++i) {
    RoiRecord& r = record.rois[i];
    r.left = ScaleCorner(new_width, r.rel_left, width);
    r.top = ScaleCorner(new_height, r.rel_top, height);
    r.right = ScaleCorner(new_width, r.rel_right, width);
    r.bottom = ScaleCorner(new_height, r.rel_bottom, height);
    r.width = std::abs(r.right - r.left);
    r.height = std::abs(r.bottom - r.top);
  }
}

bool ClampRoiToImage(const RoiRecord& roi, uint32_t width, uint32_t height, RoiRecord* out) {
  if (width == 0 || height == 0) return false;
  *out = roi;
  const int32_t max_x = static_cast<int32_t>(std::min<uint32_t>(width - 1, INT32_MAX));
  const int32_t max_y = static_cast<int32_t>(std::min<uint32_t>(height - 1, INT32_MAX));
  out->left = std::clamp(roi.left, 0, max_x);
  out->right = std::clamp(roi.right, 0, max_x);
  out->top = std::clamp(roi.top, 0, max_y);
  out->bottom = std::clamp(roi.bottom, 0, max_y);
  if (out->left != roi.left || out->right != roi.right) out->width = out->right - out->left;
  if (out->top != roi.top || out->bottom != roi.bottom) out->height = out->bottom - out->top;
  return true;
}

} // namespace orvane
