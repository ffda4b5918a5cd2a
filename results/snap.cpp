#include "results/snap.h"

#include <algorithm>
#include <cmath>
#include <vector>

#include "gauge/include/qgauge.h"

namespace orvane {
namespace {

constexpr double kPi = 3.14159265358979323846;
// Half the side of the square whose gradients give a click's edge direction.
constexpr int32_t kDirectionRadius = 7;
// Extra caliper length beyond the reach on each side, for the smoothing.
constexpr double kCaliperMargin = 4.0;
constexpr double kCaliperWidth = 5.0;
// Smallest mean squared gradient (grey levels^2) that gives a direction.
constexpr double kMinGradientEnergy = 4.0;
constexpr int32_t kMaxEdges = 32;
constexpr double kSpokeLength = 24.0;
constexpr int32_t kMaxSpokes = 64;
// A straight edge's calipers stand one caliper width apart; a line needs
// three to say how well it fits.
constexpr int32_t kMinEdgeCalipers = 3;
constexpr int32_t kMaxEdgeCalipers = 256;
// The band a width's caliper averages across its axis.
constexpr double kWidthBand = 9.0;

qgImage GaugeImage(const ImageState& im) {
  return {im.frame, static_cast<int32_t>(im.width), static_cast<int32_t>(im.height),
          static_cast<int32_t>(im.stride), static_cast<int32_t>(im.bytes_per_pixel)};
}

bool Usable(const ImageState& im) {
  return im.frame != nullptr && im.width > 0 && im.height > 0 &&
         (im.bytes_per_pixel == 3 || im.bytes_per_pixel == 4);
}

uint8_t Intensity(const ImageState& im, int32_t x, int32_t y) {
  return im.frame[size_t(y) * im.stride + size_t(x) * im.bytes_per_pixel + 2];
}

// The direction of the strongest intensity change around (x, y): the main
// axis of the gradients' structure tensor, which does not cancel between the
// two sides of a thin line as a plain gradient sum would.
std::optional<double> GradientAngle(const ImageState& im, double x, double y) {
  const int32_t cx = static_cast<int32_t>(std::lround(x));
  const int32_t cy = static_cast<int32_t>(std::lround(y));
  const int32_t w = static_cast<int32_t>(im.width), h = static_cast<int32_t>(im.height);
  double jxx = 0.0, jyy = 0.0, jxy = 0.0;
  int32_t n = 0;
  for (int32_t py = std::max(1, cy - kDirectionRadius); py <= std::min(h - 2, cy + kDirectionRadius); ++py) {
    for (int32_t px = std::max(1, cx - kDirectionRadius); px <= std::min(w - 2, cx + kDirectionRadius); ++px) {
      const double gx = 0.5 * (double(Intensity(im, px + 1, py)) - Intensity(im, px - 1, py));
      const double gy = 0.5 * (double(Intensity(im, px, py + 1)) - Intensity(im, px, py - 1));
      jxx += gx * gx;
      jyy += gy * gy;
      jxy += gx * gy;
      ++n;
    }
  }
  if (n == 0 || (jxx + jyy) / n < kMinGradientEnergy) return std::nullopt;
  return 0.5 * std::atan2(2.0 * jxy, jxx - jyy);
}

// The edge on a caliper through (x, y) at `angle` nearest to (x, y), within
// the reach.
std::optional<qgEdge> NearestEdge(const ImageState& im, double x, double y, double angle,
                                  double band) {
  const qgImage image = GaugeImage(im);
  const qgRect rect{x + 0.5, y + 0.5, 2.0 * (kSnapReach + kCaliperMargin), band, angle};
  qgCaliperParams params;
  qgCaliperDefaults(&params);
  params.select = QG_SELECT_ALL;
  qgEdge edges[kMaxEdges];
  int32_t count = 0;
  if (qgEdgeCaliper(&image, &rect, &params, edges, kMaxEdges, &count) != QG_OK) return std::nullopt;
  const qgEdge* best = nullptr;
  for (int32_t i = 0; i < std::min(count, kMaxEdges); ++i) {
    if (std::fabs(edges[i].position) > kSnapReach) continue;
    if (best == nullptr || std::fabs(edges[i].position) < std::fabs(best->position)) best = &edges[i];
  }
  if (best == nullptr) return std::nullopt;
  return *best;
}

SnapMark MarkOf(const qgEdge& e) { return {e.x - 0.5, e.y - 0.5, e.uncertainty}; }

} // namespace

std::optional<SnapMark> SnapToEdge(const ImageState& im, double x, double y) {
  const std::optional<SnapCaliper> snapped = SnapCaliperAt(im, x, y);
  if (!snapped) return std::nullopt;
  return snapped->edge;
}

std::optional<SnapCaliper> SnapCaliperAt(const ImageState& im, double x, double y) {
  if (!Usable(im)) return std::nullopt;
  const std::optional<double> angle = GradientAngle(im, x, y);
  if (!angle) return std::nullopt;
  const std::optional<qgEdge> edge = NearestEdge(im, x, y, *angle, kCaliperWidth);
  if (!edge) return std::nullopt;
  return SnapCaliper{MarkOf(*edge), *angle};
}

std::optional<SnappedWidth> SnapWidth(const ImageState& im, int32_t left, int32_t top,
                                      int32_t right, int32_t bottom) {
  if (!Usable(im) || right <= left || bottom < top) return std::nullopt;
  const double y = 0.5 * (double(top) + bottom);
  const double band = std::max(1.0, double(bottom) - top + 1.0);
  const std::optional<qgEdge> a = NearestEdge(im, left, y, 0.0, band);
  const std::optional<qgEdge> b = NearestEdge(im, right, y, 0.0, band);
  if (!a || !b || b->x <= a->x) return std::nullopt;
  SnappedWidth out;
  out.left = MarkOf(*a);
  out.right = MarkOf(*b);
  out.width = b->x - a->x;
  out.sigma = std::hypot(a->uncertainty, b->uncertainty);
  return out;
}

std::optional<GaugedCircle> GaugeCircle(const ImageState& im, const double (&xs)[3],
                                        const double (&ys)[3]) {
  if (!Usable(im)) return std::nullopt;
  qgPoint points[3];
  for (int i = 0; i < 3; ++i) points[i] = {xs[i] + 0.5, ys[i] + 0.5};
  // The circle through the three clicks starts the gauge.
  qgFitParams plain{0, 0.0, 0.0};
  qgCircle start;
  if (qgFitCircle(points, 3, &plain, &start, nullptr) != QG_OK) return std::nullopt;
  qgCircleGaugeParams params{};
  params.cx = start.cx;
  params.cy = start.cy;
  params.r = start.r;
  // No more spokes than fit around the rim side by side.
  params.spokes = std::clamp(static_cast<int32_t>(2.0 * kPi * start.r / kCaliperWidth), 3, kMaxSpokes);
  params.spokeLength = kSpokeLength;
  params.spokeWidth = kCaliperWidth;
  qgCaliperDefaults(&params.caliper);
  params.caliper.select = QG_SELECT_STRONGEST;
  qgFitDefaults(&params.fit);
  const qgImage image = GaugeImage(im);
  qgCircle circle;
  if (qgCircleGauge(&image, &params, &circle, nullptr) != QG_OK) {
    return std::nullopt;
  }
  return GaugedCircle{circle.cx - 0.5, circle.cy - 0.5, circle.r, circle.uR, circle.uCx, circle.uCy};
}


std::optional<GaugedEdge> GaugeStraightEdge(const ImageState& im, double x0, double y0, double x1,
                                            double y1) {
  const double length = std::hypot(x1 - x0, y1 - y0);
  if (!Usable(im) || !(length >= kCaliperWidth * kMinEdgeCalipers)) return std::nullopt;
  const int32_t n = std::min(kMaxEdgeCalipers, static_cast<int32_t>(length / kCaliperWidth));
  const double across = std::atan2(y1 - y0, x1 - x0) + 0.5 * kPi;
  std::vector<qgPoint> points;
  double u2 = 0.0;
  for (int32_t i = 0; i < n; ++i) {
    const double t = (i + 0.5) / n;
    const std::optional<qgEdge> e =
        NearestEdge(im, x0 + t * (x1 - x0), y0 + t * (y1 - y0), across, kCaliperWidth);
    if (e) points.push_back({e->x, e->y}), u2 += e->uncertainty * e->uncertainty;
  }
  if (points.size() < size_t{kMinEdgeCalipers}) return std::nullopt;
  qgFitParams fit;
  qgFitDefaults(&fit);
  // A robust scale from a score of residuals can happen to be a fraction of
  // the edges' own scatter, and then sound edges fall out as outliers (and
  // the line kept claims too small an uncertainty): the scale is never
  // below the edges' noise.
  fit.minScale = std::max(fit.minScale, std::sqrt(u2 / static_cast<double>(points.size())));
  qgLine line;
  if (qgFitLine(points.data(), static_cast<int32_t>(points.size()), &fit, &line, nullptr) != QG_OK ||
      line.inliers < kMinEdgeCalipers) {
    return std::nullopt;
  }
  // The clicks projected onto the line, back in station coordinates.
  const double ux = std::cos(line.angle), uy = std::sin(line.angle);
  auto project = [&](double x, double y, double* px, double* py) {
    const double s = (x + 0.5 - line.x) * ux + (y + 0.5 - line.y) * uy;
    *px = line.x + s * ux - 0.5;
    *py = line.y + s * uy - 0.5;
  };
  GaugedEdge out;
  project(x0, y0, &out.x0, &out.y0);
  project(x1, y1, &out.x1, &out.y1);
  out.angle = line.angle;
  // Each caliper's profile reads a pixel beyond its band on either side, so
  // neighbouring calipers share pixels and noise: the line averages fewer
  // independent errors than it has edges, and its two parameters absorb more
  // of the residual scatter (as the circle gauge widens for its spokes).
  const double m = line.inliers, overlap = (kCaliperWidth + 1.0) * n / length;
  const double widen = m > 2.0 * overlap ? std::sqrt(overlap * (m - 2.0) / (m - 2.0 * overlap)) : 1.0;
  out.sigma_angle = line.uAngle * widen;
  out.rms = line.rms;
  out.calipers = line.inliers;
  out.cx = line.x - 0.5;
  out.cy = line.y - 0.5;
  out.sigma_offset = line.uPosition * widen;
  return out;
}

std::optional<GaugedWidth> GaugeWidth(const ImageState& im, double x0, double y0, double x1,
                                      double y1) {
  const double length = std::hypot(x1 - x0, y1 - y0);
  if (!Usable(im) || !(length >= 1.0)) return std::nullopt;
  const qgImage image = GaugeImage(im);
  const qgRect rect{0.5 * (x0 + x1) + 0.5, 0.5 * (y0 + y1) + 0.5, length + 4.0 * kCaliperMargin,
                    kWidthBand, std::atan2(y1 - y0, x1 - x0)};
  qgCaliperParams params;
  qgCaliperDefaults(&params);
  params.select = QG_SELECT_STRONGEST;
  qgEdgePairResult pair;
  if (qgEdgePair(&image, &rect, &params, &pair) != QG_OK) return std::nullopt;
  return GaugedWidth{pair.first.x - 0.5, pair.first.y - 0.5, pair.second.x - 0.5,
                     pair.second.y - 0.5, pair.width, pair.uncertainty};
}

} // namespace orvane
