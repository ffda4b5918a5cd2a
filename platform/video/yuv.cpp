// Conversions of the camera's pixel formats into B, G, R (x). YUYV uses the
// BT.601 limited-range matrix in 8-bit fixed point:
//   C = Y - 16, D = U - 128, E = V - 128
//   R = (298 C + 409 E + 128) >> 8
//   G = (298 C - 100 D - 208 E + 128) >> 8
//   B = (298 C + 516 D + 128) >> 8, each clamped to 0..255.
#include <algorithm>
#include <cstddef>
#include <cstdint>

#include "platform/video/v4l2_camera.h"

namespace orvane::video {
namespace {

inline uint8_t Clamp(int v) { return static_cast<uint8_t>(std::clamp(v, 0, 255)); }

template <size_t Step>
inline void ConvertYuyv(const uint8_t* in, uint8_t* out, size_t pixels) {
  const size_t pairs = pixels / 2;
  for (size_t i = 0; i < pairs; ++i) {
    const uint8_t* p = in + 4 * i;
    uint8_t* q = out + 2 * Step * i;
    const int d = p[1] - 128, e = p[3] - 128;
    const int r = 409 * e + 128;
    const int g = -100 * d - 208 * e + 128;
    const int b = 516 * d + 128;
    const int c0 = 298 * (p[0] - 16), c1 = 298 * (p[2] - 16);
    q[0] = Clamp((c0 + b) >> 8);
    q[1] = Clamp((c0 + g) >> 8);
    q[2] = Clamp((c0 + r) >> 8);
    q[Step] = Clamp((c1 + b) >> 8);
    q[Step + 1] = Clamp((c1 + g) >> 8);
    q[Step + 2] = Clamp((c1 + r) >> 8);
    if constexpr (Step == 4) {
      q[3] = 0;
      q[7] = 0;
    }
  }
}

} // namespace

void YuyvToBgrx(const uint8_t* yuyv, uint8_t* bgrx, size_t pixels) { ConvertYuyv<4>(yuyv, bgrx, pixels); }

void YuyvToBgr(const uint8_t* yuyv, uint8_t* bgr, size_t pixels) { ConvertYuyv<3>(yuyv, bgr, pixels); }

void Bgr24ToBgrx(const uint8_t* bgr, uint8_t* bgrx, size_t pixels) {
  for (size_t i = 0; i < pixels; ++i) {
    bgrx[4 * i] = bgr[3 * i];
    bgrx[4 * i + 1] = bgr[3 * i + 1];
    bgrx[4 * i + 2] = bgr[3 * i + 2];
    bgrx[4 * i + 3] = 0;
  }
}

void Rgb24ToBgrx(const uint8_t* rgb, uint8_t* bgrx, size_t pixels) {
  for (size_t i = 0; i < pixels; ++i) {
    bgrx[4 * i] = rgb[3 * i + 2];
    bgrx[4 * i + 1] = rgb[3 * i + 1];
    bgrx[4 * i + 2] = rgb[3 * i];
    bgrx[4 * i + 3] = 0;
  }
}

} // namespace orvane::video
