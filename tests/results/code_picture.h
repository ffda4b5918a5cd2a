// Pictures of a code drawn for the part-code reader's tests and benchmark: a
// grey picture with mild noise, the code's modules `module` pixels wide,
// centred at (cx, cy) and turned by `degrees` (nearest module, sampled back
// from each pixel, so any angle draws a true picture of the turned code).
#pragma once

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <random>
#include <string>
#include <vector>

#include <ZXing/BitMatrix.h>
#include <ZXing/MultiFormatWriter.h>

namespace orvane::test {

struct CodePicture {
  uint32_t width = 0, height = 0;
  std::vector<uint8_t> bgr;
};

// Draws the code (with its light margin) over a picture of 3 bytes a pixel,
// `width` * 3 bytes a row; the pixels around it are left as they are.
inline void StampCode(uint8_t* bgr, uint32_t width, uint32_t height, ZXing::BarcodeFormat format,
                      const std::string& text, double module, double degrees, double cx, double cy,
                      uint32_t seed = 7) {
  const bool linear = format == ZXing::BarcodeFormat::Code128;
  const ZXing::BitMatrix m = ZXing::MultiFormatWriter(format).setMargin(linear ? 10 : 2).encode(text, 0, 0);
  std::mt19937 rng(seed);
  std::uniform_int_distribution<int> noise(-6, 6);
  // Bars of a linear code are drawn tall.
  const double rows = linear ? 40.0 : m.height();
  const double c = std::cos(degrees * M_PI / 180), s = std::sin(degrees * M_PI / 180);
  for (uint32_t y = 0; y < height; ++y) {
    for (uint32_t x = 0; x < width; ++x) {
      const double dx = x + 0.5 - cx, dy = y + 0.5 - cy;
      const double u = (c * dx + s * dy) / module + m.width() / 2.0;
      const double v = (-s * dx + c * dy) / module + rows / 2.0;
      if (u < 0 || v < 0 || u >= m.width() || v >= rows) continue;
      const int level = m.get(int(u), linear ? 0 : int(v)) ? 30 : 225;
      const uint8_t g = static_cast<uint8_t>(std::clamp(level + noise(rng), 0, 255));
      for (int k = 0; k < 3; ++k) bgr[(size_t{y} * width + x) * 3 + k] = g;
    }
  }
}

inline CodePicture DrawCode(ZXing::BarcodeFormat format, const std::string& text, double module, double degrees,
                            double cx, double cy, uint32_t width = 640, uint32_t height = 480) {
  CodePicture p{width, height, std::vector<uint8_t>(size_t{width} * height * 3)};
  std::mt19937 rng(11);
  std::uniform_int_distribution<int> noise(-6, 6);
  for (uint8_t* px = p.bgr.data(); px < p.bgr.data() + p.bgr.size(); px += 3) {
    px[0] = px[1] = px[2] = static_cast<uint8_t>(200 + noise(rng));
  }
  StampCode(p.bgr.data(), width, height, format, text, module, degrees, cx, cy);
  return p;
}

// A dark disc and a bright bar on the picture: a part's outline, edges that
// are no code.
inline void DrawPartOutline(CodePicture& p, double cx, double cy, double radius) {
  for (uint32_t y = 0; y < p.height; ++y) {
    for (uint32_t x = 0; x < p.width; ++x) {
      const double dx = x + 0.5 - cx, dy = y + 0.5 - cy;
      int level = -1;
      if (dx * dx + dy * dy < radius * radius) level = 60;
      if (std::abs(dy - radius * 1.4) < radius * 0.2 && std::abs(dx) < radius * 1.5) level = 240;
      if (level < 0) continue;
      for (int k = 0; k < 3; ++k) p.bgr[(size_t{y} * p.width + x) * 3 + k] = uint8_t(level + (x * 7 + y * 13) % 5);
    }
  }
}

} // namespace orvane::test
