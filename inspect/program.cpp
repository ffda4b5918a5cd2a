#include "inspect/program.h"

#include <algorithm>
#include <charconv>
#include <cmath>
#include <map>

#include "results/snap.h"
#include "results/units.h"

namespace orvane {
namespace {

constexpr double kDegreesPerRadian = 57.29577951308232;
// The band a point's caliper averages across its axis, px.
constexpr double kPointBand = 5.0;

struct KindName {
  StepKind kind;
  std::string_view name;
  std::string_view prefix; // of default labels
};
constexpr KindName kKindNames[] = {
    {StepKind::Point, "point", "P"},       {StepKind::Line, "line", "E"},
    {StepKind::Circle, "circle", "D"},     {StepKind::Width, "width", "W"},
    {StepKind::Distance, "distance", "L"}, {StepKind::Angle, "angle", "A"},
    {StepKind::Profile, "profile", "CAD"},
};

const KindName& EntryOf(StepKind kind) {
  for (const KindName& k : kKindNames) {
    if (k.kind == kind) return k;
  }
  return kKindNames[0];
}

bool Pointlike(StepKind kind) { return kind == StepKind::Point || kind == StepKind::Circle; }

// The station's gauges read an ImageState in its coordinates (a pixel's
// centre at i); the picture is only read through it.
ImageState StateOf(const qgImage& im) {
  ImageState st;
  st.frame = const_cast<uint8_t*>(im.pixels);
  st.width = static_cast<uint32_t>(std::max(im.width, 0));
  st.height = static_cast<uint32_t>(std::max(im.height, 0));
  st.stride = static_cast<uint32_t>(std::max(im.stride, 0));
  st.bytes_per_pixel = static_cast<uint32_t>(std::max(im.bytesPerPixel, 0));
  st.bits_per_pixel = st.bytes_per_pixel * 8;
  st.size = st.stride * st.height;
  return st;
}

FeatureResult GaugePoint(const qgImage& im, qgPoint p0, qgPoint p1) {
  FeatureResult r;
  r.kind = StepKind::Point;
  const double length = std::hypot(p1.x - p0.x, p1.y - p0.y);
  if (!(length >= 2.0)) return r;
  const double angle = std::atan2(p1.y - p0.y, p1.x - p0.x);
  const qgRect rect{0.5 * (p0.x + p1.x), 0.5 * (p0.y + p1.y), length, kPointBand, angle};
  qgCaliperParams params;
  qgCaliperDefaults(&params);
  params.select = QG_SELECT_STRONGEST;
  qgEdge edge;
  int32_t count = 0;
  if (qgEdgeCaliper(&im, &rect, &params, &edge, 1, &count) != QG_OK || count < 1) return r;
  r.ok = true;
  r.x = edge.x;
  r.y = edge.y;
  r.dx = std::cos(angle);
  r.dy = std::sin(angle);
  r.u_offset = edge.uncertainty; // along the caliper (dx, dy)
  r.ux = edge.uncertainty * std::fabs(r.dx);
  r.uy = edge.uncertainty * std::fabs(r.dy);
  r.x0 = p0.x, r.y0 = p0.y, r.x1 = p1.x, r.y1 = p1.y;
  return r;
}

FeatureResult GaugeLine(const qgImage& im, qgPoint p0, qgPoint p1) {
  FeatureResult r;
  r.kind = StepKind::Line;
  const std::optional<GaugedEdge> e =
      GaugeStraightEdge(StateOf(im), p0.x - 0.5, p0.y - 0.5, p1.x - 0.5, p1.y - 0.5);
  if (!e) return r;
  r.ok = true;
  r.x = e->cx + 0.5;
  r.y = e->cy + 0.5;
  r.dx = std::cos(e->angle);
  r.dy = std::sin(e->angle);
  // Along the taught segment, so that an angle between lines means the same
  // in every pose.
  if (r.dx * (p1.x - p0.x) + r.dy * (p1.y - p0.y) < 0.0) r.dx = -r.dx, r.dy = -r.dy;
  r.u_offset = e->sigma_offset;
  r.u_angle = e->sigma_angle;
  r.x0 = e->x0 + 0.5, r.y0 = e->y0 + 0.5, r.x1 = e->x1 + 0.5, r.y1 = e->y1 + 0.5;
  return r;
}

FeatureResult GaugeRim(const qgImage& im, const qgPoint (&p)[3]) {
  FeatureResult r;
  r.kind = StepKind::Circle;
  const double xs[3] = {p[0].x - 0.5, p[1].x - 0.5, p[2].x - 0.5};
  const double ys[3] = {p[0].y - 0.5, p[1].y - 0.5, p[2].y - 0.5};
  const std::optional<GaugedCircle> c = GaugeCircle(StateOf(im), xs, ys);
  if (!c || !std::isfinite(c->sigma_radius)) return r;
  r.ok = true;
  r.x = c->x + 0.5;
  r.y = c->y + 0.5;
  r.ux = c->sigma_x;
  r.uy = c->sigma_y;
  r.radius = c->radius;
  r.u_radius = c->sigma_radius;
  return r;
}

FeatureResult GaugeBar(const qgImage& im, qgPoint p0, qgPoint p1) {
  FeatureResult r;
  r.kind = StepKind::Width;
  const std::optional<GaugedWidth> w =
      GaugeWidth(StateOf(im), p0.x - 0.5, p0.y - 0.5, p1.x - 0.5, p1.y - 0.5);
  if (!w) return r;
  r.ok = true;
  r.x0 = w->x0 + 0.5, r.y0 = w->y0 + 0.5, r.x1 = w->x1 + 0.5, r.y1 = w->y1 + 0.5;
  r.x = 0.5 * (r.x0 + r.x1);
  r.y = 0.5 * (r.y0 + r.y1);
  const double n = std::hypot(r.x1 - r.x0, r.y1 - r.y0);
  if (n > 0.0) r.dx = (r.x1 - r.x0) / n, r.dy = (r.y1 - r.y0) / n;
  r.width = w->width;
  r.u_width = w->sigma;
  return r;
}

// A point's (or centre's) standard uncertainty along the unit vector n.
double PointU(const FeatureResult& f, double nx, double ny) {
  if (f.kind == StepKind::Point) return f.u_offset * std::fabs(f.dx * nx + f.dy * ny);
  return std::hypot(f.ux * nx, f.uy * ny);
}

// A line's offset uncertainty at (x, y): its offset's and its turn's.
double LineU(const FeatureResult& line, double x, double y) {
  const double s = (x - line.x) * line.dx + (y - line.y) * line.dy;
  return std::hypot(line.u_offset, s * line.u_angle);
}

// The distance from (x, y) to the line, unsigned, px.
double ToLine(const FeatureResult& line, double x, double y) {
  return std::fabs((x - line.x) * -line.dy + (y - line.y) * line.dx);
}

struct PxValue {
  double value = kUnknown;
  double u = kUnknown;
};

PxValue PointToPoint(const FeatureResult& p, const FeatureResult& q) {
  const double d = std::hypot(q.x - p.x, q.y - p.y);
  if (!(d > 0.0)) return {d, std::hypot(std::hypot(p.ux, p.uy), std::hypot(q.ux, q.uy))};
  const double nx = (q.x - p.x) / d, ny = (q.y - p.y) / d;
  return {d, std::hypot(PointU(p, nx, ny), PointU(q, nx, ny))};
}

PxValue PointToLine(const FeatureResult& p, const FeatureResult& line) {
  return {ToLine(line, p.x, p.y), std::hypot(PointU(p, -line.dy, line.dx), LineU(line, p.x, p.y))};
}

// Near-parallel lines: the mean of each segment's middle's distance to the
// other line. Each line enters that mean through its offset at both
// middles, which is its offset half-way between them: each line's
// uncertainty is taken there, its turn included, not at its own middle.
PxValue LineToLine(const FeatureResult& a, const FeatureResult& b) {
  const double ax = 0.5 * (a.x0 + a.x1), ay = 0.5 * (a.y0 + a.y1);
  const double bx = 0.5 * (b.x0 + b.x1), by = 0.5 * (b.y0 + b.y1);
  const double mx = 0.5 * (ax + bx), my = 0.5 * (ay + by);
  return {0.5 * (ToLine(b, ax, ay) + ToLine(a, bx, by)), std::hypot(LineU(a, mx, my), LineU(b, mx, my))};
}

PxValue Between(const FeatureResult& a, const FeatureResult& b) {
  if (Pointlike(a.kind) && Pointlike(b.kind)) return PointToPoint(a, b);
  if (Pointlike(a.kind) && b.kind == StepKind::Line) return PointToLine(a, b);
  if (a.kind == StepKind::Line && Pointlike(b.kind)) return PointToLine(b, a);
  return LineToLine(a, b);
}

Verdict Judge(double value, const std::string& unit, const std::optional<Tolerance>& t, bool measured) {
  if (!measured) return Verdict::Fail;
  if (!t) return Verdict::None;
  double v = value;
  if (!t->unit.empty() && t->unit != unit) {
    const std::optional<UnitRatio> ratio = UnitRatioOf(unit, t->unit);
    if (!ratio) return Verdict::Fail;
    v = ratio->Apply(value);
  }
  return v >= t->LowerLimit() && v <= t->UpperLimit() ? Verdict::Pass : Verdict::Fail;
}

// The value of dimension `step` from the features gauged, in picture units
// (px, or degrees for an angle).
PxValue Measure(const ProgramStep& step, const FeatureResult* a, const FeatureResult* b) {
  switch (step.kind) {
    case StepKind::Circle:
      return {2.0 * a->radius, 2.0 * a->u_radius};
    case StepKind::Width:
      return {a->width, a->u_width};
    case StepKind::Distance:
      return Between(*a, *b);
    case StepKind::Angle: {
      // atan2 keeps its precision near 0 and 180 degrees, where acos loses it.
      const double cross = a->dx * b->dy - a->dy * b->dx, dot = a->dx * b->dx + a->dy * b->dy;
      return {std::fabs(std::atan2(cross, dot)) * kDegreesPerRadian,
              std::hypot(a->u_angle, b->u_angle) * kDegreesPerRadian};
    }
    default:
      return {};
  }
}

std::string_view ResultKind(StepKind kind) {
  switch (kind) {
    case StepKind::Circle: return kKindDiameter;
    case StepKind::Width: return kKindWidth;
    case StepKind::Angle: return kKindAngle;
    case StepKind::Profile: return kKindCad;
    default: return kKindLength;
  }
}

DimensionResult TakeDimension(const ProgramStep& step, size_t index, const FeatureResult* a,
                              const FeatureResult* b, const LengthScale& scale) {
  DimensionResult d;
  d.step = index;
  d.label = step.label;
  d.kind = ResultKind(step.kind);
  d.tolerance = step.tolerance;
  const bool angle = step.kind == StepKind::Angle;
  d.unit = angle ? "deg" : scale.unit;
  d.measured = a != nullptr && a->ok && (b == nullptr ? !(step.kind == StepKind::Distance || angle) : b->ok);
  if (d.measured) {
    const PxValue v = Measure(step, a, b);
    const double k = angle ? 1.0 : scale.per_pixel;
    d.value = v.value * k;
    d.u = v.u * k;
    d.measured = std::isfinite(d.value);
  }
  d.verdict = Judge(d.value, d.unit, d.tolerance, d.measured);
  return d;
}

// A profile's unit: its drawing's ("" for a step without a drawing).
std::string ProfileUnit(const ProgramStep& step) {
  return step.profile ? CanonicalUnit(cadfile::UnitName(step.profile->unit)) : std::string();
}

// The deviation of largest size in the drawing's unit, judged against the
// zone. A profile with points where no edge was found is not measured (and
// fails the part): what lies there is not known, and the results table,
// which judges the value alone, must not read it as passing.
DimensionResult ProfileDimension(const ProgramStep& step, size_t index, const ProfileRun& run) {
  DimensionResult d;
  d.step = index;
  d.label = step.label;
  d.kind = kKindCad;
  d.tolerance = step.tolerance;
  d.unit = ProfileUnit(step);
  d.measured = run.measured && run.comparison.all.missing == 0;
  if (d.measured) {
    const cad::Deviation& all = run.comparison.all;
    d.value = run.comparison.points[static_cast<size_t>(all.worst)].deviation / run.px_per_unit;
  }
  d.verdict = Judge(d.value, d.unit, d.tolerance, d.measured);
  d.note = ProfileNote(run, d.unit);
  return d;
}

// The zone's half width in the drawing's unit: the tolerance's upper
// deviation (0 without one).
double HalfZone(const ProgramStep& step) {
  const std::optional<Tolerance>& t = step.tolerance;
  if (!t) return 0.0;
  const std::optional<UnitRatio> r = t->unit.empty() ? UnitRatio{} : UnitRatioOf(t->unit, ProfileUnit(step));
  return r ? std::max(r->Apply(t->upper), 0.0) : 0.0;
}

} // namespace

bool ProgramStep::operator==(const ProgramStep& o) const {
  for (int i = 0; i < 3; ++i) {
    if (points[i].x != o.points[i].x || points[i].y != o.points[i].y) return false;
  }
  return kind == o.kind && label == o.label && a == o.a && b == o.b && tolerance == o.tolerance &&
         profile == o.profile;
}

std::string_view StepKindName(StepKind kind) { return EntryOf(kind).name; }

std::optional<StepKind> StepKindByName(std::string_view name) {
  for (const KindName& k : kKindNames) {
    if (k.name == name) return k.kind;
  }
  return std::nullopt;
}

bool IsDimension(StepKind kind) { return kind != StepKind::Point && kind != StepKind::Line; }

uint32_t PointsOf(StepKind kind) {
  switch (kind) {
    case StepKind::Circle: return 3;
    case StepKind::Point:
    case StepKind::Line:
    case StepKind::Width: return 2;
    case StepKind::Profile: return 1;
    default: return 0;
  }
}

bool IsStepLabel(std::string_view label) {
  if (label.empty() || label.size() > kMaxStepLabelBytes) return false;
  return std::all_of(label.begin(), label.end(), [](char ch) {
    const auto b = static_cast<unsigned char>(ch);
    return b > 0x20 && b < 0x7F && ch != '"' && ch != '#' && ch != '\\';
  });
}

const ProgramStep* FindStep(const Program& program, std::string_view label) {
  for (const ProgramStep& s : program.steps) {
    if (s.label == label) return &s;
  }
  return nullptr;
}

std::string DimensionProblem(const Program& program, StepKind kind, std::string_view a, std::string_view b) {
  const ProgramStep* fa = FindStep(program, a);
  const ProgramStep* fb = FindStep(program, b);
  for (const auto& [label, step] : {std::pair{a, fa}, std::pair{b, fb}}) {
    if (step == nullptr) return "no feature is called \"" + std::string(label) + "\"";
  }
  if (a == b) return "a dimension needs two different features";
  if (kind == StepKind::Angle) {
    if (fa->kind != StepKind::Line || fb->kind != StepKind::Line) return "an angle is taken between two lines";
    return {};
  }
  for (const ProgramStep* f : {fa, fb}) {
    if (!Pointlike(f->kind) && f->kind != StepKind::Line) {
      return "a distance is taken between points, circles and lines, not " +
             std::string(StepKindName(f->kind)) + " " + f->label;
    }
  }
  return {};
}

std::string NextStepLabel(const Program& program, StepKind kind) {
  const std::string_view prefix = EntryOf(kind).prefix;
  uint32_t last = 0;
  for (const ProgramStep& s : program.steps) {
    if (s.label.size() <= prefix.size() || s.label.compare(0, prefix.size(), prefix) != 0) continue;
    uint32_t n = 0;
    const char* first = s.label.data() + prefix.size();
    const char* end = s.label.data() + s.label.size();
    const auto r = std::from_chars(first, end, n);
    if (r.ec == std::errc() && r.ptr == end) last = std::max(last, n);
  }
  return std::string(prefix) + std::to_string(last + 1);
}

ProgramModel::ProgramModel(const Program& program, const std::filesystem::path& folder, const LengthScale& scale) {
  for (const ProgramStep& s : program.steps) {
    if (s.kind != StepKind::Profile || !s.profile || profile(*s.profile) != nullptr) continue;
    profiles_.emplace_back(*s.profile,
                           ReadProfileDrawing(*s.profile, folder, PixelsPerDrawingUnit(scale, s.profile->unit)));
  }
  if (program.model.empty()) return;
  qgPartModel* loaded = nullptr;
  const int32_t rc = qgPartModelLoad(program.model.data(), program.model.size(), &loaded);
  if (rc != QG_OK) {
    problem_ = "the program's part model is damaged (code " + std::to_string(rc) + ")";
    return;
  }
  model_.reset(loaded);
}

const ProfileDrawing* ProgramModel::profile(const ProfileSource& source) const {
  for (const auto& [read, drawing] : profiles_) {
    if (read.path == source.path && read.unit == source.unit && read.layers == source.layers) return drawing.get();
  }
  return nullptr;
}

std::string ProgramModel::ProfileProblem(const Program& program) const {
  for (const ProgramStep& s : program.steps) {
    const ProfileDrawing* d = s.profile ? profile(*s.profile) : nullptr;
    if (d != nullptr && !d->problem.empty()) return s.label + ": " + d->problem;
  }
  return {};
}

std::optional<PartPose> LocatePart(const ProgramModel& model, bool fixtured, const qgImage& image) {
  if (fixtured) return PartPose{};
  if (model.get() == nullptr) return std::nullopt;
  qgPartFindParams params;
  qgPartFindDefaults(&params);
  qgPartInstance found;
  int32_t count = 0;
  if (qgPartFind(&image, model.get(), &params, &found, 1, &count) != QG_OK || count < 1) return std::nullopt;
  return PartPose{found.x, found.y, found.angle, found.score, found.ux, found.uy, found.uangle};
}

FeatureResult GaugeFeature(const qgImage& image, StepKind kind, const qgPoint (&p)[3]) {
  switch (kind) {
    case StepKind::Point: return GaugePoint(image, p[0], p[1]);
    case StepKind::Line: return GaugeLine(image, p[0], p[1]);
    case StepKind::Circle: return GaugeRim(image, p);
    case StepKind::Width: return GaugeBar(image, p[0], p[1]);
    default: return {};
  }
}

namespace {

// A profile step run at `pose`; its feature is the worst point's edge.
ProfileRun RunProfile(const Program& program, const ProgramModel& model, size_t i, const qgImage& image,
                      const PartPose& pose, const LengthScale& scale, FeatureResult* feature) {
  const ProgramStep& step = program.steps[i];
  const ProfileDrawing* drawing = step.profile ? model.profile(*step.profile) : nullptr;
  ProfileRun r;
  if (drawing == nullptr || !step.profile) {
    r.why = "the drawing was not read";
  } else {
    r = MeasureProfile(image, *drawing, *step.profile, step.points[0], pose,
                       PixelsPerDrawingUnit(scale, step.profile->unit), HalfZone(step));
  }
  r.step = i;
  feature->kind = StepKind::Profile;
  feature->ok = r.measured;
  if (r.measured) {
    const cad::Measured& worst = r.comparison.points[static_cast<size_t>(r.comparison.all.worst)];
    feature->x = worst.ex;
    feature->y = worst.ey;
  }
  return r;
}

} // namespace

ProgramRun RunProgram(const Program& program, const ProgramModel& model, const qgImage& image,
                      const LengthScale& scale) {
  ProgramRun run;
  run.fixtured = program.model.empty();
  run.problem = model.problem();
  const std::optional<PartPose> pose = LocatePart(model, run.fixtured, image);
  if (!pose) return run;
  run.found = true;
  run.pose = *pose;
  run.features.resize(program.steps.size());
  std::map<std::string_view, size_t> by_label;
  for (size_t i = 0; i < program.steps.size(); ++i) {
    const ProgramStep& step = program.steps[i];
    by_label.emplace(step.label, i);
    const uint32_t n = PointsOf(step.kind);
    if (n == 0) continue;
    if (step.kind == StepKind::Profile) {
      run.profiles.push_back(RunProfile(program, model, i, image, *pose, scale, &run.features[i]));
      continue;
    }
    qgPoint placed[3] = {};
    for (uint32_t k = 0; k < n; ++k) PartToPicture(*pose, step.points[k].x, step.points[k].y, &placed[k].x, &placed[k].y);
    run.features[i] = GaugeFeature(image, step.kind, placed);
  }
  auto feature = [&](const std::string& label) -> const FeatureResult* {
    const auto it = by_label.find(label);
    if (it == by_label.end() || PointsOf(program.steps[it->second].kind) == 0) return nullptr;
    return &run.features[it->second];
  };
  run.pass = true;
  for (size_t i = 0; i < program.steps.size(); ++i) {
    const ProgramStep& step = program.steps[i];
    if (!IsDimension(step.kind)) continue;
    if (step.kind == StepKind::Profile) {
      const auto p = std::find_if(run.profiles.begin(), run.profiles.end(), [i](const ProfileRun& r) { return r.step == i; });
      run.dimensions.push_back(ProfileDimension(step, i, *p));
      if (run.dimensions.back().verdict == Verdict::Fail) run.pass = false;
      continue;
    }
    const bool own = step.kind == StepKind::Circle || step.kind == StepKind::Width;
    const FeatureResult* a = own ? &run.features[i] : feature(step.a);
    const FeatureResult* b = own ? nullptr : feature(step.b);
    run.dimensions.push_back(TakeDimension(step, i, a, b, scale));
    if (run.dimensions.back().verdict == Verdict::Fail) run.pass = false;
  }
  if (program.code_region && (image.bytesPerPixel == 3 || image.bytesPerPixel == 4)) {
    run.code = ReadPartCode(image.pixels, uint32_t(image.width), uint32_t(image.height), uint32_t(image.stride),
                            PlacedCodeRegion(*program.code_region, *pose), uint32_t(image.bytesPerPixel));
  }
  return run;
}

CodeRegion PosedBox(const CodeRegion& r, const PartPose& pose, bool to_picture) {
  double x0 = HUGE_VAL, y0 = HUGE_VAL, x1 = -HUGE_VAL, y1 = -HUGE_VAL;
  for (const auto& [cx, cy] : {std::pair{r.x, r.y}, {r.x + r.width, r.y}, {r.x, r.y + r.height},
                               {r.x + r.width, r.y + r.height}}) {
    double x = 0.0, y = 0.0;
    (to_picture ? PartToPicture : PictureToPart)(pose, cx, cy, &x, &y);
    x0 = std::min(x0, x), y0 = std::min(y0, y), x1 = std::max(x1, x), y1 = std::max(y1, y);
  }
  return CodeRegion{x0, y0, x1 - x0, y1 - y0};
}

PixelRegion PlacedCodeRegion(const CodeRegion& region, const PartPose& pose) {
  const CodeRegion box = PosedBox(region, pose, true);
  // Whole pixels covering the box, held to what a picture's size can be.
  const auto held = [](double v) { return std::isfinite(v) ? std::clamp(v, -1e9, 1e9) : 0.0; };
  const double left = std::floor(held(box.x)), top = std::floor(held(box.y));
  return PixelRegion{int32_t(left), int32_t(top), int32_t(std::min(std::ceil(held(box.x + box.width)) - left, 2e9)),
                     int32_t(std::min(std::ceil(held(box.y + box.height)) - top, 2e9))};
}

void JudgeIdentity(const Program& program, std::string_view typed, ProgramRun* run) {
  run->identity = program.code_region ? (run->code ? run->code->text : std::string()) : std::string(typed);
  run->identity_problem.clear();
  if (!program.identity_required || !run->identity.empty() || !run->found) return;
  run->identity_problem = program.code_region ? "no code read in the part-id region" : "no part identity";
  run->pass = false;
}

} // namespace orvane
