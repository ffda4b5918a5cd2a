#include "inspect/profile.h"

#include <algorithm>
#include <cmath>

#include "inspect/program.h"
#include "results/units.h"

namespace orvane {
namespace {

constexpr double kDegrees = 57.295779513082323;
// Flatness of curves read before the scale is known, in drawing units.
constexpr double kUnscaledFlatness = 1e-5;

constexpr Rgb kOutline{250, 250, 250};
constexpr Rgb kUnder{1, 90, 255};
constexpr Rgb kWithin{1, 210, 1};
constexpr Rgb kOver{255, 1, 1};
constexpr Rgb kMissing{255, 1, 255};
constexpr Rgb kWorst{255, 255, 1};
// Whiskers end this far out at most, in picture pixels.
constexpr double kLongestWhisker = 60.0;
// The whisker of a deviation at the zone's edge, in picture pixels.
constexpr double kZoneWhisker = 20.0;
// Points farther apart than this are not joined into the outline.
constexpr double kJoinPx = 3.0;

int32_t Px(double v) { return TruncToPixel(std::floor(v)); }

ProfileDrawing Refused(ProfileDrawing d, std::string why) {
  d.problem = std::move(why);
  return d;
}

ProfileDrawing Read(const ProfileSource& source, const std::filesystem::path& folder, double px_per_unit) {
  ProfileDrawing out;
  const std::filesystem::path file(source.path);
  out.name = file.filename().string();
  if (!(cadfile::MillimetresPerUnit(source.unit) > 0)) return Refused(std::move(out), "the drawing's unit is not known");
  cadfile::ReadOptions options;
  options.flatness = px_per_unit > 0 ? std::max(cad::kFlatnessPx / px_per_unit, 1e-9) : kUnscaledFlatness;
  options.layers.insert(source.layers.begin(), source.layers.end());
  std::string error;
  out.drawing = cadfile::ReadDxfFile((file.is_absolute() ? file : folder / file).string(), options, &error);
  if (!out.drawing) return Refused(std::move(out), "cannot read " + out.name + ": " + error);
  for (const std::string& layer : source.layers) {
    if (out.drawing->layers.count(layer) == 0) {
      out.drawing.reset();
      return Refused(std::move(out), "no layer \"" + layer + "\" in " + out.name);
    }
  }
  if (out.drawing->entities.empty()) {
    out.drawing.reset();
    return Refused(std::move(out), out.name + " holds no line, arc or curve to compare");
  }
  return out;
}

} // namespace

std::shared_ptr<const ProfileDrawing> ReadProfileDrawing(const ProfileSource& source,
                                                         const std::filesystem::path& folder, double px_per_unit) {
  return std::make_shared<const ProfileDrawing>(Read(source, folder, px_per_unit));
}

double PixelsPerDrawingUnit(const LengthScale& scale, int32_t unit) {
  const std::optional<UnitRatio> to_mm = UnitRatioOf(scale.unit, "mm");
  if (!to_mm || !(scale.per_pixel > 0)) return 0.0;
  const double mm_per_px = to_mm->Apply(scale.per_pixel);
  const double px = cadfile::MillimetresPerUnit(unit) / mm_per_px;
  return std::isfinite(px) && px > 0 ? px : 0.0;
}

ProfileRun MeasureProfile(const qgImage& image, const ProfileDrawing& drawing, const ProfileSource& source,
                          qgPoint origin, const PartPose& pose, double px_per_unit, double half_zone) {
  ProfileRun r;
  if (!drawing.drawing) return r.why = drawing.problem, r;
  if (!(px_per_unit > 0)) return r.why = "the station is not calibrated", r;
  r.px_per_unit = px_per_unit;
  r.half_px = half_zone * px_per_unit;
  r.nominal = cad::NominalAtScale(*drawing.drawing, px_per_unit);
  if (r.nominal.points.empty()) return r.why = "the drawing's outline is too long for the picture's scale", r;
  cad::Placement start;
  start.scale = px_per_unit;
  PartToPicture(pose, origin.x, origin.y, &start.px, &start.py);
  start.angle = (source.angle_deg + pose.angle_deg) / kDegrees;
  const cad::MeasureSettings measure;
  cad::ResolveSides(image, start, r.nominal, measure);
  cad::FitSettings settings;
  settings.minmax = source.minmax;
  const cad::FitResult fit = cad::FitPlacement(image, r.nominal, start, measure, settings);
  if (!fit.ok) return r.why = fit.why, r;
  r.placement = fit.placement;
  r.residual = fit.residual;
  r.comparison = cad::Compare(image, r.nominal, r.placement, measure);
  r.measured = r.comparison.all.worst >= 0;
  if (!r.measured) r.why = "no edge found along the drawing";
  return r;
}

std::string ProfileNote(const ProfileRun& run, const std::string& unit) {
  if (!run.measured) return run.why;
  const cad::Deviation& d = run.comparison.all;
  return cad::FiguresText(d, run.px_per_unit) + " " + unit + ", " + std::to_string(d.points) + " points, " +
         std::to_string(d.missing) + " without an edge, fit residual " + cad::Fixed(run.residual, 4) + " px";
}

void DrawDeviations(const OverlayCanvas& canvas, const cad::Nominal& nominal, const cad::Placement& pl,
                    const cad::Comparison* c, double half, double px_per_unit) {
  const double magnify = std::clamp(kZoneWhisker / std::max(half, 1e-9), 2.0, 500.0);
  double lx = 0, ly = 0;
  uint32_t last_entity = UINT32_MAX;
  for (size_t i = 0; i < nominal.points.size(); ++i) {
    const cad::NominalPoint& q = nominal.points[i];
    double x, y, ux, uy;
    pl.ToImage(q.x, q.y, &x, &y);
    pl.NormalToImage(q.nx, q.ny, &ux, &uy);
    if (q.entity == last_entity && std::hypot(x - lx, y - ly) <= kJoinPx) {
      DrawLine(canvas, Px(lx), Px(ly), Px(x), Px(y), kOutline);
    }
    lx = x;
    ly = y;
    last_entity = q.entity;
    if (!c || q.corner) continue;
    const cad::Measured& m = c->points[i];
    if (!m.found) {
      DrawDot(canvas, Px(x), Px(y), kMissing);
      continue;
    }
    const Rgb colour = m.deviation > half ? kOver : m.deviation < -half ? kUnder : kWithin;
    const double length = std::clamp(m.deviation * magnify, -kLongestWhisker, kLongestWhisker);
    DrawLine(canvas, Px(x), Px(y), Px(x + ux * length), Px(y + uy * length), colour);
  }
  if (c && c->all.worst >= 0) {
    const size_t w = static_cast<size_t>(c->all.worst);
    double x, y;
    pl.ToImage(nominal.points[w].x, nominal.points[w].y, &x, &y);
    DrawTargetMark(canvas, Px(x), Px(y), kWorst);
    DrawText(canvas, Px(x) + 8, Px(y) + 8, cad::SignedNumber(c->points[w].deviation / px_per_unit), kWorst);
  }
}

} // namespace orvane
