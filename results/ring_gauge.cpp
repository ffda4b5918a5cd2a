#include "results/ring_gauge.h"

#include <algorithm>
#include <array>
#include <charconv>
#include <cmath>
#include <vector>


namespace orvane {
namespace {

constexpr double kPi = 3.14159265358979323846;
// The target's diameters in units: the ring's outside and the centre disc.
constexpr double kOuterUnits = 6.0;
constexpr double kInnerUnits = 3.0;
// The circle gauge's bias in a radius on blurred renders stays within this
// (pixels).
constexpr double kGaugeBias = 0.01;
// A smaller ring cannot be told from a speck.
constexpr double kMinOuterRadius = 8.0;

// The intensity plane of the box (the gauge library's intensity byte).
struct Plane {
  int32_t left = 0, top = 0, width = 0, height = 0;
  std::vector<uint8_t> v;
  uint8_t at(int32_t x, int32_t y) const { return v[size_t(y) * size_t(width) + size_t(x)]; }
};

Plane PlaneOf(const qgImage& image, RingSearchBox box) {
  if (box.right < box.left || box.bottom < box.top) box = {0, 0, image.width - 1, image.height - 1};
  box.left = std::clamp(box.left, 0, image.width - 1);
  box.right = std::clamp(box.right, 0, image.width - 1);
  box.top = std::clamp(box.top, 0, image.height - 1);
  box.bottom = std::clamp(box.bottom, 0, image.height - 1);
  Plane p;
  p.left = box.left;
  p.top = box.top;
  p.width = std::max(0, box.right - box.left + 1);
  p.height = std::max(0, box.bottom - box.top + 1);
  p.v.resize(size_t(p.width) * size_t(p.height));
  const int32_t byte = image.bytesPerPixel == 1 ? 0 : 2;
  for (int32_t y = 0; y < p.height; ++y) {
    const uint8_t* row = image.pixels + size_t(y + p.top) * size_t(image.stride);
    for (int32_t x = 0; x < p.width; ++x)
      p.v[size_t(y) * size_t(p.width) + size_t(x)] = row[size_t(x + p.left) * size_t(image.bytesPerPixel) + size_t(byte)];
  }
  return p;
}

// The threshold between the dark and the bright that best separates them
// (the largest variance between the two classes).
int OtsuThreshold(const Plane& p) {
  std::array<double, 256> hist{};
  for (uint8_t v : p.v) ++hist[v];
  double total = 0.0, sum = 0.0;
  for (int v = 0; v < 256; ++v) {
    total += hist[size_t(v)];
    sum += v * hist[size_t(v)];
  }
  double below = 0.0, below_sum = 0.0, best = -1.0;
  int threshold = 128;
  for (int t = 1; t < 256; ++t) {
    below += hist[size_t(t - 1)];
    below_sum += (t - 1) * hist[size_t(t - 1)];
    const double above = total - below;
    if (below == 0.0 || above == 0.0) continue;
    const double d = below_sum / below - (sum - below_sum) / above;
    const double between = below * above * d * d;
    if (between > best) {
      best = between;
      threshold = t;
    }
  }
  return threshold;
}

// A dark region of the thresholded plane.
struct Blob {
  double area = 0.0, sx = 0.0, sy = 0.0;
  int32_t minx = 0, maxx = 0, miny = 0, maxy = 0;
};

std::vector<Blob> DarkBlobs(const Plane& p, int threshold) {
  std::vector<uint8_t> seen(p.v.size(), 0);
  std::vector<Blob> blobs;
  std::vector<std::pair<int32_t, int32_t>> stack;
  for (int32_t y0 = 0; y0 < p.height; ++y0) {
    for (int32_t x0 = 0; x0 < p.width; ++x0) {
      const size_t i0 = size_t(y0) * size_t(p.width) + size_t(x0);
      if (seen[i0] || p.v[i0] >= threshold) continue;
      Blob b{0.0, 0.0, 0.0, x0, x0, y0, y0};
      seen[i0] = 1;
      stack.assign(1, {x0, y0});
      while (!stack.empty()) {
        const auto [x, y] = stack.back();
        stack.pop_back();
        b.area += 1.0;
        b.sx += x;
        b.sy += y;
        b.minx = std::min(b.minx, x);
        b.maxx = std::max(b.maxx, x);
        b.miny = std::min(b.miny, y);
        b.maxy = std::max(b.maxy, y);
        const std::array<std::pair<int32_t, int32_t>, 4> next{{{x - 1, y}, {x + 1, y}, {x, y - 1}, {x, y + 1}}};
        for (const auto& [nx, ny] : next) {
          if (nx < 0 || ny < 0 || nx >= p.width || ny >= p.height) continue;
          const size_t i = size_t(ny) * size_t(p.width) + size_t(nx);
          if (seen[i] || p.v[i] >= threshold) continue;
          seen[i] = 1;
          stack.push_back({nx, ny});
        }
      }
      blobs.push_back(b);
    }
  }
  return blobs;
}

// The first guess of the target: the largest dark blob shaped as an annulus
// of outer radius r around a bright centre (its area three quarters of its
// disc's), as centre and outer radius in image pixel-edge coordinates.
std::optional<qgCircle> FindTarget(const Plane& p, int threshold) {
  std::optional<qgCircle> best;
  double best_area = 0.0;
  for (const Blob& b : DarkBlobs(p, threshold)) {
    const double w = b.maxx - b.minx + 1.0, h = b.maxy - b.miny + 1.0, r = (w + h) / 4.0;
    if (r < kMinOuterRadius || std::abs(w - h) > 0.2 * std::max(w, h)) continue;
    const double cx = b.sx / b.area, cy = b.sy / b.area;
    if (std::abs(cx - (b.minx + b.maxx) / 2.0) > 0.1 * r || std::abs(cy - (b.miny + b.maxy) / 2.0) > 0.1 * r) continue;
    const int32_t ix = int32_t(std::lround(cx)), iy = int32_t(std::lround(cy));
    if (p.at(ix, iy) < threshold) continue; // no bright centre
    const double annulus = 0.75 * kPi * r * r;
    if (b.area < 0.7 * annulus || b.area > 1.3 * annulus || b.area <= best_area) continue;
    best_area = b.area;
    qgCircle c{};
    c.cx = p.left + cx + 0.5;
    c.cy = p.top + cy + 0.5;
    c.r = r;
    best = c;
  }
  return best;
}

// One rim by the circle gauge, started from `guess` and run again from its
// own answer; `reach` is how far a spoke may look either side of the rim
// without meeting the other one.
int32_t GaugeRim(const qgImage& image, qgCircle guess, double reach, int32_t polarity, qgCircle* out) {
  qgCircleGaugeParams g{};
  g.spokeWidth = 5.0;
  g.spokeLength = std::min(40.0, 2.0 * reach);
  qgCaliperDefaults(&g.caliper);
  g.caliper.polarity = polarity;
  qgFitDefaults(&g.fit);
  for (int pass = 0; pass < 2; ++pass) {
    g.cx = guess.cx;
    g.cy = guess.cy;
    g.r = guess.r;
    // Spokes side by side around the rim, no more.
    g.spokes = std::clamp(int32_t(2.0 * kPi * guess.r / (g.spokeWidth + 1.0)), 8, 720);
    const int32_t rc = qgCircleGauge(&image, &g, &guess, nullptr);
    if (rc != QG_OK) return rc;
  }
  *out = guess;
  return QG_OK;
}

RingRim RimOf(const qgCircle& c, double units) {
  RingRim rim;
  rim.circle = c;
  rim.units = units;
  rim.scale = 2.0 * c.r / units;
  rim.sigma = 2.0 * c.uR / units;
  return rim;
}

} // namespace

std::string FixedText(double v, int decimals) {
  char buffer[64];
  const auto r = std::to_chars(buffer, buffer + sizeof buffer, v, std::chars_format::fixed, decimals);
  return r.ec == std::errc() ? std::string(buffer, r.ptr) : std::string("?");
}

std::optional<RingCalibration> MeasureRing(const qgImage& image, RingSearchBox box, std::string* why) {
  if (image.pixels == nullptr || image.width <= 0 || image.height <= 0 ||
      (image.bytesPerPixel != 1 && image.bytesPerPixel != 3 && image.bytesPerPixel != 4) ||
      int64_t{image.stride} < int64_t{image.width} * image.bytesPerPixel) {
    *why = "no picture";
    return std::nullopt;
  }
  const Plane plane = PlaneOf(image, box);
  if (plane.v.empty()) {
    *why = "no picture";
    return std::nullopt;
  }
  const std::optional<qgCircle> target = FindTarget(plane, OtsuThreshold(plane));
  if (!target) {
    *why = "no ring target found";
    return std::nullopt;
  }
  // Spokes reach at most 0.3 of the outer radius either side of a rim: the
  // rims lie half the outer radius apart.
  const double reach = 0.3 * target->r;
  qgCircle outer{}, inner{};
  qgCircle inner_guess = *target;
  inner_guess.r = target->r / 2.0;
  if (GaugeRim(image, *target, reach, QG_POLARITY_DARK_TO_LIGHT, &outer) != QG_OK ||
      GaugeRim(image, inner_guess, reach, QG_POLARITY_LIGHT_TO_DARK, &inner) != QG_OK) {
    *why = "a rim of the ring target could not be gauged (too close to the picture's edge?)";
    return std::nullopt;
  }
  RingCalibration ring;
  ring.outer = RimOf(outer, kOuterUnits);
  ring.inner = RimOf(inner, kInnerUnits);
  const double wo = 1.0 / (ring.outer.sigma * ring.outer.sigma), wi = 1.0 / (ring.inner.sigma * ring.inner.sigma);
  if (std::isfinite(wo) && std::isfinite(wi) && wo > 0.0 && wi > 0.0) {
    ring.scale = (wo * ring.outer.scale + wi * ring.inner.scale) / (wo + wi);
    ring.sigma = 1.0 / std::sqrt(wo + wi);
  } else {
    ring.scale = ring.outer.scale;
    ring.sigma = ring.outer.sigma;
  }
  // Besides the noise, each rim may carry the gauge's own bias on a blurred
  // curved edge, up to about kGaugeBias in its radius.
  const double combined = std::sqrt(ring.outer.sigma * ring.outer.sigma + ring.inner.sigma * ring.inner.sigma +
                                    std::pow(2.0 * kGaugeBias / kOuterUnits, 2) +
                                    std::pow(2.0 * kGaugeBias / kInnerUnits, 2));
  ring.rims_agree = std::abs(ring.outer.scale - ring.inner.scale) <= 2.0 * combined;
  return ring;
}

std::string RingNote(const RingCalibration& ring) {
  std::string note = "outer " + FixedText(2.0 * ring.outer.circle.r, 3) + " px, inner " +
                     FixedText(2.0 * ring.inner.circle.r, 3) + " px";
  if (ring.rims_agree) return note + ", rims agree";
  const double gap = 100.0 * (ring.inner.scale / ring.outer.scale - 1.0);
  return note + ", rims disagree by " + FixedText(gap, 3) + " %";
}

} // namespace orvane
