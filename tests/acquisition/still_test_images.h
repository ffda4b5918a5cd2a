// Small BMP files built in code for the still-image tests, and the picture
// they hold: pixel (x, y), y from the top, is B = 7x + y, G = 13y + 1,
// R = 5(x + y) + 3 (all modulo 256).
#pragma once

#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <vector>

#include "station/image_state.h"

namespace orvane::testing {

inline uint8_t PatternB(uint32_t x, uint32_t y) { return uint8_t(x * 7 + y); }
inline uint8_t PatternG(uint32_t, uint32_t y) { return uint8_t(y * 13 + 1); }
inline uint8_t PatternR(uint32_t x, uint32_t y) { return uint8_t((x + y) * 5 + 3); }

inline void Put16(std::vector<uint8_t>& b, size_t at, uint16_t v) { std::memcpy(&b[at], &v, 2); }
inline void Put32(std::vector<uint8_t>& b, size_t at, uint32_t v) { std::memcpy(&b[at], &v, 4); }

// A BMP file with a 40-byte information header holding the pattern; rows are
// bottom-up for a positive height. Padding bytes of 24-bit rows are 0xAB and
// the fourth byte of 32-bit pixels 0xCD, so a reader that takes them for
// pixels shows it.
inline std::vector<uint8_t> MakeBmp(int32_t width, int32_t height, uint16_t bits) {
  const uint32_t w = uint32_t(std::abs(width)), h = uint32_t(std::abs(height));
  const uint32_t row = bits == 24 ? (w * 3 + 3) / 4 * 4 : w * 4;
  std::vector<uint8_t> b(54 + size_t(row) * h, 0);
  b[0] = 'B';
  b[1] = 'M';
  Put32(b, 2, uint32_t(b.size()));
  Put32(b, 10, 54);
  Put32(b, 14, 40);
  Put32(b, 18, uint32_t(width));
  Put32(b, 22, uint32_t(height));
  Put16(b, 26, 1);
  Put16(b, 28, bits);
  for (uint32_t file_row = 0; file_row < h; ++file_row) {
    const uint32_t y = height > 0 ? h - 1 - file_row : file_row;
    uint8_t* p = &b[54 + size_t(file_row) * row];
    std::memset(p, 0xAB, row);
    for (uint32_t x = 0; x < w; ++x, p += bits / 8) {
      p[0] = PatternB(x, y);
      p[1] = PatternG(x, y);
      p[2] = PatternR(x, y);
      if (bits == 32) p[3] = 0xCD;
    }
  }
  return b;
}

// True when the image's frame holds the pattern (padding not looked at).
inline bool FrameHoldsPattern(const ImageState& im) {
  if (im.frame == nullptr) return false;
  for (uint32_t y = 0; y < im.height; ++y) {
    for (uint32_t x = 0; x < im.width; ++x) {
      const uint8_t* p = im.frame + size_t(y) * im.stride + x * 3;
      if (p[0] != PatternB(x, y) || p[1] != PatternG(x, y) || p[2] != PatternR(x, y)) return false;
    }
  }
  return true;
}

} // namespace orvane::testing
