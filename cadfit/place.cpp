// The coarse placing: the picture's object (Otsu's threshold) and the
// drawing's material matched by centroid and principal axes, each turn the
// drawing's shape leaves open tried with a short fit.
#include <algorithm>
#include <array>
#include <cmath>

#include "cadfit/fit.h"

namespace orvane::cad {
namespace {

constexpr double kPi = 3.14159265358979323846;

inline int Grey(const qgImage& im, int x, int y) {
  const uint8_t* p = im.pixels + static_cast<size_t>(y) * static_cast<size_t>(im.stride) +
                     static_cast<size_t>(x) * static_cast<size_t>(im.bytesPerPixel);
  return im.bytesPerPixel == 1 ? p[0] : p[2];
}

// The grey level that best splits the histogram in two (Otsu).
int OtsuLevel(const std::array<double, 256>& h) {
  double total = 0, sum = 0;
  for (int i = 0; i < 256; ++i) {
    total += h[i];
    sum += i * h[i];
  }
  double below = 0, below_sum = 0, best = -1;
  int level = 128;
  for (int t = 0; t < 255; ++t) {
    below += h[t];
    below_sum += t * h[t];
    const double above = total - below;
    if (below == 0 || above == 0) continue;
    const double m0 = below_sum / below, m1 = (sum - below_sum) / above;
    const double between = below * above * (m0 - m1) * (m0 - m1);
    if (between > best) {
      best = between;
      level = t;
    }
  }
  return level;
}

// Moments of the object's pixels (every `step`th row and column), in
// picture pixels.
Moments ObjectMoments(const qgImage& im, bool bright) {
  const int step = static_cast<int64_t>(im.width) * im.height > 1000000 ? 2 : 1;
  std::array<double, 256> h{};
  for (int y = 0; y < im.height; y += step)
    for (int x = 0; x < im.width; x += step) ++h[Grey(im, x, y)];
  const int level = OtsuLevel(h);
  double n = 0, sx = 0, sy = 0, xx = 0, yy = 0, xy = 0;
  for (int y = 0; y < im.height; y += step)
    for (int x = 0; x < im.width; x += step) {
      const int g = Grey(im, x, y);
      if (bright ? g <= level : g > level) continue;
      const double cx = x + 0.5, cy = y + 0.5;
      n += 1;
      sx += cx;
      sy += cy;
      xx += cx * cx;
      yy += cy * cy;
      xy += cx * cy;
    }
  return CentralMoments(n * step * step, n, sx, sy, xx, yy, xy);
}

double AxisAngle(const Moments& m) { return 0.5 * std::atan2(2 * m.sxy, m.sxx - m.syy); }
double Elongation(const Moments& m) {
  return std::hypot(m.sxx - m.syy, 2 * m.sxy) / std::max(m.sxx + m.syy, 1e-300);
}

}  // namespace

FitResult CoarsePlace(const qgImage& image, Nominal& n, double scale, const MeasureSettings& s) {
  FitResult best;
  const Moments& d = n.moments;
  if (!(d.area > 0)) {
    best.why = "the drawing has no closed outline to place it by";
    return best;
  }
  const Moments o = ObjectMoments(image, s.bright_object);
  const double ratio = o.area / (d.area * scale * scale);
  if (!(ratio > 0.5 && ratio < 2)) {
    best.why = "the part in the picture covers " + std::to_string(ratio).substr(0, 6) +
               " times the drawing's area: check the drawing's unit and the calibration";
    return best;
  }
  // A drawing axis at angle a (y up) shows at -a; turned by t it shows at t - a.
  const double base = AxisAngle(o) + AxisAngle(d);
  const int turns = Elongation(d) < 0.15 ? 12 : 2;
  MeasureSettings wide = s;
  wide.search = std::clamp(0.03 * n.extent * scale, s.search, 30.0);
  FitSettings quick;
  quick.fit_points = 300;
  quick.rounds = 3;
  for (int k = 0; k < turns; ++k) {
    Placement pl;
    pl.scale = scale;
    pl.angle = std::remainder(base + 2 * kPi * k / turns, 2 * kPi);
    double ix, iy;
    pl.ToImage(d.cx, d.cy, &ix, &iy);
    pl.px = o.cx - ix;
    pl.py = o.cy - iy;
    FitResult r = FitPlacement(image, n, pl, wide, quick);
    if (r.ok && (!best.ok || r.used > best.used || (r.used == best.used && r.residual < best.residual))) best = r;
  }
  if (!best.ok && best.why.empty()) best.why = "no turn of the drawing meets the part's edges";
  return best;
}

}  // namespace orvane::cad
