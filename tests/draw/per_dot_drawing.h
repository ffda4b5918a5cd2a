#pragma once

// The overlay's lines and marks drawn dot by dot, as the station drew them
// before they were filled as spans: the reference that the span drawing must
// match byte for byte (tests/draw/overlay_test.cpp), and the "before" of the
// overlay benchmark. Kept as it was; do not speed it up.

#include <algorithm>
#include <cmath>
#include <cstdint>

#include "draw/overlay.h"

namespace orvane::per_dot {

inline bool TruncatedCoordinate(double value, int64_t* out) {
  if (!(value > -2147483648.0 && value < 4294967296.0)) return false;
  *out = static_cast<int64_t>(value);
  return true;
}

// A dot at a 64-bit position: out of the int32 range draws nothing, as the
// bounds check of the dot itself would have it.
inline void Dot(const OverlayCanvas& canvas, int64_t x, int64_t y, Rgb colour) {
  if (x < INT32_MIN || x > INT32_MAX || y < INT32_MIN || y > INT32_MAX) return;
  DrawDot(canvas, static_cast<int32_t>(x), static_cast<int32_t>(y), colour);
}

// The sum x += 0.02 up to its first value not below `limit`, whole runs of
// additions within one binary exponent at once.
inline double AdvanceLineWalk(double x, double limit) {
  constexpr double kLineStep = 0.02;
  constexpr int64_t kLowestUnits = int64_t{1} << 52;
  constexpr int64_t kTopUnits = int64_t{1} << 53;
  while (x < limit) {
    if (x < -4.0 || x >= 2.0) {
      int exponent;
      std::frexp(x, &exponent);
      const double u = std::ldexp(1.0, exponent - 53);
      const int64_t d = std::llround(kLineStep / u);
      if (x < 0.0) {
        const int64_t units = static_cast<int64_t>(-x / u);
        const int64_t room = units - kLowestUnits - d - 1;
        if (room >= 0) {
          x = -static_cast<double>(units - (room / d + 1) * d) * u;
          continue;
        }
      } else if (d > 0) {
        const int64_t units = static_cast<int64_t>(x / u);
        const int64_t room = (kTopUnits - 2 - units) / d;
        const double short_of_limit = std::floor((limit / u - static_cast<double>(units)) / d) - 1.0;
        const int64_t k = std::min<double>(static_cast<double>(room), short_of_limit) > 0.0
                              ? static_cast<int64_t>(std::min<double>(static_cast<double>(room),
                                                                      short_of_limit))
                              : 0;
        if (k > 0) {
          x = static_cast<double>(units + k * d) * u;
          continue;
        }
      }
    }
    x += kLineStep;
  }
  return x;
}

inline void Line(const OverlayCanvas& canvas, int32_t x1, int32_t y1, int32_t x2, int32_t y2,
                 Rgb colour) {
  if (x1 > x2) {
    std::swap(x1, x2);
    std::swap(y1, y2);
  }
  if (x1 == x2) {
    if (y1 > y2) std::swap(y1, y2);
    const int64_t first = std::max<int64_t>(y1, 0);
    const int64_t last = std::min<int64_t>(y2, canvas.height);
    for (int64_t y = first; y <= last; ++y) Dot(canvas, x1, y, colour);
    return;
  }
  if (canvas.pixels == nullptr) return;
  if (x2 < 2) return;
  const double m = (static_cast<double>(y2) - y1) / (static_cast<double>(x2) - x1);
  const double x_end = static_cast<double>(canvas.width) - 2.0;
  double first = 2.0;
  double last = x2;
  if (m == 0.0) {
    if (y1 < 2 || int64_t{y1} >= int64_t{canvas.height} - 2) return;
  } else {
    const double a = x1 + (1.0 - y1) / m;
    const double b = x1 + (static_cast<double>(canvas.height) - 1.0 - y1) / m;
    first = std::max(first, std::min(a, b) - 1.0);
    last = std::min(last, std::max(a, b) + 1.0);
  }
  int64_t last_x = -1, last_y = -1;
  for (double x = AdvanceLineWalk(x1, first); x <= last && x < x_end; x += 0.02) {
    int64_t py;
    if (!TruncatedCoordinate(y1 + (x - x1) * m, &py)) continue;
    const int64_t px = static_cast<int64_t>(x);
    if (px == last_x && py == last_y) continue;
    last_x = px;
    last_y = py;
    Dot(canvas, px, py, colour);
  }
}

inline void Arc(const OverlayCanvas& canvas, int32_t cx, int32_t cy, double radius, double start,
                double end, double step, Rgb colour) {
  const double reach = std::fabs(radius) + 2.0;
  if (!(reach < 1e18)) return;
  if (cx + reach < 0.0 || cx - reach > canvas.width || cy + reach < 0.0 ||
      cy - reach > canvas.height) {
    return;
  }
  for (double a = start; a <= end;) {
    int64_t px, py;
    if (TruncatedCoordinate(cx + radius * std::cos(a), &px) &&
        TruncatedCoordinate(cy - radius * std::sin(a), &py)) {
      Dot(canvas, px, py, colour);
    }
    const double next = a + step;
    if (!(next > a)) break;
    a = next;
  }
}

// One full turn of the marks: single-precision 6.28 and 0.01 widened to double.
inline constexpr double kMarkArcEnd = 6.28000020980835;
inline constexpr double kMarkArcStep = 0.009999999776482582;

inline void RingMark(const OverlayCanvas& canvas, int32_t x, int32_t y, Rgb colour) {
  for (double radius : {5.0, 6.0, 7.0}) Arc(canvas, x, y, radius, 0.0, kMarkArcEnd, kMarkArcStep, colour);
}

inline void TargetMark(const OverlayCanvas& canvas, int32_t x, int32_t y, Rgb colour) {
  Arc(canvas, x, y, 12.0, 0.0, kMarkArcEnd, kMarkArcStep, colour);
  Arc(canvas, x, y, 11.0, 0.0, kMarkArcEnd, kMarkArcStep, colour);
  const int64_t cx = x, cy = y;
  for (int64_t v = cy - 7; v <= cy + 6; ++v) {
    Dot(canvas, cx - 1, v, colour);
    Dot(canvas, cx, v, colour);
    Dot(canvas, cx + 1, v, colour);
  }
  for (int64_t u = cx - 7; u <= cx + 6; ++u) {
    Dot(canvas, u, cy - 1, colour);
    Dot(canvas, u, cy, colour);
    Dot(canvas, u, cy + 1, colour);
  }
}

}  // namespace orvane::per_dot
