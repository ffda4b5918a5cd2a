#include "rectify/remap.h"

#include <array>
#include <cmath>
#include <cstring>

#if defined(__x86_64__)
#include <immintrin.h>
#endif

namespace orvane::rectify {
namespace {

// An output pixel whose four neighbours all lie in the picture is "inside"
// and takes the fast path; one with some of them outside is an "edge" pixel
// and checks each neighbour; one with none of them inside is black.
enum class SpanKind : uint8_t { Inside = 0, Edge = 1, Black = 2 };

// A run of consecutive output pixels (counted over the whole picture, row
// after row) of one kind.
struct Span {
  uint32_t begin = 0;
  uint32_t count = 0;
  SpanKind kind = SpanKind::Inside;
};

struct EdgePixel {
  int16_t x = 0; // the top-left neighbour, which may lie one pixel outside
  int16_t y = 0;
  uint16_t fraction = 0; // fy * 32 + fx
};

// An inside pixel's table entry: the top-left neighbour's pixel index << 10,
// fy << 5, fx. Pictures of more pixels than the index holds take the edge
// path everywhere: slower, the same bytes.
constexpr uint32_t kFractionBits = 10;
constexpr size_t kMaxPackedPixels = size_t{1} << (32 - kFractionBits);
constexpr uint32_t kSteps = 32;

// The four weights of every (fx, fy): top-left, top-right, bottom-left,
// bottom-right, summing to 1024.
struct alignas(8) Weights {
  int16_t w[4];
};
constexpr std::array<Weights, kSteps * kSteps> kWeights = [] {
  std::array<Weights, kSteps * kSteps> t{};
  for (uint32_t fy = 0; fy < kSteps; ++fy) {
    for (uint32_t fx = 0; fx < kSteps; ++fx) {
      t[fy * kSteps + fx] = {{static_cast<int16_t>((kSteps - fx) * (kSteps - fy)), static_cast<int16_t>(fx * (kSteps - fy)),
                              static_cast<int16_t>((kSteps - fx) * fy), static_cast<int16_t>(fx * fy)}};
    }
  }
  return t;
}();

inline uint8_t Rounded(int32_t sum) { return static_cast<uint8_t>((sum + 512) >> 10); }

void InsideScalar(const uint8_t* src, size_t stride, const uint32_t* entries, uint8_t* dst, size_t n) {
  for (size_t i = 0; i < n; ++i, dst += 4) {
    const uint32_t e = entries[i];
    const int16_t* w = kWeights[e & (kSteps * kSteps - 1)].w;
    const uint8_t* p = src + size_t{e >> kFractionBits} * 4;
    const uint8_t* q = p + stride;
    for (int c = 0; c < 4; ++c) dst[c] = Rounded(p[c] * w[0] + p[c + 4] * w[1] + q[c] * w[2] + q[c + 4] * w[3]);
  }
}

// Pixels some of whose neighbours lie outside the picture: those count as
// black.
void EdgeRun(const uint8_t* src, uint32_t width, uint32_t height, const EdgePixel* pixels, uint8_t* dst, size_t n) {
  const size_t stride = size_t{width} * 4;
  for (size_t i = 0; i < n; ++i, dst += 4) {
    const EdgePixel& e = pixels[i];
    const int16_t* w = kWeights[e.fraction].w;
    int32_t sum[4] = {0, 0, 0, 0};
    for (int k = 0; k < 4; ++k) {
      const int32_t x = e.x + (k & 1), y = e.y + (k >> 1);
      if (x < 0 || y < 0 || static_cast<uint32_t>(x) >= width || static_cast<uint32_t>(y) >= height) continue;
      const uint8_t* p = src + size_t(y) * stride + size_t(x) * 4;
      for (int c = 0; c < 4; ++c) sum[c] += p[c] * w[k];
    }
    for (int c = 0; c < 4; ++c) dst[c] = Rounded(sum[c]);
  }
}

#if defined(__x86_64__)
// One pixel's four sums, already rounded and scaled: 4 x int32.
__attribute__((target("sse2"))) inline __m128i PixelSse2(const uint8_t* src, size_t stride, uint32_t e) {
  const uint8_t* p = src + size_t{e >> kFractionBits} * 4;
  const __m128i zero = _mm_setzero_si128();
  __m128i top = _mm_unpacklo_epi8(_mm_loadl_epi64(reinterpret_cast<const __m128i*>(p)), zero);
  __m128i bottom = _mm_unpacklo_epi8(_mm_loadl_epi64(reinterpret_cast<const __m128i*>(p + stride)), zero);
  // B0 G0 R0 X0 B1 G1 R1 X1 -> B0 B1 G0 G1 R0 R1 X0 X1, pairs for one multiply-add.
  top = _mm_unpacklo_epi16(top, _mm_srli_si128(top, 8));
  bottom = _mm_unpacklo_epi16(bottom, _mm_srli_si128(bottom, 8));
  const __m128i w = _mm_loadl_epi64(reinterpret_cast<const __m128i*>(kWeights[e & (kSteps * kSteps - 1)].w));
  const __m128i sum = _mm_add_epi32(_mm_madd_epi16(top, _mm_shuffle_epi32(w, 0x00)),
                                    _mm_madd_epi16(bottom, _mm_shuffle_epi32(w, 0x55)));
  return _mm_srai_epi32(_mm_add_epi32(sum, _mm_set1_epi32(512)), 10);
}

__attribute__((target("sse2"))) void InsideSse2(const uint8_t* src, size_t stride, const uint32_t* entries,
                                                uint8_t* dst, size_t n) {
  size_t i = 0;
  for (; i + 4 <= n; i += 4) {
    const __m128i a = _mm_packs_epi32(PixelSse2(src, stride, entries[i]), PixelSse2(src, stride, entries[i + 1]));
    const __m128i b = _mm_packs_epi32(PixelSse2(src, stride, entries[i + 2]), PixelSse2(src, stride, entries[i + 3]));
    _mm_storeu_si128(reinterpret_cast<__m128i*>(dst + i * 4), _mm_packus_epi16(a, b));
  }
  for (; i < n; ++i) {
    const __m128i v = PixelSse2(src, stride, entries[i]);
    const __m128i packed = _mm_packus_epi16(_mm_packs_epi32(v, v), v);
    const int32_t bytes = _mm_cvtsi128_si32(packed);
    std::memcpy(dst + i * 4, &bytes, 4);
  }
}

// The two neighbours side by side (8 bytes) of four pixels, one pixel a
// 64-bit lane. Plain loads: gathers were slower on the processors measured.
__attribute__((target("avx2"))) inline __m256i FourPairsAvx2(const uint8_t* row, const uint32_t* entries) {
  const auto at = [&](int k) { return row + size_t{entries[k] >> kFractionBits} * 4; };
  const __m128i first = _mm_castpd_si128(_mm_loadh_pd(
      _mm_castsi128_pd(_mm_loadl_epi64(reinterpret_cast<const __m128i*>(at(0)))), reinterpret_cast<const double*>(at(1))));
  const __m128i second = _mm_castpd_si128(_mm_loadh_pd(
      _mm_castsi128_pd(_mm_loadl_epi64(reinterpret_cast<const __m128i*>(at(2)))), reinterpret_cast<const double*>(at(3))));
  return _mm256_inserti128_si256(_mm256_castsi128_si256(first), second, 1);
}

// Four pixels as 4 x 4 int16, in the order 0 1 | 2 3 of the two 128-bit
// lanes. `weights` holds each pixel's (32-fx, fx, 32-fy, fy) bytes in the
// low half of a 64-bit lane. The horizontal step multiplies bytes by 5-bit
// weights (at most 255 * 32, no overflow), the vertical step 16-bit values
// by 5-bit weights into 32 bits, so the sum is exactly the one of the four
// 10-bit weights.
__attribute__((target("avx2"))) inline __m256i FourPixelsAvx2(const uint8_t* src, size_t stride,
                                                              const uint32_t* entries, __m256i weights) {
  const __m256i top = FourPairsAvx2(src, entries);
  const __m256i bottom = FourPairsAvx2(src + stride, entries);
  const __m256i pairs = _mm256_setr_epi8(0, 4, 1, 5, 2, 6, 3, 7, 8, 12, 9, 13, 10, 14, 11, 15, 0, 4, 1, 5, 2, 6, 3, 7,
                                         8, 12, 9, 13, 10, 14, 11, 15);
  const __m256i across = _mm256_shuffle_epi8(
      weights, _mm256_setr_epi8(0, 1, 0, 1, 0, 1, 0, 1, 8, 9, 8, 9, 8, 9, 8, 9, 0, 1, 0, 1, 0, 1, 0, 1, 8, 9, 8, 9, 8,
                                9, 8, 9));
  const __m256i down_first = _mm256_shuffle_epi8(
      weights, _mm256_setr_epi8(2, -1, 3, -1, 2, -1, 3, -1, 2, -1, 3, -1, 2, -1, 3, -1, 2, -1, 3, -1, 2, -1, 3, -1, 2,
                                -1, 3, -1, 2, -1, 3, -1));
  const __m256i down_second = _mm256_shuffle_epi8(
      weights, _mm256_setr_epi8(10, -1, 11, -1, 10, -1, 11, -1, 10, -1, 11, -1, 10, -1, 11, -1, 10, -1, 11, -1, 10,
                                -1, 11, -1, 10, -1, 11, -1, 10, -1, 11, -1));
  const __m256i top_row = _mm256_maddubs_epi16(_mm256_shuffle_epi8(top, pairs), across);
  const __m256i bottom_row = _mm256_maddubs_epi16(_mm256_shuffle_epi8(bottom, pairs), across);
  const __m256i round = _mm256_set1_epi32(512);
  const __m256i first = _mm256_srai_epi32(
      _mm256_add_epi32(_mm256_madd_epi16(_mm256_unpacklo_epi16(top_row, bottom_row), down_first), round), 10);
  const __m256i second = _mm256_srai_epi32(
      _mm256_add_epi32(_mm256_madd_epi16(_mm256_unpackhi_epi16(top_row, bottom_row), down_second), round), 10);
  return _mm256_packs_epi32(first, second);
}

__attribute__((target("avx2"))) void InsideAvx2(const uint8_t* src, size_t stride, const uint32_t* entries,
                                                uint8_t* dst, size_t n) {
  const __m256i step = _mm256_set1_epi32(kSteps);
  const __m256i mask = _mm256_set1_epi32(kSteps - 1);
  size_t i = 0;
  for (; i + 8 <= n; i += 8) {
    const __m256i e = _mm256_loadu_si256(reinterpret_cast<const __m256i*>(entries + i));
    const __m256i fx = _mm256_and_si256(e, mask);
    const __m256i fy = _mm256_and_si256(_mm256_srli_epi32(e, 5), mask);
    const __m256i weights =
        _mm256_or_si256(_mm256_or_si256(_mm256_sub_epi32(step, fx), _mm256_slli_epi32(fx, 8)),
                        _mm256_or_si256(_mm256_slli_epi32(_mm256_sub_epi32(step, fy), 16), _mm256_slli_epi32(fy, 24)));
    const __m256i a =
        FourPixelsAvx2(src, stride, entries + i, _mm256_cvtepu32_epi64(_mm256_castsi256_si128(weights)));
    const __m256i b =
        FourPixelsAvx2(src, stride, entries + i + 4, _mm256_cvtepu32_epi64(_mm256_extracti128_si256(weights, 1)));
    // Lanes hold pixels 0 1 4 5 | 2 3 6 7: put them in order.
    _mm256_storeu_si256(reinterpret_cast<__m256i*>(dst + i * 4),
                        _mm256_permute4x64_epi64(_mm256_packus_epi16(a, b), 0xD8));
  }
  InsideSse2(src, stride, entries + i, dst + i * 4, n - i);
}
#endif

using InsideFn = void (*)(const uint8_t*, size_t, const uint32_t*, uint8_t*, size_t);

InsideFn InsideKernel(RemapKernel kernel) {
#if defined(__x86_64__)
  if (kernel == RemapKernel::Avx2) return InsideAvx2;
  if (kernel == RemapKernel::Sse2) return InsideSse2;
#endif
  (void)kernel;
  return InsideScalar;
}

// The camera position in 1/32 pixel, rounded as the tables always were
// (halves to even); positions beyond what the tables hold are far outside.
int32_t Steps(float v) {
  if (!(std::fabs(v) < 30000.0f)) return -(int32_t{1} << 20);
  return static_cast<int32_t>(std::lrintf(v * static_cast<float>(kSteps)));
}

} // namespace

bool HaveRemapKernel(RemapKernel kernel) {
  switch (kernel) {
    case RemapKernel::Scalar:
      return true;
#if defined(__x86_64__)
    case RemapKernel::Sse2:
      return true;
    case RemapKernel::Avx2: {
      static const bool have = __builtin_cpu_supports("avx2");
      return have;
    }
#endif
    default:
      return false;
  }
}

RemapKernel BestRemapKernel() {
  if (HaveRemapKernel(RemapKernel::Avx2)) return RemapKernel::Avx2;
  if (HaveRemapKernel(RemapKernel::Sse2)) return RemapKernel::Sse2;
  return RemapKernel::Scalar;
}

bool MapOfModel(const LensModel& model, CameraMap* map) {
  *map = CameraMap{};
  OutputFrame frame;
  if (!IsUsable(model) || !FrameOf(model, &frame)) return false;
  const uint32_t w = model.width, h = model.height;
  map->x.resize(size_t{w} * h);
  map->y.resize(size_t{w} * h);
  for (uint32_t y = 0; y < h; ++y) {
    for (uint32_t x = 0; x < w; ++x) {
      const Point2 camera = ProjectPlanePoint(model, PlaneOfOutput(model, frame, {double(x), double(y)}));
      // Far outside the picture (and beyond what the fixed-point tables
      // hold) is as good as just outside it: black.
      const bool inside = camera.x > -2.0 && camera.x < w + 1.0 && camera.y > -2.0 && camera.y < h + 1.0;
      const size_t i = size_t{y} * w + x;
      map->x[i] = inside ? static_cast<float>(camera.x) : -10.0f;
      map->y[i] = inside ? static_cast<float>(camera.y) : -10.0f;
    }
  }
  map->width = w;
  map->height = h;
  return true;
}

struct RemapTables::Tables {
  std::vector<uint32_t> entries; // one per output pixel; used for inside pixels
  std::vector<EdgePixel> edges;  // the edge pixels, in output order
  std::vector<Span> spans;       // the whole picture, in order
};

RemapTables::RemapTables() = default;
RemapTables::~RemapTables() = default;
RemapTables::RemapTables(RemapTables&&) noexcept = default;
RemapTables& RemapTables::operator=(RemapTables&&) noexcept = default;

bool RemapTables::Build(const LensModel& model) {
  CameraMap map;
  if (!MapOfModel(model, &map)) {
    tables_.reset();
    width_ = height_ = 0;
    return false;
  }
  return Build(map);
}

bool RemapTables::Build(const CameraMap& map) {
  tables_.reset();
  width_ = height_ = 0;
  const int32_t w = static_cast<int32_t>(map.width), h = static_cast<int32_t>(map.height);
  const size_t n = size_t{map.width} * map.height;
  if (n == 0 || map.width >= 32767 || map.height >= 32767 || map.x.size() != n || map.y.size() != n) return false;
  const bool packable = n <= kMaxPackedPixels;
  auto t = std::make_unique<Tables>();
  t->entries.assign(n, 0);
  for (size_t i = 0; i < n; ++i) {
    const int32_t ix = Steps(map.x[i]), iy = Steps(map.y[i]);
    const int32_t sx = ix >> 5, sy = iy >> 5;
    const auto fraction = static_cast<uint16_t>((iy & 31) * kSteps + (ix & 31));
    SpanKind kind = SpanKind::Edge;
    if (sx >= w || sx < -1 || sy >= h || sy < -1) {
      kind = SpanKind::Black;
    } else if (packable && sx >= 0 && sy >= 0 && sx + 1 < w && sy + 1 < h) {
      kind = SpanKind::Inside;
      t->entries[i] = (static_cast<uint32_t>(sy * w + sx) << kFractionBits) | fraction;
    } else {
      t->edges.push_back({static_cast<int16_t>(sx), static_cast<int16_t>(sy), fraction});
    }
    if (!t->spans.empty() && t->spans.back().kind == kind) {
      ++t->spans.back().count;
    } else {
      t->spans.push_back({static_cast<uint32_t>(i), 1, kind});
    }
  }
  tables_ = std::move(t);
  width_ = map.width;
  height_ = map.height;
  return true;
}

bool RemapTables::empty() const { return tables_ == nullptr; }

void RemapTables::Apply(const uint8_t* source, uint8_t* dest) const { Apply(source, dest, BestRemapKernel()); }

void RemapTables::Apply(const uint8_t* source, uint8_t* dest, RemapKernel kernel) const {
  if (!tables_) return;
  const InsideFn inside = InsideKernel(HaveRemapKernel(kernel) ? kernel : RemapKernel::Scalar);
  const size_t stride = size_t{width_} * 4;
  const EdgePixel* edge = tables_->edges.data();
  for (const Span& s : tables_->spans) {
    uint8_t* d = dest + size_t{s.begin} * 4;
    switch (s.kind) {
      case SpanKind::Inside:
        inside(source, stride, tables_->entries.data() + s.begin, d, s.count);
        break;
      case SpanKind::Edge:
        EdgeRun(source, width_, height_, edge, d, s.count);
        edge += s.count;
        break;
      case SpanKind::Black:
        std::memset(d, 0, size_t{s.count} * 4);
        break;
    }
  }
}

} // namespace orvane::rectify
