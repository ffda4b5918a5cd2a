// A chessboard rendered with exact area sampling, turned and placed off the
// pixel grid, and where its inner corners truly lie: for checking how
// precisely a search finds them. Header-only, for tests and benchmarks alike.
#pragma once

#include <cmath>
#include <cstdint>
#include <vector>

namespace orvane::testing {

struct RenderedBoard {
  uint32_t width = 0, height = 0;
  std::vector<uint8_t> bgrx;    // B, G, R, x; rows top-down
  std::vector<double> corner_x; // the inner corners, pixel centres counting from 0
  std::vector<double> corner_y;
};

// A board of (rows + 1) x (cols + 1) squares of `side` pixels, centred at
// (cx, cy), turned by `degrees`; dark squares 30, light 220, the ground 200.
// Each pixel is the mean of 4 x 4 samples.
inline RenderedBoard RenderChessboard(uint32_t width, uint32_t height, uint32_t rows, uint32_t cols, double side,
                                      double cx, double cy, double degrees) {
  RenderedBoard b;
  b.width = width;
  b.height = height;
  b.bgrx.assign(size_t{width} * height * 4, 0);
  const double a = degrees * 3.14159265358979323846 / 180.0, c = std::cos(a), s = std::sin(a);
  const double half_w = (cols + 1) * side / 2.0, half_h = (rows + 1) * side / 2.0;
  const auto shade = [&](double x, double y) {
    // Board coordinates of the picture point, from the board's top-left corner.
    const double u = c * (x - cx) + s * (y - cy) + half_w, v = -s * (x - cx) + c * (y - cy) + half_h;
    if (u < 0 || v < 0 || u >= 2 * half_w || v >= 2 * half_h) return 200.0;
    return (static_cast<int>(u / side) + static_cast<int>(v / side)) % 2 == 0 ? 30.0 : 220.0;
  };
  for (uint32_t y = 0; y < height; ++y) {
    for (uint32_t x = 0; x < width; ++x) {
      double sum = 0;
      for (int k = 0; k < 16; ++k) sum += shade(x - 0.5 + (k % 4 + 0.5) / 4, y - 0.5 + (k / 4 + 0.5) / 4);
      const auto grey = static_cast<uint8_t>(std::lround(sum / 16));
      for (int ch = 0; ch < 3; ++ch) b.bgrx[(size_t{y} * width + x) * 4 + ch] = grey;
    }
  }
  for (uint32_t r = 1; r <= rows; ++r) {
    for (uint32_t k = 1; k <= cols; ++k) {
      const double u = k * side - half_w, v = r * side - half_h;
      b.corner_x.push_back(cx + c * u - s * v);
      b.corner_y.push_back(cy + s * u + c * v);
    }
  }
  return b;
}

} // namespace orvane::testing
