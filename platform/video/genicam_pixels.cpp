#include "platform/video/genicam_pixels.h"

#include <algorithm>
#include <cstring>

namespace orvane::video {
namespace {

struct FormatInfo {
  GenicamFormat code;
  const char* name;
  uint32_t bits;         // in the camera's buffer
  uint32_t significant;  // bits of a value: the 8 highest are kept
  bool bayer;
  uint32_t red_x, red_y; // where red sits in the 2 x 2 cell
};

constexpr FormatInfo kFormats[] = {
    {GenicamFormat::Mono8, "Mono8", 8, 8, false, 0, 0},
    {GenicamFormat::Mono10, "Mono10", 16, 10, false, 0, 0},
    {GenicamFormat::Mono12, "Mono12", 16, 12, false, 0, 0},
    {GenicamFormat::Mono16, "Mono16", 16, 16, false, 0, 0},
    {GenicamFormat::BayerGR8, "BayerGR8", 8, 8, true, 1, 0},
    {GenicamFormat::BayerRG8, "BayerRG8", 8, 8, true, 0, 0},
    {GenicamFormat::BayerGB8, "BayerGB8", 8, 8, true, 0, 1},
    {GenicamFormat::BayerBG8, "BayerBG8", 8, 8, true, 1, 1},
    {GenicamFormat::Rgb8, "RGB8", 24, 8, false, 0, 0},
    {GenicamFormat::Bgr8, "BGR8", 24, 8, false, 0, 0},
};

const FormatInfo* Find(uint32_t code) {
  for (const FormatInfo& f : kFormats) {
    if (static_cast<uint32_t>(f.code) == code) return &f;
  }
  return nullptr;
}

// 0 blue, 1 green, 2 red: the colour the filter lets through at (x, y).
int BayerColour(const FormatInfo& f, uint32_t x, uint32_t y) {
  const uint32_t cx = x & 1, cy = y & 1;
  if (cx == f.red_x && cy == f.red_y) return 2;
  if (cx != f.red_x && cy != f.red_y) return 0;
  return 1;
}

// One pixel by the definition: its own colour as it is, each other colour
// the rounded mean of that colour's pixels in the 3 x 3 neighbourhood.
void BayerPixel(const FormatInfo& f, const uint8_t* src, uint32_t w, uint32_t h, uint32_t x, uint32_t y,
                uint8_t* out) {
  uint32_t sum[3] = {}, count[3] = {};
  for (uint32_t yy = y > 0 ? y - 1 : 0; yy <= std::min(y + 1, h - 1); ++yy) {
    for (uint32_t xx = x > 0 ? x - 1 : 0; xx <= std::min(x + 1, w - 1); ++xx) {
      const int c = BayerColour(f, xx, yy);
      sum[c] += src[size_t{yy} * w + xx];
      ++count[c];
    }
  }
  const int own = BayerColour(f, x, y);
  for (int c = 0; c < 3; ++c) {
    // A picture one pixel wide or high may lack a colour altogether: 0.
    if (c == own) {
      out[c] = src[size_t{y} * w + x];
    } else {
      out[c] = count[c] == 0 ? 0 : static_cast<uint8_t>((sum[c] + count[c] / 2) / count[c]);
    }
  }
  out[3] = 0;
}

uint8_t Wide(const uint8_t* p, uint32_t significant) {
  const uint32_t v = uint32_t(p[0]) | uint32_t(p[1]) << 8;
  return static_cast<uint8_t>(std::min<uint32_t>(v >> (significant - 8), 255));
}

// The interior of a Bayer picture, two or four neighbours a colour; the
// border by the definition.
void DemosaicBayer(const FormatInfo& f, const uint8_t* src, uint32_t w, uint32_t h, uint8_t* bgrx) {
  auto at = [&](uint32_t x, uint32_t y) { return uint32_t(src[size_t{y} * w + x]); };
  for (uint32_t y = 0; y < h; ++y) {
    uint8_t* row = bgrx + size_t{y} * w * 4;
    const bool border_row = y == 0 || y + 1 >= h;
    for (uint32_t x = 0; x < w; ++x) {
      uint8_t* out = row + size_t{x} * 4;
      if (border_row || x == 0 || x + 1 >= w) {
        BayerPixel(f, src, w, h, x, y, out);
        continue;
      }
      const uint32_t centre = at(x, y);
      const uint32_t cross = at(x - 1, y) + at(x + 1, y) + at(x, y - 1) + at(x, y + 1);
      const uint32_t corners = at(x - 1, y - 1) + at(x + 1, y - 1) + at(x - 1, y + 1) + at(x + 1, y + 1);
      const uint32_t across = at(x - 1, y) + at(x + 1, y);
      const uint32_t upright = at(x, y - 1) + at(x, y + 1);
      const int own = BayerColour(f, x, y);
      out[3] = 0;
      if (own != 1) {
        out[own] = static_cast<uint8_t>(centre);
        out[1] = static_cast<uint8_t>((cross + 2) / 4);
        out[2 - own] = static_cast<uint8_t>((corners + 2) / 4);
        continue;
      }
      // Green: the row's other colour left and right, the column's above and below.
      const int row_colour = (y & 1) == f.red_y ? 2 : 0;
      out[1] = static_cast<uint8_t>(centre);
      out[row_colour] = static_cast<uint8_t>((across + 1) / 2);
      out[2 - row_colour] = static_cast<uint8_t>((upright + 1) / 2);
    }
  }
}

} // namespace

bool IsGenicamFormat(uint32_t code) { return Find(code) != nullptr; }

uint32_t GenicamBits(uint32_t code) {
  const FormatInfo* f = Find(code);
  return f ? f->bits : 0;
}

std::string_view GenicamFormatName(uint32_t code) {
  const FormatInfo* f = Find(code);
  return f ? f->name : "";
}

size_t GenicamImageBytes(uint32_t code, uint32_t width, uint32_t height) {
  return size_t{width} * height * GenicamBits(code) / 8;
}

bool GenicamToBgrx(uint32_t code, const uint8_t* src, size_t bytes, uint32_t w, uint32_t h, uint8_t* bgrx) {
  const FormatInfo* f = Find(code);
  if (f == nullptr || w == 0 || h == 0 || bytes < GenicamImageBytes(code, w, h)) return false;
  const size_t pixels = size_t{w} * h;
  if (f->bayer) {
    DemosaicBayer(*f, src, w, h, bgrx);
  } else if (f->code == GenicamFormat::Mono8) {
    for (size_t i = 0; i < pixels; ++i) {
      const uint8_t v = src[i];
      uint8_t* o = bgrx + i * 4;
      o[0] = o[1] = o[2] = v;
      o[3] = 0;
    }
  } else if (f->bits == 16) {
    for (size_t i = 0; i < pixels; ++i) {
      const uint8_t v = Wide(src + i * 2, f->significant);
      uint8_t* o = bgrx + i * 4;
      o[0] = o[1] = o[2] = v;
      o[3] = 0;
    }
  } else {
    const bool rgb = f->code == GenicamFormat::Rgb8;
    for (size_t i = 0; i < pixels; ++i) {
      const uint8_t* s = src + i * 3;
      uint8_t* o = bgrx + i * 4;
      o[0] = rgb ? s[2] : s[0];
      o[1] = s[1];
      o[2] = rgb ? s[0] : s[2];
      o[3] = 0;
    }
  }
  return true;
}

bool GenicamToBgrxReference(uint32_t code, const uint8_t* src, size_t bytes, uint32_t w, uint32_t h,
                            uint8_t* bgrx) {
  const FormatInfo* f = Find(code);
  if (f == nullptr || w == 0 || h == 0 || bytes < GenicamImageBytes(code, w, h)) return false;
  for (uint32_t y = 0; y < h; ++y) {
    for (uint32_t x = 0; x < w; ++x) {
      const size_t i = size_t{y} * w + x;
      uint8_t* o = bgrx + i * 4;
      if (f->bayer) {
        BayerPixel(*f, src, w, h, x, y, o);
        continue;
      }
      uint8_t b, g, r;
      if (f->bits == 8) {
        b = g = r = src[i];
      } else if (f->bits == 16) {
        const uint32_t v = src[i * 2] + 256u * src[i * 2 + 1];
        b = g = r = static_cast<uint8_t>(std::min<uint32_t>(v >> (f->significant - 8), 255));
      } else {
        const uint8_t* s = src + i * 3;
        const bool rgb = f->code == GenicamFormat::Rgb8;
        r = rgb ? s[0] : s[2];
        g = s[1];
        b = rgb ? s[2] : s[0];
      }
      o[0] = b;
      o[1] = g;
      o[2] = r;
      o[3] = 0;
    }
  }
  return true;
}

} // namespace orvane::video
