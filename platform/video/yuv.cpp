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

#if defined(__x86_64__) || defined(__i386__)
#include <immintrin.h>
#define ORVANE_YUV_SIMD 1
#endif

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

#if ORVANE_YUV_SIMD
// Eight pixels (16 bytes of YUYV) to eight B, G, R, x pixels in two
// registers, with the same 32-bit arithmetic as the plain loop, so both give
// identical bytes.
__attribute__((target("sse2"))) inline void EightPixels(const uint8_t* in, __m128i* lo, __m128i* hi) {
  const __m128i v = _mm_loadu_si128(reinterpret_cast<const __m128i*>(in));
  const __m128i c = _mm_sub_epi16(_mm_and_si128(v, _mm_set1_epi16(0xFF)), _mm_set1_epi16(16));
  const __m128i de = _mm_sub_epi16(_mm_srli_epi16(v, 8), _mm_set1_epi16(128));
  const __m128i one = _mm_set1_epi16(1);
  const __m128i ycoef = _mm_set1_epi32(298 | (128 << 16));
  const __m128i y_lo = _mm_madd_epi16(_mm_unpacklo_epi16(c, one), ycoef);
  const __m128i y_hi = _mm_madd_epi16(_mm_unpackhi_epi16(c, one), ycoef);
  const __m128i rc = _mm_madd_epi16(de, _mm_set1_epi32(0 | (409 << 16)));
  const __m128i gc = _mm_madd_epi16(de, _mm_set1_epi32(int32_t(uint16_t(-100)) | (-208 * 65536)));
  const __m128i bc = _mm_madd_epi16(de, _mm_set1_epi32(516));
  auto channel = [&](__m128i chroma) {
    const __m128i a = _mm_srai_epi32(_mm_add_epi32(y_lo, _mm_shuffle_epi32(chroma, _MM_SHUFFLE(1, 1, 0, 0))), 8);
    const __m128i b = _mm_srai_epi32(_mm_add_epi32(y_hi, _mm_shuffle_epi32(chroma, _MM_SHUFFLE(3, 3, 2, 2))), 8);
    return _mm_packs_epi32(a, b);
  };
  const __m128i bg8 = _mm_packus_epi16(channel(bc), channel(gc));
  const __m128i r16 = channel(rc);
  const __m128i r8 = _mm_packus_epi16(r16, r16);
  const __m128i bg = _mm_unpacklo_epi8(bg8, _mm_srli_si128(bg8, 8));
  const __m128i rz = _mm_unpacklo_epi8(r8, _mm_setzero_si128());
  *lo = _mm_unpacklo_epi16(bg, rz);
  *hi = _mm_unpackhi_epi16(bg, rz);
}

__attribute__((target("sse2"))) void YuyvToBgrxSimd(const uint8_t* in, uint8_t* out, size_t pixels) {
  size_t i = 0;
  for (; i + 8 <= pixels; i += 8) {
    __m128i lo, hi;
    EightPixels(in + 2 * i, &lo, &hi);
    _mm_storeu_si128(reinterpret_cast<__m128i*>(out + 4 * i), lo);
    _mm_storeu_si128(reinterpret_cast<__m128i*>(out + 4 * i + 16), hi);
  }
  ConvertYuyv<4>(in + 2 * i, out + 4 * i, pixels - i);
}

__attribute__((target("ssse3"))) void YuyvToBgrSimd(const uint8_t* in, uint8_t* out, size_t pixels) {
  const __m128i drop_x = _mm_setr_epi8(0, 1, 2, 4, 5, 6, 8, 9, 10, 12, 13, 14, -1, -1, -1, -1);
  size_t i = 0;
  // Each 16-byte store writes 4 bytes past its 12; the next store covers
  // them, and the last blocks are left to the plain loop so nothing spills.
  for (; i + 16 <= pixels; i += 8) {
    __m128i lo, hi;
    EightPixels(in + 2 * i, &lo, &hi);
    _mm_storeu_si128(reinterpret_cast<__m128i*>(out + 3 * i), _mm_shuffle_epi8(lo, drop_x));
    _mm_storeu_si128(reinterpret_cast<__m128i*>(out + 3 * i + 12), _mm_shuffle_epi8(hi, drop_x));
  }
  ConvertYuyv<3>(in + 2 * i, out + 3 * i, pixels - i);
}
#endif

} // namespace

void YuyvToBgrx(const uint8_t* yuyv, uint8_t* bgrx, size_t pixels) {
#if ORVANE_YUV_SIMD
  YuyvToBgrxSimd(yuyv, bgrx, pixels);
#else
  ConvertYuyv<4>(yuyv, bgrx, pixels);
#endif
}

void YuyvToBgr(const uint8_t* yuyv, uint8_t* bgr, size_t pixels) {
#if ORVANE_YUV_SIMD
  static const bool ssse3 = __builtin_cpu_supports("ssse3");
  if (ssse3) {
    YuyvToBgrSimd(yuyv, bgr, pixels);
    return;
  }
#endif
  ConvertYuyv<3>(yuyv, bgr, pixels);
}

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
