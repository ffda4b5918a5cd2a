// Extraction of the intensity byte (byte 2) of each pixel into a plain plane.
#include "internal.h"

#include <immintrin.h>

namespace qlx {

namespace {

// Byte 2 of 16 packed 3-byte pixels, 48 bytes from src.
inline __m128i gatherByte2(const uint8_t* src) {
    const __m128i a = _mm_loadu_si128(reinterpret_cast<const __m128i*>(src));
    const __m128i b = _mm_loadu_si128(reinterpret_cast<const __m128i*>(src + 16));
    const __m128i c = _mm_loadu_si128(reinterpret_cast<const __m128i*>(src + 32));
    const __m128i ma = _mm_setr_epi8(2, 5, 8, 11, 14, -1, -1, -1, -1, -1, -1, -1, -1, -1, -1, -1);
    const __m128i mb = _mm_setr_epi8(-1, -1, -1, -1, -1, 1, 4, 7, 10, 13, -1, -1, -1, -1, -1, -1);
    const __m128i mc = _mm_setr_epi8(-1, -1, -1, -1, -1, -1, -1, -1, -1, -1, 0, 3, 6, 9, 12, 15);
    return _mm_or_si128(_mm_or_si128(_mm_shuffle_epi8(a, ma), _mm_shuffle_epi8(b, mb)),
                        _mm_shuffle_epi8(c, mc));
}

// The 16 bytes at p in the low 128-bit lane, the 16 bytes 48 further in the high.
__attribute__((target("avx2"))) inline __m256i pairFrom(const uint8_t* p) {
    return _mm256_inserti128_si256(_mm256_castsi128_si256(_mm_loadu_si128(reinterpret_cast<const __m128i*>(p))),
                                   _mm_loadu_si128(reinterpret_cast<const __m128i*>(p + 48)), 1);
}

// Byte 2 of 32 packed 3-byte pixels, 96 bytes from src: the 128-bit lanes
// take pixels 0-15 and 16-31, so the shuffles of gatherByte2 serve both.
__attribute__((target("avx2"))) inline __m256i gatherByte2x2(const uint8_t* src) {
    const __m256i ma = _mm256_setr_epi8(2, 5, 8, 11, 14, -1, -1, -1, -1, -1, -1, -1, -1, -1, -1, -1,
                                        2, 5, 8, 11, 14, -1, -1, -1, -1, -1, -1, -1, -1, -1, -1, -1);
    const __m256i mb = _mm256_setr_epi8(-1, -1, -1, -1, -1, 1, 4, 7, 10, 13, -1, -1, -1, -1, -1, -1,
                                        -1, -1, -1, -1, -1, 1, 4, 7, 10, 13, -1, -1, -1, -1, -1, -1);
    const __m256i mc = _mm256_setr_epi8(-1, -1, -1, -1, -1, -1, -1, -1, -1, -1, 0, 3, 6, 9, 12, 15,
                                        -1, -1, -1, -1, -1, -1, -1, -1, -1, -1, 0, 3, 6, 9, 12, 15);
    return _mm256_or_si256(_mm256_or_si256(_mm256_shuffle_epi8(pairFrom(src), ma),
                                           _mm256_shuffle_epi8(pairFrom(src + 16), mb)),
                           _mm256_shuffle_epi8(pairFrom(src + 32), mc));
}

// extractRow for 3-byte pixels and n >= 32, 32 pixels a step; the last
// step overlaps the one before it instead of a scalar tail.
__attribute__((target("avx2"))) void extractRowAvx2(const uint8_t* src, uint32_t n, uint8_t* dst) {
    for (uint32_t i = 0;;) {
        _mm256_storeu_si256(reinterpret_cast<__m256i*>(dst + i), gatherByte2x2(src + 3 * size_t(i)));
        if (i + 32 == n) break;
        i = i + 64 <= n ? i + 32 : n - 32;
    }
}

// Chosen once at load time; the library's baseline is x86-64-v2.
const bool kAvx2 = wideVectors();

}  // namespace

// Copies byte 2 of pixels [x0, x0 + n) of row y of image into dst.
void extractRow(const uint8_t* image, uint32_t x0, uint32_t y, uint32_t n, uint8_t* dst) {
    const uint8_t* src = image + pixelOffset(x0, y);
    uint32_t i = 0;
    if (g_reg.bpp == 3) {
        if (kAvx2 && n >= 32) return extractRowAvx2(src, n, dst);
        for (; i + 16 <= n; i += 16)
            _mm_storeu_si128(reinterpret_cast<__m128i*>(dst + i), gatherByte2(src + 3 * size_t(i)));
        for (; i < n; ++i) dst[i] = src[3 * size_t(i) + 2];
        return;
    }
    const uint32_t bpp = g_reg.bpp;
    for (; i < n; ++i) dst[i] = src[size_t(i) * bpp + 2];
}

void bandCells(const uint8_t* image, uint32_t x0, uint32_t y, uint32_t n, uint8_t lo, uint8_t span,
               uint8_t code, uint8_t* dst) {
    const uint8_t* src = image + pixelOffset(x0, y);
    uint32_t i = 0;
    if (g_reg.bpp == 3) {
        const __m128i l = _mm_set1_epi8(char(lo)), s = _mm_set1_epi8(char(span)), c = _mm_set1_epi8(char(code));
        for (; i + 16 <= n; i += 16) {
            const __m128i v = _mm_sub_epi8(gatherByte2(src + 3 * size_t(i)), l);
            const __m128i in = _mm_cmpeq_epi8(_mm_min_epu8(v, s), v);
            _mm_storeu_si128(reinterpret_cast<__m128i*>(dst + i), _mm_and_si128(in, c));
        }
    }
    const uint32_t bpp = g_reg.bpp;
    for (; i < n; ++i) dst[i] = uint8_t(src[size_t(i) * bpp + 2] - lo) <= span ? code : 0;
}

void extractPlane(const uint8_t* image, uint8_t* plane, uint32_t y0, uint32_t y1) {
    for (uint32_t y = y0; y <= y1; ++y)
        extractRow(image, 0, y, g_reg.width, plane + size_t(y) * g_reg.width);
}

}  // namespace qlx
