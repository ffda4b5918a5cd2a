#include "solutions/measurement.h"

#include <algorithm>
#include <cmath>
#include <cstring>
#include <system_error>
#include <thread>

#include "acquisition/acquisition.h"
#include "algorithms/include/quellix.h"
#include "draw/format.h"
#include "draw/overlay.h"
#include "station/workspace.h"
#include "results/session.h"
#include "workspace/log.h"

namespace orvane {
namespace {

constexpr double kFullCircle = 6.2831854;
constexpr double kEntityArcStep = 0.02;
constexpr double kDegToRad = 0.017453293005625408;
constexpr double kRadToDeg = 57.29577791868204;
constexpr int32_t kCrossHalf = 12;
// The number formatter gives at most 120 significant digits, the most whose
// exponent form (sign, digits, point, "e-ddd") still fits its 128-byte text;
// any larger number of decimals gives the same text as 120. Bounding the
// stored setting there only keeps it a valid int32.
constexpr uint32_t kMaxAngleDecimals = 120;

constexpr Rgb kRoiColour{1, 192, 1};
constexpr Rgb kRoiLetterColour{255, 255, 255};
constexpr Rgb kCircleColour{192, 192, 0};
constexpr Rgb kLineColour{0, 192, 192};
constexpr Rgb kEntityPointColour{192, 0, 192};
constexpr Rgb kMeasureTextColour{1, 192, 1};

struct ModeLegend {
  const char* text;
  Rgb colour;
};

constexpr ModeLegend kModeLegends[] = {
    {"ROI", {192, 1, 1}},   {"2PT", {1, 192, 1}},   {"3PT", {1, 1, 255}},
    {"CIR", {192, 192, 1}}, {"LIN", {1, 192, 192}}, {"MLIN", {192, 1, 192}},
};

// v + d held within the int range: a centre from a damaged file may lie at
// its very edge, far outside any image, where nothing is drawn anyway.
int32_t Offset(int32_t v, int32_t d) {
  return static_cast<int32_t>(std::clamp<int64_t>(int64_t{v} + d, INT32_MIN, INT32_MAX));
}

void DrawModeLegend(Station& st, const OverlayCanvas& canvas) {
  const uint32_t mode = st.view.mouse_mode;
  if (mode >= std::size(kModeLegends)) return;
  const int32_t advance = MarkScale(st.mark_size_class);
  const int32_t x = static_cast<int32_t>(st.image.width) - 4 * advance;
  const int32_t y = 8 * static_cast<int32_t>(st.mark_size_class) + 8;
  DrawText(canvas, x, y, kModeLegends[mode].text, kModeLegends[mode].colour);
}

void DrawRois(Station& st, const OverlayCanvas& canvas) {
  const SolutionRecord& rec = *st.working;
  for (uint32_t i = 0; i < rec.roi_count && i < kMaxRois; ++i) {
    const RoiRecord& r = rec.rois[i];
    DrawDashedRect(canvas, r.left, r.top, r.right, r.bottom, kRoiColour);
    const int32_t cx = static_cast<int32_t>((int64_t(r.left) + r.right) / 2);
    const int32_t cy = static_cast<int32_t>((int64_t(r.top) + r.bottom) / 2);
    DrawLine(canvas, Offset(cx, -kCrossHalf), cy, Offset(cx, kCrossHalf), cy, kRoiColour);
    DrawLine(canvas, cx, Offset(cy, -kCrossHalf), cx, Offset(cy, kCrossHalf), kRoiColour);
    if (rec.id == 201) {
      const char* letter = r.entity_type == 1   ? "P"
                           : r.entity_type == 2 ? "L"
                           : r.entity_type == 3 ? "C"
                                                : nullptr;
      if (letter != nullptr) DrawText(canvas, cx, cy, letter, kRoiLetterColour);
    }
  }
}

void DrawResultPoints(Station& st, const OverlayCanvas& canvas) {
  const SolutionRecord& rec = *st.working;
  for (uint32_t k = 1; k <= rec.result_point_count && k <= kMaxResultPoints; ++k) {
    const ResultPoint& p = rec.result_points[k - 1];
    DrawTargetMark(canvas, TruncToPixel(p.x), TruncToPixel(p.y), OverlayColour((k & 7) + 8));
  }
}

void DrawEntities(Station& st, const OverlayCanvas& canvas) {
  const SolutionRecord& rec = *st.working;
  for (uint32_t e = 0; e < rec.entity_count && e < kMaxEntities; ++e) {
    const DrawEntity& ent = rec.entities[e];
    const EntityPoint* p = ent.points;
    if (ent.type == static_cast<uint32_t>(EntityType::Circle)) {
      DrawArc(canvas, TruncToPixel(p[0].x), TruncToPixel(p[0].y), p[1].x, 0.0, kFullCircle,
              kEntityArcStep, kCircleColour);
      DrawDot(canvas, TruncToPixel(p[0].x), TruncToPixel(p[0].y), kCircleColour);
    } else if (ent.type == static_cast<uint32_t>(EntityType::Line)) {
      DrawLine(canvas, TruncToPixel(p[0].x), TruncToPixel(p[0].y), TruncToPixel(p[1].x),
               TruncToPixel(p[1].y), kLineColour);
    }
    for (uint32_t k = 0; k < ent.point_count && k < kMaxEntityPoints; ++k) {
      if (k > 0) {
        DrawLine(canvas, TruncToPixel(p[k - 1].x), TruncToPixel(p[k - 1].y), TruncToPixel(p[k].x),
                 TruncToPixel(p[k].y), kEntityPointColour);
      }
      DrawTargetMark(canvas, TruncToPixel(p[k].x), TruncToPixel(p[k].y), kEntityPointColour);
    }
  }
}

// The number part of a length text by the dimension decimals setting.
std::string NumberText(double v, uint32_t decimals) {
  if (decimals < 10) return FormatNumber(v, static_cast<int32_t>(decimals));
  if (decimals <= 14) return FormatFraction(v, 4u << (decimals - 10));
  return {};
}

void DrawArrowDot(const OverlayCanvas& canvas, const MeasPoint& from, double degrees, double r,
                  Rgb colour) {
  const double a = degrees * kDegToRad;
  DrawArc(canvas, TruncToPixel(from.x), TruncToPixel(from.y), r, a, a, 1.0, colour);
}

double Distance(const MeasPoint& a, const MeasPoint& b) {
  return std::sqrt((b.x - a.x) * (b.x - a.x) + (b.y - a.y) * (b.y - a.y));
}

}  // namespace

double TextScaleFactor(uint32_t mark_size_class) {
  static constexpr double kFactors[4] = {0.5, 1.0, 3.0, 5.5};
  return kFactors[mark_size_class < 4 ? mark_size_class : 3];
}

double PixelsToLength(const Station& st, double d, double depth) {
  const Settings& s = st.settings;
  if (s.calibrated == 0) return d;
  const double k = s.unit_factor;
  const double scale = s.scale_x;
  const double distance = s.calibration_distance;
  if (distance != 0.0 && scale != 0.0) {
    const double at_depth = scale / (depth / distance);
    if (at_depth == 0.0) return 0.0;
    return d / at_depth * k;
  }
  return d * k;
}

double MeasuredLength(const Station& st, const MeasPoint& p, const MeasPoint& q) {
  return PixelsToLength(st, Distance(p, q), q.depth);
}

double MeasuredAngle(const MeasPoint* pts) {
  const double a = Distance(pts[0], pts[1]);
  const double b = Distance(pts[1], pts[2]);
  const double c = Distance(pts[2], pts[0]);
  return std::acos((a * a + b * b - c * c) / (2.0 * a * b)) * kRadToDeg;
}

std::string LengthText(const Settings& s, double length) {
  const uint32_t n = s.decimals_dimensions;
  if (s.units == 1) return NumberText(length, n) + " cm";
  if (length >= 13.0) {
    const double feet = std::trunc(length / 12.0);
    return FormatNumber(feet, 0) + " ft. " + NumberText(length - 12.0 * feet, n) + " in.";
  }
  return NumberText(length, n) + " in.";
}

void DrawMeasurements(Station& st) {
  const OverlayCanvas canvas = CanvasOf(st);
  SolutionRecord& rec = *st.working;
  const double f = TextScaleFactor(st.mark_size_class);
  const double height = st.image.height;
  int32_t x_text = 16;
  int32_t y_block = 16;
  const uint32_t sets = std::min(rec.meas_count, kMaxMeasSets);
  for (uint32_t i = 0; i < sets; ++i) {
    const Rgb colour = OverlayColour(((i + 1) & 7) + 8);
    const uint32_t points = std::min(rec.meas_points[i], kMaxMeasPoints);
    const MeasPoint* pts = rec.meas_point[i];
    int32_t y = y_block;
    for (uint32_t j = 0; j < points; ++j) {
      const MeasPoint& q = pts[j];
      if (points == 1) DrawRingMark(canvas, TruncToPixel(q.x), TruncToPixel(q.y), colour);
      if (j == 0) continue;
      const MeasPoint& p = pts[j - 1];
      double angle = 0.0;
      qlxCalculateAngle(p.x, p.y, q.x, q.y, &angle);
      for (int r = 1; r <= 11; ++r) {
        DrawArrowDot(canvas, p, angle + 45.0, r, colour);
        DrawArrowDot(canvas, p, angle - 45.0, r, colour);
        DrawArrowDot(canvas, q, angle - 135.0, r, colour);
        DrawArrowDot(canvas, q, angle - 225.0, r, colour);
      }
      DrawLine(canvas, TruncToPixel(p.x), TruncToPixel(p.y), TruncToPixel(q.x), TruncToPixel(q.y),
               colour);
      const double length = MeasuredLength(st, p, q);
      const std::string text = LengthText(st.settings, length);
      if (j == 1) {
        const int32_t s = static_cast<int32_t>(16.0 * f);
        DrawLine(canvas, x_text - 2, y - 2, x_text + s, y - 2, colour);
        DrawLine(canvas, x_text - 2, y - 2, x_text - 2, y + s, colour);
      }
      DrawText(canvas, x_text, y, text, kMeasureTextColour);
      y += static_cast<int32_t>(24.0 * f);
      if (j == 2) {
        const double degrees = MeasuredAngle(pts);
        std::string angle_text = FormatNumber(
            degrees, static_cast<int32_t>(std::min(st.settings.decimals_angles, kMaxAngleDecimals)));
        angle_text.push_back(static_cast<char>(0xB0));
        DrawText(canvas, x_text, y, angle_text, kMeasureTextColour);
      }
    }
    y_block += static_cast<int32_t>(80.0 * f);
    if (y_block + 80.0 * f >= height) {
      y_block = 16;
      x_text += static_cast<int32_t>(300.0 * f);
    }
  }
}

namespace {

// From this many entity points on, the entities are drawn by two threads,
// each over half of the rows: a record of long lines crossing the whole image
// takes tens of milliseconds to walk, and the halves walk their own rows only.
constexpr size_t kEntityPointsForTwoThreads = 2000;

// Draws the entities as DrawEntities does; with many points, the lower half
// of the rows on a second thread. Every pixel is written by the same draws in
// the same order either way, so the overlay is the same to the byte.
void DrawEntitiesInBands(Station& st, const OverlayCanvas& canvas) {
  const SolutionRecord& rec = *st.working;
  size_t points = 0;
  for (uint32_t e = 0; e < rec.entity_count && e < kMaxEntities; ++e) {
    points += std::min<size_t>(rec.entities[e].point_count, kMaxEntityPoints);
  }
  if (points < kEntityPointsForTwoThreads || canvas.height < 2 || std::thread::hardware_concurrency() < 2) {
    DrawEntities(st, canvas);
    return;
  }
  OverlayCanvas upper = canvas, lower = canvas;
  upper.band_bottom = lower.band_top = canvas.height / 2;
  std::thread worker;
  try {
    worker = std::thread([&st, &lower] { DrawEntities(st, lower); });
  } catch (const std::system_error&) {  // no thread to be had: one draws all
    DrawEntities(st, canvas);
    return;
  }
  DrawEntities(st, upper);
  worker.join();
}

}  // namespace

void RedrawOverlay(Station& st, bool clear_only) {
  if (!ClearOverlay(st) || clear_only) return;
  const OverlayCanvas canvas = CanvasOf(st);
  DrawModeLegend(st, canvas);
  DrawRois(st, canvas);
  DrawResultPoints(st, canvas);
  DrawEntitiesInBands(st, canvas);
  DrawMeasurements(st);
  if (st.hooks.draw_overlay_extras) st.hooks.draw_overlay_extras();
}

int32_t ManualMeasurement(Station& st, SolutionRecord& rec) {
  AppendLog(st, "\r\ntarnManualMeasurement()\r\n");
  rec.meas_count = 0;
  if (st.results) ClearGaugeMarks(*st.results);
  std::strcpy(rec.result_text, "Success");
  return 0;
}

}  // namespace orvane
