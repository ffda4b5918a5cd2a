#include "acquisition/pixels.h"

#include <algorithm>
#include <array>
#include <cstring>

#if defined(__x86_64__)
#include <immintrin.h>
#endif

namespace orvane {
namespace {

constexpr size_t kSnapshotHeader = 40;
// From this size on the display is written with streaming stores.
constexpr size_t kStreamingBytes = size_t{1} << 20;

// (B + G + R) / 3 for every possible sum, so mode 4 needs no division.
constexpr std::array<uint8_t, 766> kThirds = [] {
  std::array<uint8_t, 766> t{};
  for (size_t s = 0; s < t.size(); ++s) t[s] = static_cast<uint8_t>(s / 3);
  return t;
}();

uint32_t ReadU32(const uint8_t* p) {
  return uint32_t(p[0]) | uint32_t(p[1]) << 8 | uint32_t(p[2]) << 16 | uint32_t(p[3]) << 24;
}

void Fill3(uint8_t* p, uint8_t v) { p[0] = p[1] = p[2] = v; }

#if defined(__x86_64__)
// Sixteen pixels a step: four 16-byte loads, the fourth bytes squeezed out,
// three 16-byte stores. Returns how many pixels it did; never writes past
// n pixels.
__attribute__((target("ssse3"))) size_t DropFourthSsse3(const uint8_t* src, uint8_t* dst, size_t n) {
  const __m128i squeeze = _mm_setr_epi8(0, 1, 2, 4, 5, 6, 8, 9, 10, 12, 13, 14, -1, -1, -1, -1);
  size_t x = 0;
  for (; x + 16 <= n; x += 16) {
    const __m128i a = _mm_shuffle_epi8(_mm_loadu_si128(reinterpret_cast<const __m128i*>(src + x * 4)), squeeze);
    const __m128i b = _mm_shuffle_epi8(_mm_loadu_si128(reinterpret_cast<const __m128i*>(src + x * 4 + 16)), squeeze);
    const __m128i c = _mm_shuffle_epi8(_mm_loadu_si128(reinterpret_cast<const __m128i*>(src + x * 4 + 32)), squeeze);
    const __m128i d = _mm_shuffle_epi8(_mm_loadu_si128(reinterpret_cast<const __m128i*>(src + x * 4 + 48)), squeeze);
    // a holds 12 bytes, b 12, c 12, d 12: 48 bytes into three registers.
    const __m128i out0 = _mm_or_si128(a, _mm_slli_si128(b, 12));
    const __m128i out1 = _mm_or_si128(_mm_srli_si128(b, 4), _mm_slli_si128(c, 8));
    const __m128i out2 = _mm_or_si128(_mm_srli_si128(c, 8), _mm_slli_si128(d, 4));
    _mm_storeu_si128(reinterpret_cast<__m128i*>(dst + x * 3), out0);
    _mm_storeu_si128(reinterpret_cast<__m128i*>(dst + x * 3 + 16), out1);
    _mm_storeu_si128(reinterpret_cast<__m128i*>(dst + x * 3 + 32), out2);
  }
  return x;
}

// Eight pixels a load: each 128-bit lane squeezed to 12 bytes, the two
// lanes' 12 bytes joined into 24 and stored as 32 bytes, the last 8 of which
// the next step overwrites. Stops while a whole 32-byte store still fits in
// the n pixels' 3n bytes; returns how many pixels it did.
__attribute__((target("avx2"))) size_t DropFourthAvx2Step8(const uint8_t* src, uint8_t* dst, size_t n) {
  const __m256i squeeze = _mm256_setr_epi8(0, 1, 2, 4, 5, 6, 8, 9, 10, 12, 13, 14, -1, -1, -1, -1,
                                           0, 1, 2, 4, 5, 6, 8, 9, 10, 12, 13, 14, -1, -1, -1, -1);
  const __m256i join = _mm256_setr_epi32(0, 1, 2, 4, 5, 6, 7, 7);
  size_t x = 0;
  for (; (x + 8) * 3 + 8 <= n * 3; x += 8) {
    const __m256i a = _mm256_loadu_si256(reinterpret_cast<const __m256i*>(src + x * 4));
    const __m256i packed = _mm256_permutevar8x32_epi32(_mm256_shuffle_epi8(a, squeeze), join);
    _mm256_storeu_si256(reinterpret_cast<__m256i*>(dst + x * 3), packed);
  }
  return x;
}

// Eight pixels' 24 bytes of data as six 4-byte words, placed by `place`.
__attribute__((target("avx2"))) inline __m256i Squeezed(const uint8_t* at, __m256i squeeze, __m256i place) {
  const __m256i v = _mm256_loadu_si256(reinterpret_cast<const __m256i*>(at));
  return _mm256_permutevar8x32_epi32(_mm256_shuffle_epi8(v, squeeze), place);
}

// Thirty-two pixels: four 32-byte loads, each squeezed to six 4-byte words
// of data (words 0-2 and 4-6), the words moved to where the three 32-byte
// stores want them and blended: every output byte is written once.
__attribute__((target("avx2"))) inline void Step32(const uint8_t* src, uint8_t* dst) {
  const __m256i squeeze = _mm256_setr_epi8(0, 1, 2, 4, 5, 6, 8, 9, 10, 12, 13, 14, -1, -1, -1, -1,
                                           0, 1, 2, 4, 5, 6, 8, 9, 10, 12, 13, 14, -1, -1, -1, -1);
  // a0..a5 | b0..b5 | c0..c5 | d0..d5 (the words of data) into
  // a0..a5 b0 b1 | b2..b5 c0..c3 | c4 c5 d0..d5; 3 and 7 mark unused words.
  const __m256i a = Squeezed(src, squeeze, _mm256_setr_epi32(0, 1, 2, 4, 5, 6, 3, 3));
  const __m256i b = Squeezed(src + 32, squeeze, _mm256_setr_epi32(2, 4, 5, 6, 3, 3, 0, 1));
  const __m256i c = Squeezed(src + 64, squeeze, _mm256_setr_epi32(5, 6, 3, 3, 0, 1, 2, 4));
  const __m256i d = Squeezed(src + 96, squeeze, _mm256_setr_epi32(3, 3, 0, 1, 2, 4, 5, 6));
  auto* o = reinterpret_cast<__m256i*>(dst);
  _mm256_storeu_si256(o, _mm256_blend_epi32(a, b, 0xC0));
  _mm256_storeu_si256(o + 1, _mm256_blend_epi32(b, c, 0xF0));
  _mm256_storeu_si256(o + 2, _mm256_blend_epi32(c, d, 0xFC));
}

// Thirty-two pixels a step; returns how many pixels it did.
__attribute__((target("avx2"))) size_t DropFourthAvx2Step32(const uint8_t* src, uint8_t* dst, size_t n) {
  size_t x = 0;
  for (; x + 32 <= n; x += 32) Step32(src + x * 4, dst + x * 3);
  return x;
}

bool HaveSsse3() {
  static const bool have = __builtin_cpu_supports("ssse3");
  return have;
}

bool HaveAvx2() {
  static const bool have = __builtin_cpu_supports("avx2");
  return have;
}

// The composition, 64 bytes a step; with kStreaming written past the cache
// (streaming stores to a 32-byte aligned display; the bytes before the
// first boundary go one by one): the display's cache lines need not be
// fetched before they are written, and it is not read back before the
// paint. Returns how many bytes it did (the rest is left to the caller's
// loop).
template <bool kStreaming>
__attribute__((target("avx2"))) size_t ComposeAvx2(const uint8_t* frame, const uint8_t* overlay, uint8_t* display,
                                                   size_t size) {
  size_t i = 0;
  if constexpr (kStreaming) {
    for (; i < size && (reinterpret_cast<uintptr_t>(display + i) & 31) != 0; ++i) {
      display[i] = overlay[i] != 0 ? overlay[i] : frame[i];
    }
  }
  const __m256i zero = _mm256_setzero_si256();
  for (; i + 64 <= size; i += 64) {
    const __m256i o0 = _mm256_loadu_si256(reinterpret_cast<const __m256i*>(overlay + i));
    const __m256i o1 = _mm256_loadu_si256(reinterpret_cast<const __m256i*>(overlay + i + 32));
    const __m256i f0 = _mm256_loadu_si256(reinterpret_cast<const __m256i*>(frame + i));
    const __m256i f1 = _mm256_loadu_si256(reinterpret_cast<const __m256i*>(frame + i + 32));
    const __m256i d0 = _mm256_blendv_epi8(o0, f0, _mm256_cmpeq_epi8(o0, zero));
    const __m256i d1 = _mm256_blendv_epi8(o1, f1, _mm256_cmpeq_epi8(o1, zero));
    auto* d = reinterpret_cast<__m256i*>(display + i);
    if constexpr (kStreaming) {
      _mm256_stream_si256(d, d0);
      _mm256_stream_si256(d + 1, d1);
    } else {
      _mm256_storeu_si256(d, d0);
      _mm256_storeu_si256(d + 1, d1);
    }
  }
  if constexpr (kStreaming) _mm_sfence();
  return i;
}
#endif

// The plain rule for n pixels: each pixel is moved as one 32-bit word whose
// fourth byte the next pixel overwrites; the last pixel goes byte by byte
// so nothing is written past the row.
void DropFourthPlain(const uint8_t* src, uint8_t* dst, size_t n) {
  if (n == 0) return;
  for (size_t x = 0; x + 1 < n; ++x) std::memcpy(dst + x * 3, src + x * 4, 4);
  const uint8_t* s = src + (n - 1) * 4;
  uint8_t* d = dst + (n - 1) * 3;
  d[0] = s[0];
  d[1] = s[1];
  d[2] = s[2];
}

} // namespace

bool HaveDropFourthKernel(DropFourthKernel kernel) {
  switch (kernel) {
    case DropFourthKernel::Plain:
      return true;
#if defined(__x86_64__)
    case DropFourthKernel::Ssse3:
      return HaveSsse3();
    case DropFourthKernel::Avx2Step8:
    case DropFourthKernel::Avx2Step32:
      return HaveAvx2() && HaveSsse3();
#endif
    default:
      return false;
  }
}

DropFourthKernel BestDropFourthKernel() {
  if (HaveDropFourthKernel(DropFourthKernel::Avx2Step32)) return DropFourthKernel::Avx2Step32;
  if (HaveDropFourthKernel(DropFourthKernel::Ssse3)) return DropFourthKernel::Ssse3;
  return DropFourthKernel::Plain;
}

namespace {

// One row by `kernel`, which the processor has; the wider steps leave the
// rest of the row to the narrower ones.
void DropFourthRow(const uint8_t* src, uint8_t* dst, size_t n, DropFourthKernel kernel) {
  size_t done = 0;
#if defined(__x86_64__)
  if (kernel == DropFourthKernel::Avx2Step32) done = DropFourthAvx2Step32(src, dst, n);
  if (kernel == DropFourthKernel::Avx2Step32 || kernel == DropFourthKernel::Avx2Step8) {
    done += DropFourthAvx2Step8(src + done * 4, dst + done * 3, n - done);
  }
  if (kernel != DropFourthKernel::Plain) done += DropFourthSsse3(src + done * 4, dst + done * 3, n - done);
#else
  (void)kernel;
#endif
  DropFourthPlain(src + done * 4, dst + done * 3, n - done);
}

void CopyDropFourth(const uint8_t* src, uint8_t* dst, size_t n) {
  static const DropFourthKernel best = BestDropFourthKernel();
  DropFourthRow(src, dst, n, best);
}

} // namespace

void CopyDropFourthRows(const uint8_t* src, size_t src_stride, uint8_t* dst, size_t dst_stride, size_t n,
                        size_t rows, DropFourthKernel kernel) {
  if (!HaveDropFourthKernel(kernel)) kernel = DropFourthKernel::Plain;
  for (size_t y = 0; y < rows; ++y) DropFourthRow(src + y * src_stride, dst + y * dst_stride, n, kernel);
}

void ApplyColourMode(uint8_t* px, size_t count, uint32_t mode) {
  uint8_t* end = px + count * 3;
  switch (static_cast<ColourMode>(mode)) {
    case ColourMode::MonoRed:
      for (; px != end; px += 3) Fill3(px, px[2]);
      break;
    case ColourMode::MonoGreen:
      for (; px != end; px += 3) Fill3(px, px[1]);
      break;
    case ColourMode::MonoBlue:
      for (; px != end; px += 3) Fill3(px, px[0]);
      break;
    case ColourMode::MonoAverage:
      for (; px != end; px += 3) Fill3(px, kThirds[px[0] + px[1] + px[2]]);
      break;
    default:
      break;
  }
}

bool HaveComposeKernel(ComposeKernel kernel) {
  switch (kernel) {
    case ComposeKernel::Plain:
      return true;
#if defined(__SSE2__)
    case ComposeKernel::Sse2:
      return true;
#endif
#if defined(__x86_64__)
    case ComposeKernel::Avx2:
    case ComposeKernel::Avx2Streaming:
      return HaveAvx2();
#endif
    default:
      return false;
  }
}

void ComposeBytes(const uint8_t* frame, const uint8_t* overlay, uint8_t* display, size_t size) {
  ComposeKernel kernel = ComposeKernel::Sse2;
  if (size >= kStreamingBytes && HaveComposeKernel(ComposeKernel::Avx2Streaming)) {
    kernel = ComposeKernel::Avx2Streaming;
  }
  ComposeBytes(frame, overlay, display, size, kernel);
}

void ComposeBytes(const uint8_t* frame, const uint8_t* overlay, uint8_t* display, size_t size,
                  ComposeKernel kernel) {
  if (!HaveComposeKernel(kernel)) kernel = ComposeKernel::Plain;
  size_t i = 0;
#if defined(__x86_64__)
  if (kernel == ComposeKernel::Avx2) i = ComposeAvx2<false>(frame, overlay, display, size);
  if (kernel == ComposeKernel::Avx2Streaming) i = ComposeAvx2<true>(frame, overlay, display, size);
#endif
  // Both bytes are loaded before the choice and the choice is a mask: where
  // the overlay byte is zero the mask keeps the frame byte. SSE2 is part of
  // every x86-64, so sixteen bytes go at a time.
#if defined(__SSE2__)
  if (kernel != ComposeKernel::Plain) {
    const __m128i zero = _mm_setzero_si128();
    for (; i + 16 <= size; i += 16) {
      const __m128i o = _mm_loadu_si128(reinterpret_cast<const __m128i*>(overlay + i));
      const __m128i f = _mm_loadu_si128(reinterpret_cast<const __m128i*>(frame + i));
      const __m128i keep_frame = _mm_cmpeq_epi8(o, zero);
      _mm_storeu_si128(reinterpret_cast<__m128i*>(display + i), _mm_or_si128(o, _mm_and_si128(keep_frame, f)));
    }
  }
#endif
  for (; i < size; ++i) {
    uint8_t o = overlay[i];
    uint8_t f = frame[i];
    uint8_t keep_frame = static_cast<uint8_t>(-static_cast<int>(o == 0));
    display[i] = static_cast<uint8_t>(o | (f & keep_frame));
  }
}

void SnapshotToFrame(const uint8_t* snapshot, size_t length, const ImageState& image,
                     uint32_t colour_mode, uint8_t* dest) {
  if (snapshot == nullptr || dest == nullptr || length < kSnapshotHeader) return;
  const uint32_t bit_count = uint32_t(snapshot[14]) | uint32_t(snapshot[15]) << 8;
  if (bit_count != 32) return;
  const size_t w = image.width;
  const size_t frame_pixels = w * image.height;
  const uint8_t* src = snapshot + kSnapshotHeader;
  // Source pixel k belongs at frame pixel count - 1 - k. Only the writes
  // that land inside the frame and read a pixel the snapshot holds are made:
  // a snapshot larger than the frame gives its last frame_pixels pixels.
  const size_t count = ReadU32(snapshot + 20) / 4;
  const size_t held = (length - kSnapshotHeader) / 4;
  const size_t first = count > frame_pixels ? count - frame_pixels : 0;
  const size_t end = std::min(count, held);
  if (first >= end) return;  // also every empty frame

  if (end == count && count >= frame_pixels) {
    // The whole frame: reversing the pixels and mirroring every row is the
    // same as taking the rows in reverse order, done in one pass.
    const uint8_t* last = src + first * 4;
    const size_t h = image.height;
    for (size_t y = 0; y < h; ++y) CopyDropFourth(last + (h - 1 - y) * w * 4, dest + y * w * 3, w);
    ApplyColourMode(dest, frame_pixels, colour_mode);
    return;
  }

  // Part of the frame, pixels lo .. hi - 1: mirrored as whole rows where it
  // covers them; the rest of the frame stays unchanged.
  for (size_t k = first; k < end; ++k) {
    const uint8_t* s = src + k * 4;
    uint8_t* d = dest + (count - 1 - k) * 3;
    d[0] = s[0];
    d[1] = s[1];
    d[2] = s[2];
  }
  const size_t lo = count - end, hi = count - first;
  for (size_t y = (lo + w - 1) / w; y < hi / w; ++y) {
    uint8_t* row = dest + y * w * 3;
    for (size_t x = 0; x < w / 2; ++x) {
      std::swap_ranges(row + x * 3, row + x * 3 + 3, row + (w - 1 - x) * 3);
    }
  }
  ApplyColourMode(dest + lo * 3, hi - lo, colour_mode);
}

void PictureToFrame(const uint8_t* bgrx, const ImageState& image, uint32_t colour_mode, uint8_t* dest) {
  if (bgrx == nullptr || dest == nullptr) return;
  const size_t w = image.width;
  const bool recoloured = colour_mode >= 1 && colour_mode <= 4;
  for (size_t y = 0; y < image.height; ++y) {
    uint8_t* row = dest + y * w * 3;
    CopyDropFourth(bgrx + y * w * 4, row, w);
    if (recoloured) ApplyColourMode(row, w, colour_mode);
  }
}

void BmpToFrame(const uint8_t* pixels, uint32_t bit_count, int32_t header_height,
                const ImageState& image, uint32_t colour_mode) {
  const size_t w = image.width;
  const size_t h = image.height;
  const size_t stride = image.stride;
  uint8_t* frame = image.frame;
  if (frame == nullptr || pixels == nullptr) return;
  const bool bottom_up = header_height > 0;
  if (bit_count == 24) {
    if (bottom_up) {
      for (size_t y = 0; y < h; ++y) std::memcpy(frame + y * stride, pixels + (h - 1 - y) * stride, stride);
    } else {
      std::memcpy(frame, pixels, stride * h);
    }
  } else if (bit_count == 32) {
    for (size_t y = 0; y < h; ++y) {
      CopyDropFourth(pixels + (bottom_up ? h - 1 - y : y) * w * 4, frame + y * stride, w);
    }
  } else {
    return;
  }
  for (size_t y = 0; y < h; ++y) ApplyColourMode(frame + y * stride, w, colour_mode);
}

std::vector<uint8_t> FrameToBmpRows(const ImageState& image, bool with_overlay) {
  const size_t h = image.height;
  const size_t stride = image.stride;
  std::vector<uint8_t> block(image.size, 0);
  if (image.frame == nullptr || stride * h > block.size()) return block;
  const size_t row_bytes = size_t(image.bytes_per_pixel) * image.width;
  for (size_t y = 0; y < h; ++y) {
    uint8_t* out = block.data() + y * stride;
    const size_t src_row = (h - 1 - y) * stride;
    std::memcpy(out, image.frame + src_row, stride);
    if (with_overlay && image.overlay != nullptr) {
      ComposeBytes(out, image.overlay + src_row, out, std::min(row_bytes, stride));
    }
  }
  return block;
}

} // namespace orvane
