#include "view/measure_results.h"

#include <algorithm>
#include <cmath>
#include <tuple>
#include <utility>

#include "acquisition/acquisition.h"
#include "results/csv.h"
#include "results/session.h"
#include "results/snap.h"
#include "solutions/measurement.h"
#include "draw/overlay.h"

namespace orvane {
namespace {

constexpr Rgb kSnapColour{255, 255, 1};
constexpr Rgb kCircleMarkColour{255, 128, 1};
constexpr int32_t kSnapMarkHalf = 4;
constexpr double kFullCircle = 6.2831854;
constexpr double kArcStep = 0.01;

// The snap's standard uncertainty of a point, or NaN when it was not snapped.
double SnapSigma(const ResultsSession& session, double x, double y) {
  for (const SnapMark& m : session.snaps) {
    if (m.x == x && m.y == y) return m.sigma;
  }
  return kUnknown;
}

bool HasPointAt(const SolutionRecord& rec, double x, double y) {
  for (uint32_t s = 0; s < std::min(rec.meas_count, kMaxMeasSets); ++s) {
    for (uint32_t p = 0; p < std::min(rec.meas_points[s], kMaxMeasPoints); ++p) {
      if (rec.meas_point[s][p].x == x && rec.meas_point[s][p].y == y) return true;
    }
  }
  for (uint32_t e = 0; e < std::min(rec.entity_count, kMaxEntities); ++e) {
    for (uint32_t p = 0; p < kMaxEntityPoints; ++p) {
      if (rec.entities[e].points[p].x == x && rec.entities[e].points[p].y == y) return true;
    }
  }
  return false;
}

// "distance 24 in" while calibrated: the measurement's distance from the camera.
std::string DistanceNote(const Settings& settings, double depth) {
  if (settings.calibrated == 0) return {};
  return "distance " + ResultNumber(depth * settings.unit_factor) + " " +
         (settings.units == 1 ? "cm" : "in");
}

// The length that ends at point n of set s: between two snapped points it
// carries their combined uncertainty.
ResultRow LengthRow(Station& st, uint32_t s, uint32_t n) {
  const MeasPoint* pts = st.working->meas_point[s];
  const ResultsSession& session = ResultsOf(st);
  ResultRow length;
  length.kind = kKindLength;
  length.value = MeasuredLength(st, pts[n - 1], pts[n]);
  length.unit = LengthUnit(st.settings);
  const double sa = SnapSigma(session, pts[n - 1].x, pts[n - 1].y);
  const double sb = SnapSigma(session, pts[n].x, pts[n].y);
  length.uncertainty = PixelsToLength(st, std::hypot(sa, sb), pts[n].depth);
  length.note = DistanceNote(st.settings, pts[n].depth);
  return length;
}

ResultRow AngleRow(Station& st, uint32_t s) {
  const MeasPoint* pts = st.working->meas_point[s];
  ResultRow angle;
  angle.kind = kKindAngle;
  angle.value = MeasuredAngle(pts);
  angle.unit = "deg";
  angle.note = DistanceNote(st.settings, pts[2].depth);
  return angle;
}

} // namespace

void RecordMeasuredPoint(Station& st, uint32_t s, uint32_t n) {
  if (s >= kMaxMeasSets || n == 0 || n >= kMaxMeasPoints) return;
  ResultsSession& session = ResultsOf(st);
  MeasurementRows& rows = session.measurement_rows[s];
  if (n == 1 || rows.solution != st.current_solution) rows = MeasurementRows{st.current_solution};
  rows.length[n] = AddResult(st, LengthRow(st, s, n)).number;
  if (n == 2) rows.angle = AddResult(st, AngleRow(st, s)).number;
}

void GrabMeasuredPoint(Station& st, uint32_t s, uint32_t p) {
  ResultsSession& session = ResultsOf(st);
  const MeasPoint& q = st.working->meas_point[s][p];
  session.drag = {true, s, p, q.x, q.y};
}

void ReleaseMeasuredPoint(Station& st) {
  ResultsSession& session = ResultsOf(st);
  const PointDrag drag = std::exchange(session.drag, PointDrag{});
  SolutionRecord& rec = *st.working;
  if (!drag.active || drag.set >= std::min(rec.meas_count, kMaxMeasSets) ||
      drag.point >= std::min(rec.meas_points[drag.set], kMaxMeasPoints)) {
    return;
  }
  MeasPoint& q = rec.meas_point[drag.set][drag.point];
  if (q.x == drag.x && q.y == drag.y) return;
  SnapClick(st, &q.x, &q.y);
  const MeasurementRows& rows = session.measurement_rows[drag.set];
  if (rows.solution != st.current_solution) return;
  const uint32_t points = std::min(rec.meas_points[drag.set], kMaxMeasPoints);
  bool updated = false;
  // The lengths that end at the point and at the one after it, and the angle.
  for (uint32_t n = std::max(drag.point, 1u); n <= drag.point + 1 && n < points; ++n) {
    if (rows.length[n] != 0) updated |= UpdateResult(st, rows.length[n], LengthRow(st, drag.set, n));
  }
  if (points == 3 && rows.angle != 0) updated |= UpdateResult(st, rows.angle, AngleRow(st, drag.set));
  if (updated) SaveResults(st);
}

void SnapClick(Station& st, double* x, double* y) {
  ResultsSession& session = ResultsOf(st);
  if (!session.table.snap) return;
  const std::optional<SnapMark> mark = SnapToEdge(st.image, *x, *y);
  if (!mark) return;
  *x = mark->x;
  *y = mark->y;
  session.snaps.push_back(*mark);
}

void GaugeClick(Station& st, double x, double y) {
  ResultsSession& session = ResultsOf(st);
  session.gauge_clicks.emplace_back(x, y);
  if (session.gauge_clicks.size() < 3) return;
  double xs[3], ys[3];
  for (int i = 0; i < 3; ++i) std::tie(xs[i], ys[i]) = session.gauge_clicks[i];
  session.gauge_clicks.clear();
  const std::optional<GaugedCircle> circle = GaugeCircle(st.image, xs, ys);
  if (!circle) return;
  const double depth = st.current_distance;
  const double diameter = PixelsToLength(st, 2.0 * circle->radius, depth);
  const double sigma = PixelsToLength(st, 2.0 * circle->sigma_radius, depth);
  CircleMark mark{circle->x, circle->y, circle->radius, ""};
  mark.text = "D " + (st.settings.calibrated != 0 ? LengthText(st.settings, diameter)
                                                  : ResultNumber(diameter) + " px");
  session.circles.push_back(std::move(mark));
  ResultRow row;
  row.kind = kKindDiameter;
  row.value = diameter;
  row.unit = LengthUnit(st.settings);
  row.uncertainty = sigma;
  row.note = "centre " + ResultNumber(circle->x) + ", " + ResultNumber(circle->y) + " px";
  if (st.settings.calibrated != 0) {
    row.note += ", distance " + ResultNumber(depth * st.settings.unit_factor) + " " +
                (st.settings.units == 1 ? "cm" : "in");
  }
  AddResult(st, std::move(row));
}

void DrawGaugeMarks(Station& st) {
  if (!st.results || !st.working) return;
  const ResultsSession& session = *st.results;
  if (session.snaps.empty() && session.circles.empty() && session.gauge_clicks.empty()) return;
  const OverlayCanvas canvas = CanvasOf(st);
  for (const SnapMark& m : session.snaps) {
    if (!HasPointAt(*st.working, m.x, m.y)) continue;
    const int32_t x = TruncToPixel(m.x + 0.5), y = TruncToPixel(m.y + 0.5);
    const int32_t h = kSnapMarkHalf;
    DrawLine(canvas, x - h, y, x, y - h, kSnapColour);
    DrawLine(canvas, x, y - h, x + h, y, kSnapColour);
    DrawLine(canvas, x + h, y, x, y + h, kSnapColour);
    DrawLine(canvas, x, y + h, x - h, y, kSnapColour);
  }
  for (const auto& [cx, cy] : session.gauge_clicks) {
    DrawRingMark(canvas, TruncToPixel(cx), TruncToPixel(cy), kCircleMarkColour);
  }
  for (const CircleMark& c : session.circles) {
    const int32_t x = TruncToPixel(c.x + 0.5), y = TruncToPixel(c.y + 0.5);
    DrawArc(canvas, x, y, c.radius, 0.0, kFullCircle, kArcStep, kCircleMarkColour);
    DrawDot(canvas, x, y, kCircleMarkColour);
    DrawText(canvas, TruncToPixel(c.x + c.radius * 0.7071) + 4,
             TruncToPixel(c.y - c.radius * 0.7071) - 4, c.text, kCircleMarkColour);
  }
}

} // namespace orvane
