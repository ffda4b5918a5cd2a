// The comparison drawn over the picture: the nominal outline in its fitted
// pose, each point's deviation as a whisker along its normal (magnified),
// coloured by the zone, and the worst point marked with its value.
#include <algorithm>
#include <cmath>

#include "acquisition/acquisition.h"
#include "cad/session.h"
#include "draw/overlay.h"
#include "inspect/part.h"

namespace orvane {
namespace {

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

}  // namespace

void DrawCadOverlay(Station& st) {
  if (!st.cad || !st.cad->drawing || !st.cad->placement) return;
  const CadSession& cad = *st.cad;
  const OverlayCanvas canvas = CanvasOf(st);
  const cad::Placement& pl = *cad.placement;
  // A comparison measured another picture says nothing of this one.
  const bool current = cad.comparison && cad.compared_picture == PictureFingerprint(st.image);
  const cad::Comparison* c = current ? &*cad.comparison : nullptr;
  const double half = cad.tolerance / 2 * cad.px_per_unit;
  const double magnify = std::clamp(kZoneWhisker / std::max(half, 1e-9), 2.0, 500.0);
  double lx = 0, ly = 0;
  uint32_t last_entity = UINT32_MAX;
  for (size_t i = 0; i < cad.nominal.points.size(); ++i) {
    const cad::NominalPoint& q = cad.nominal.points[i];
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
    pl.ToImage(cad.nominal.points[w].x, cad.nominal.points[w].y, &x, &y);
    DrawTargetMark(canvas, Px(x), Px(y), kWorst);
    DrawText(canvas, Px(x) + 8, Px(y) + 8, SignedNumber(c->points[w].deviation / cad.px_per_unit), kWorst);
  }
}

}  // namespace orvane
