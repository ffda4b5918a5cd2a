#include "view/measure_results.h"

#include <algorithm>
#include <charconv>
#include <cmath>
#include <tuple>
#include <utility>

#include "acquisition/acquisition.h"
#include "inspect/program_session.h"
#include "results/csv.h"
#include "results/session.h"
#include "results/snap.h"
#include "solutions/measurement.h"
#include "draw/overlay.h"
#include "view/part_identity.h"

namespace orvane {
namespace {

constexpr Rgb kSnapColour{255, 255, 1};
constexpr Rgb kCircleMarkColour{255, 128, 1};
constexpr int32_t kSnapMarkHalf = 4;
// The part's identity: at the picture's lower left, clear of the legend.
constexpr int32_t kPartLegendX = 8;
constexpr int32_t kPartLegendFromBottom = 24;
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

namespace {

// SnapClick, and the caliper that snapped the click.
std::optional<SnapCaliper> SnapWithCaliper(Station& st, double* x, double* y) {
  ResultsSession& session = ResultsOf(st);
  if (!session.table.snap) return std::nullopt;
  const std::optional<SnapCaliper> snapped = SnapCaliperAt(st.image, *x, *y);
  if (!snapped) return std::nullopt;
  *x = snapped->edge.x;
  *y = snapped->edge.y;
  session.snaps.push_back(snapped->edge);
  return snapped;
}

} // namespace

void SnapClick(Station& st, double* x, double* y) { SnapWithCaliper(st, x, y); }

void SnapMeasuredPoint(Station& st, uint32_t s, uint32_t n) {
  if (s >= kMaxMeasSets || n >= kMaxMeasPoints) return;
  MeasPoint& q = st.working->meas_point[s][n];
  const std::optional<SnapCaliper> snapped = SnapWithCaliper(st, &q.x, &q.y);
  // An inspection program being taught takes the snapped point as a step.
  RecordSnapStep(st, snapped ? &*snapped : nullptr, n == 0);
}

namespace {

constexpr double kDegreesPerRadian = 57.29577951308232;
// The edge mark's angle follows the angle decimals, to a readable limit.
constexpr uint32_t kMarkDecimals = 6;

// ", distance 24 in" while calibrated: the depth the gauge's pixels were
// converted at.
std::string CommaDistance(const Settings& settings, double depth) {
  const std::string text = DistanceNote(settings, depth);
  return text.empty() ? text : ", " + text;
}

// A length in the overlay's words: the length text when calibrated, pixels
// otherwise.
std::string MarkLength(const Settings& settings, double length) {
  return settings.calibrated != 0 ? LengthText(settings, length) : ResultNumber(length) + " px";
}

void RecordDiameter(Station& st, const double (&xs)[3], const double (&ys)[3]) {
  const std::optional<GaugedCircle> circle = GaugeCircle(st.image, xs, ys);
  if (!circle) return;
  const double depth = st.current_distance;
  const double diameter = PixelsToLength(st, 2.0 * circle->radius, depth);
  const double sigma = PixelsToLength(st, 2.0 * circle->sigma_radius, depth);
  CircleMark mark{circle->x, circle->y, circle->radius, ""};
  mark.text = "D " + MarkLength(st.settings, diameter);
  ResultsOf(st).circles.push_back(std::move(mark));
  ResultRow row;
  row.kind = kKindDiameter;
  row.value = diameter;
  row.unit = LengthUnit(st.settings);
  row.uncertainty = sigma;
  row.note = "centre " + ResultNumber(circle->x) + ", " + ResultNumber(circle->y) + " px" +
             CommaDistance(st.settings, depth);
  AddResult(st, std::move(row));
}

// `v` with `decimals` digits after the point, no locale, no "-0.00".
std::string FixedText(double v, uint32_t decimals) {
  const double scale = std::pow(10.0, decimals);
  if (std::round(v * scale) == 0.0) v = 0.0;
  char buffer[64];
  const auto r = std::to_chars(buffer, buffer + sizeof buffer, v, std::chars_format::fixed,
                               static_cast<int>(decimals));
  return std::string(buffer, r.ptr);
}

// The edge's direction as the user reads an angle: counter-clockwise from
// the image's x axis with y up, in (-90, 90] degrees.
double EdgeDegrees(double image_angle) {
  double degrees = -image_angle * kDegreesPerRadian;
  if (degrees <= -90.0) degrees += 180.0;
  if (degrees > 90.0) degrees -= 180.0;
  return degrees;
}

void RecordStraightEdge(Station& st, const double (&xs)[3], const double (&ys)[3]) {
  const std::optional<GaugedEdge> edge = GaugeStraightEdge(st.image, xs[0], ys[0], xs[1], ys[1]);
  if (!edge) return;
  const double degrees = EdgeDegrees(edge->angle);
  const double depth = st.current_distance;
  const double length = PixelsToLength(st, std::hypot(edge->x1 - edge->x0, edge->y1 - edge->y0), depth);
  std::string text = "E " + FixedText(degrees, std::min(st.settings.decimals_angles, kMarkDecimals));
  text.push_back(static_cast<char>(0xB0));
  ResultsOf(st).lines.push_back({edge->x0, edge->y0, edge->x1, edge->y1, std::move(text)});
  ResultRow row;
  row.kind = kKindEdge;
  row.value = degrees;
  row.unit = "deg";
  row.uncertainty = edge->sigma_angle * kDegreesPerRadian;
  row.note = "length " + ResultNumber(length) + " " + LengthUnit(st.settings) + ", through " +
             ResultNumber(0.5 * (edge->x0 + edge->x1)) + ", " + ResultNumber(0.5 * (edge->y0 + edge->y1)) +
             " px, " + std::to_string(edge->calipers) + " calipers, rms " + ResultNumber(edge->rms) + " px" +
             CommaDistance(st.settings, depth);
  AddResult(st, std::move(row));
}

void RecordWidth(Station& st, const double (&xs)[3], const double (&ys)[3]) {
  const std::optional<GaugedWidth> w = GaugeWidth(st.image, xs[0], ys[0], xs[1], ys[1]);
  if (!w) return;
  const double depth = st.current_distance;
  const double width = PixelsToLength(st, w->width, depth);
  ResultsOf(st).lines.push_back({w->x0, w->y0, w->x1, w->y1, "W " + MarkLength(st.settings, width)});
  ResultRow row;
  row.kind = kKindWidth;
  row.value = width;
  row.unit = LengthUnit(st.settings);
  row.uncertainty = PixelsToLength(st, w->sigma, depth);
  row.note = "from " + ResultNumber(w->x0) + ", " + ResultNumber(w->y0) + " to " + ResultNumber(w->x1) +
             ", " + ResultNumber(w->y1) + " px" + CommaDistance(st.settings, depth);
  AddResult(st, std::move(row));
}

} // namespace

uint32_t ClicksOf(MeasureTool tool) {
  switch (tool) {
    case MeasureTool::Diameter:
      return 3;
    case MeasureTool::Edge:
    case MeasureTool::Width:
      return 2;
    case MeasureTool::Measure:
      break;
  }
  return 0;
}

void ToolClick(Station& st, MeasureTool tool, double x, double y) {
  const uint32_t needed = ClicksOf(tool);
  if (needed == 0) return;
  ResultsSession& session = ResultsOf(st);
  if (session.gauge_tool != tool) session.gauge_clicks.clear();
  session.gauge_tool = tool;
  session.gauge_clicks.emplace_back(x, y);
  if (session.gauge_clicks.size() < needed) return;
  double xs[3] = {}, ys[3] = {};
  for (uint32_t i = 0; i < needed; ++i) std::tie(xs[i], ys[i]) = session.gauge_clicks[i];
  session.gauge_clicks.clear();
  if (tool == MeasureTool::Diameter) RecordDiameter(st, xs, ys);
  if (tool == MeasureTool::Edge) RecordStraightEdge(st, xs, ys);
  if (tool == MeasureTool::Width) RecordWidth(st, xs, ys);
  // An inspection program being taught takes the gauge as a step.
  constexpr StepKind kSteps[] = {StepKind::Point, StepKind::Circle, StepKind::Line, StepKind::Width};
  RecordGaugeStep(st, kSteps[static_cast<uint32_t>(tool)], xs, ys);
}

void GaugeClick(Station& st, double x, double y) { ToolClick(st, MeasureTool::Diameter, x, y); }

void DrawGaugeMarks(Station& st) {
  if (!st.results || !st.working) return;
  const ResultsSession& session = *st.results;
  if (session.snaps.empty() && session.circles.empty() && session.lines.empty() &&
      session.gauge_clicks.empty() && session.part_id.empty()) {
    return;
  }
  const OverlayCanvas canvas = CanvasOf(st);
  if (const std::string legend = PartIdentityLegend(st); !legend.empty()) {
    DrawText(canvas, kPartLegendX, static_cast<int32_t>(st.image.height) - kPartLegendFromBottom, legend,
             kCircleMarkColour);
  }
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
  for (const LineMark& l : session.lines) {
    const int32_t x0 = TruncToPixel(l.x0 + 0.5), y0 = TruncToPixel(l.y0 + 0.5);
    const int32_t x1 = TruncToPixel(l.x1 + 0.5), y1 = TruncToPixel(l.y1 + 0.5);
    DrawLine(canvas, x0, y0, x1, y1, kCircleMarkColour);
    DrawDot(canvas, x0, y0, kCircleMarkColour);
    DrawDot(canvas, x1, y1, kCircleMarkColour);
    DrawText(canvas, TruncToPixel(0.5 * (l.x0 + l.x1)) + 6, TruncToPixel(0.5 * (l.y0 + l.y1)) + 6, l.text,
             kCircleMarkColour);
  }
}

} // namespace orvane
