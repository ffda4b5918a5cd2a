#include "platform/video/virtual_lens.h"

#include <charconv>
#include <cmath>
#include <numbers>
#include <string>

namespace orvane::video {
namespace {

struct Geometry {
  double f, cx, cy, cos_t, sin_t, tan_t;
};

Geometry GeometryOf(const VirtualLens& lens, uint32_t w, uint32_t h) {
  const double t = lens.tilt_degrees * std::numbers::pi / 180.0;
  return {lens.focal > 0.0 ? lens.focal : double(w), (w - 1.0) / 2.0, (h - 1.0) / 2.0, std::cos(t), std::sin(t),
          std::tan(t)};
}

void Distort(const VirtualLens& l, double x, double y, double* xd, double* yd) {
  const double r2 = x * x + y * y;
  const double radial = 1.0 + r2 * (l.k1 + r2 * (l.k2 + r2 * l.k3));
  *xd = x * radial + 2.0 * l.p1 * x * y + l.p2 * (r2 + 2.0 * x * x);
  *yd = y * radial + l.p1 * (r2 + 2.0 * y * y) + 2.0 * l.p2 * x * y;
}

} // namespace

bool ParseVirtualLens(std::string_view text, VirtualLens* out) {
  VirtualLens lens;
  while (!text.empty()) {
    const size_t comma = text.find(',');
    const std::string_view entry = text.substr(0, comma);
    if (comma + 1 == text.size()) return false; // a comma ends the text
    text = comma == std::string_view::npos ? std::string_view{} : text.substr(comma + 1);
    const size_t eq = entry.find('=');
    if (eq == std::string_view::npos) return false;
    const std::string_view key = entry.substr(0, eq), value = entry.substr(eq + 1);
    double v = 0.0;
    const auto [end, ec] = std::from_chars(value.data(), value.data() + value.size(), v);
    if (value.empty() || ec != std::errc() || end != value.data() + value.size() || !std::isfinite(v)) return false;
    if (key == "k1") {
      lens.k1 = v;
    } else if (key == "k2") {
      lens.k2 = v;
    } else if (key == "k3") {
      lens.k3 = v;
    } else if (key == "p1") {
      lens.p1 = v;
    } else if (key == "p2") {
      lens.p2 = v;
    } else if (key == "tilt" && std::abs(v) <= 60.0) {
      lens.tilt_degrees = v;
    } else if (key == "focal" && v >= 0.0) {
      lens.focal = v;
    } else {
      return false;
    }
  }
  *out = lens;
  return true;
}

bool IsPlainLens(const VirtualLens& l) {
  return l.k1 == 0.0 && l.k2 == 0.0 && l.k3 == 0.0 && l.p1 == 0.0 && l.p2 == 0.0 && l.tilt_degrees == 0.0;
}

void LensForward(const VirtualLens& lens, uint32_t w, uint32_t h, double sx, double sy, double* u, double* v) {
  const Geometry g = GeometryOf(lens, w, h);
  // The plane turns about its horizontal centre line, the top edge away.
  const double px = sx - g.cx, py = sy - g.cy;
  const double X = px, Y = py * g.cos_t, Z = g.f - py * g.sin_t;
  double xd = 0.0, yd = 0.0;
  Distort(lens, X / Z, Y / Z, &xd, &yd);
  *u = g.f * xd + g.cx;
  *v = g.f * yd + g.cy;
}

bool LensBackward(const VirtualLens& lens, uint32_t w, uint32_t h, double u, double v, double* sx, double* sy) {
  const Geometry g = GeometryOf(lens, w, h);
  const double xd = (u - g.cx) / g.f, yd = (v - g.cy) / g.f;
  double x = xd, y = yd;
  for (int i = 0; i < 30; ++i) {
    const double r2 = x * x + y * y;
    const double radial = 1.0 + r2 * (lens.k1 + r2 * (lens.k2 + r2 * lens.k3));
    if (radial <= 0.0) return false;
    x = (xd - 2.0 * lens.p1 * x * y - lens.p2 * (r2 + 2.0 * x * x)) / radial;
    y = (yd - lens.p1 * (r2 + 2.0 * y * y) - 2.0 * lens.p2 * x * y) / radial;
  }
  // The ray s * (x, y, 1) meets the plane at Z = f - py sin t, Y = py cos t.
  const double denominator = g.cos_t + y * g.sin_t;
  if (!(std::abs(denominator) > 1e-12)) return false;
  const double py = g.f * y / denominator;
  const double s = g.f - py * g.sin_t;
  if (!(s > 0.0)) return false;
  *sx = s * x + g.cx;
  *sy = py + g.cy;
  return true;
}

void RenderThroughLens(const VirtualLens& lens, uint32_t width, uint32_t height,
                       const std::function<uint8_t(double, double)>& scene, uint8_t background, Picture* out) {
  constexpr int kSteps = 4;
  const auto grey_at = [&](double u, double v) {
    double sx = 0.0, sy = 0.0;
    return LensBackward(lens, width, height, u, v, &sx, &sy) ? scene(sx, sy) : background;
  };
  // The grey at every pixel corner; a pixel whose four corners agree lies
  // inside one shape (the scenes' shapes are many pixels across) and needs
  // no more samples.
  std::vector<uint8_t> corners(size_t{width + 1} * (height + 1));
  for (uint32_t y = 0; y <= height; ++y) {
    for (uint32_t x = 0; x <= width; ++x) corners[size_t{y} * (width + 1) + x] = grey_at(x - 0.5, y - 0.5);
  }
  out->width = width;
  out->height = height;
  out->bgrx.assign(size_t{width} * height * 4, 0);
  for (uint32_t y = 0; y < height; ++y) {
    for (uint32_t x = 0; x < width; ++x) {
      const uint8_t* top = corners.data() + size_t{y} * (width + 1) + x;
      const uint8_t* bottom = top + width + 1;
      uint8_t grey = top[0];
      if (top[1] != grey || bottom[0] != grey || bottom[1] != grey) {
        int sum = 0;
        for (int j = 0; j < kSteps; ++j) {
          for (int i = 0; i < kSteps; ++i) sum += grey_at(x - 0.5 + (i + 0.5) / kSteps, y - 0.5 + (j + 0.5) / kSteps);
        }
        grey = static_cast<uint8_t>((sum + kSteps * kSteps / 2) / (kSteps * kSteps));
      }
      uint8_t* px = out->bgrx.data() + (size_t{y} * width + x) * 4;
      px[0] = px[1] = px[2] = grey;
    }
  }
}

} // namespace orvane::video
