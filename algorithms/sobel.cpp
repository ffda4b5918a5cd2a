// 3 x 3 uniform gradient edge filter.
#include "internal.h"

#include <immintrin.h>

#include <algorithm>
#include <cmath>
#include <cstring>
#include <new>
#include <vector>

using namespace qlx;

namespace {

// |G / 6| >= threshold, tested in double precision, holds exactly for the
// integer magnitudes |G| >= the value returned (766 when none does, since
// |G| <= 765).
int minimalMagnitude(double threshold) {
    for (int g = 0; g <= 765; ++g)
        if (std::fabs(double(g) / 6.0) >= threshold) return g;
    return 766;
}

// Spreads the 32 mask bytes of m over the three bytes of 32 packed pixels at d.
__attribute__((target("avx2"))) inline void spread32(__m256i m, uint8_t* d) {
    const __m256i c0 = _mm256_setr_epi8(0, 0, 0, 1, 1, 1, 2, 2, 2, 3, 3, 3, 4, 4, 4, 5,
                                        5, 5, 6, 6, 6, 7, 7, 7, 8, 8, 8, 9, 9, 9, 10, 10);
    const __m256i c1 = _mm256_setr_epi8(10, 11, 11, 11, 12, 12, 12, 13, 13, 13, 14, 14, 14, 15, 15, 15,
                                        0, 0, 0, 1, 1, 1, 2, 2, 2, 3, 3, 3, 4, 4, 4, 5);
    const __m256i c2 = _mm256_setr_epi8(5, 5, 6, 6, 6, 7, 7, 7, 8, 8, 8, 9, 9, 9, 10, 10,
                                        10, 11, 11, 11, 12, 12, 12, 13, 13, 13, 14, 14, 14, 15, 15, 15);
    // Output bytes 0-31 come from mask bytes 0-10, 32-63 from 10-21, 64-95
    // from 21-31; the shuffles stay within 128-bit lanes.
    _mm256_storeu_si256(reinterpret_cast<__m256i*>(d),
                        _mm256_shuffle_epi8(_mm256_permute4x64_epi64(m, 0x44), c0));
    _mm256_storeu_si256(reinterpret_cast<__m256i*>(d + 32), _mm256_shuffle_epi8(m, c1));
    _mm256_storeu_si256(reinterpret_cast<__m256i*>(d + 64),
                        _mm256_shuffle_epi8(_mm256_permute4x64_epi64(m, 0xEE), c2));
}

// Spreads 32 mask bytes over the three bytes of 32 packed pixels, with AVX2.
__attribute__((target("avx2"))) uint32_t spreadMaskAvx2(const uint8_t* mask, uint32_t n, uint8_t* dst) {
    uint32_t i = 0;
    for (; i + 32 <= n; i += 32)
        spread32(_mm256_loadu_si256(reinterpret_cast<const __m256i*>(mask + i)), dst + 3 * size_t(i));
    return i;
}

uint32_t spreadMaskNone(const uint8_t*, uint32_t, uint8_t*) { return 0; }

using SpreadMask = uint32_t (*)(const uint8_t*, uint32_t, uint8_t*);
// Chosen once at load time; the library's baseline is x86-64-v2.
const bool kAvx2 = wideVectors();
const SpreadMask spreadMaskWide = kAvx2 ? spreadMaskAvx2 : spreadMaskNone;

// Writes 255 / 0 into the three bytes of each pixel from a 0xFF / 0 mask.
void writeEdgeRow(const uint8_t* mask, uint32_t n, uint8_t* dst) {
    uint32_t i = 0;
    if (g_reg.bpp == 3) {
        i = spreadMaskWide(mask, n, dst);
        const __m128i s0 = _mm_setr_epi8(0, 0, 0, 1, 1, 1, 2, 2, 2, 3, 3, 3, 4, 4, 4, 5);
        const __m128i s1 = _mm_setr_epi8(5, 5, 6, 6, 6, 7, 7, 7, 8, 8, 8, 9, 9, 9, 10, 10);
        const __m128i s2 = _mm_setr_epi8(10, 11, 11, 11, 12, 12, 12, 13, 13, 13, 14, 14, 14, 15, 15, 15);
        for (; i + 16 <= n; i += 16) {
            const __m128i m = _mm_loadu_si128(reinterpret_cast<const __m128i*>(mask + i));
            uint8_t* d = dst + 3 * size_t(i);
            _mm_storeu_si128(reinterpret_cast<__m128i*>(d), _mm_shuffle_epi8(m, s0));
            _mm_storeu_si128(reinterpret_cast<__m128i*>(d + 16), _mm_shuffle_epi8(m, s1));
            _mm_storeu_si128(reinterpret_cast<__m128i*>(d + 32), _mm_shuffle_epi8(m, s2));
        }
        for (; i < n; ++i) dst[3 * size_t(i)] = dst[3 * size_t(i) + 1] = dst[3 * size_t(i) + 2] = mask[i];
        return;
    }
    const uint32_t bpp = g_reg.bpp;
    for (; i < n; ++i) {
        uint8_t* d = dst + size_t(i) * bpp;
        d[0] = d[1] = d[2] = mask[i];
        for (uint32_t k = 3; k < bpp && i + 1 < n; ++k) d[k] = 0;
    }
}

// Paints a block of the colour (0, 0, 255) at rows y and y + 1 of the
// overlay for every pixel x0 + i (i < n) whose mask[i] is set: the block of
// an edge pixel covers it and its right neighbour.
void paintEdgeBlocks(const uint8_t* mask, uint32_t x0, uint32_t n, uint32_t y) {
    uint8_t* row = g_reg.overlay + pixelOffset(x0, y);
    const uint32_t bpp = g_reg.bpp, stride = g_reg.stride;
    auto paint = [&](uint32_t i) {
        uint8_t* p = row + size_t(i) * bpp;
        uint8_t* q = p + stride;
        if (bpp == 3) {
            // The six bytes 00 00 FF 00 00 FF of a block row as two
            // overlapping 4-byte writes.
            const uint32_t head = 0x00FF0000u, tail = 0xFF0000FFu;
            std::memcpy(p, &head, 4); std::memcpy(p + 2, &tail, 4);
            std::memcpy(q, &head, 4); std::memcpy(q + 2, &tail, 4);
            return;
        }
        p[0] = 0; p[1] = 0; p[2] = 255; p[bpp] = 0; p[bpp + 1] = 0; p[bpp + 2] = 255;
        q[0] = 0; q[1] = 0; q[2] = 255; q[bpp] = 0; q[bpp + 1] = 0; q[bpp + 2] = 255;
    };
    uint32_t i = 0;
    for (; i + 16 <= n; i += 16) {
        uint32_t bits = uint32_t(_mm_movemask_epi8(
            _mm_loadu_si128(reinterpret_cast<const __m128i*>(mask + i))));
        while (bits) {
            paint(i + uint32_t(__builtin_ctz(bits)));
            bits &= bits - 1;
        }
    }
    for (; i < n; ++i)
        if (mask[i]) paint(i);
}

// Marks with 0xFF every pixel i < n of a row whose |Gx| or |Gy| reaches
// limit (up, mid and down are the rows above, at and below, starting one
// pixel to the left). Returns whether any pixel was marked.
bool gradientTail(const uint8_t* up, const uint8_t* mid, const uint8_t* down, uint32_t i, uint32_t n,
                  int limit, uint8_t* M, bool edges) {
    for (; i < n; ++i) {
        const int gx = (up[i + 2] + mid[i + 2] + down[i + 2]) - (up[i] + mid[i] + down[i]);
        const int gy = (down[i] + down[i + 1] + down[i + 2]) - (up[i] + up[i + 1] + up[i + 2]);
        const int m = std::max(gx < 0 ? -gx : gx, gy < 0 ? -gy : gy);
        M[i] = m >= limit ? 0xFF : 0;
        edges |= m >= limit;
    }
    return edges;
}

bool gradientRowSse(const uint8_t* up, const uint8_t* mid, const uint8_t* down, uint32_t n, int limit,
                    uint8_t* M) {
    uint32_t i = 0;
    const __m128i lim = _mm_set1_epi16(int16_t(limit - 1));
    __m128i any = _mm_setzero_si128();
    auto ld = [](const uint8_t* p) {
        return _mm_cvtepu8_epi16(_mm_loadl_epi64(reinterpret_cast<const __m128i*>(p)));
    };
    for (; i + 8 <= n; i += 8) {
        const __m128i u0 = ld(up + i), u1 = ld(up + i + 1), u2 = ld(up + i + 2);
        const __m128i d0 = ld(down + i), d1 = ld(down + i + 1), d2 = ld(down + i + 2);
        const __m128i m0 = ld(mid + i), m2 = ld(mid + i + 2);
        const __m128i gx = _mm_sub_epi16(_mm_add_epi16(_mm_add_epi16(u2, m2), d2),
                                         _mm_add_epi16(_mm_add_epi16(u0, m0), d0));
        const __m128i gy = _mm_sub_epi16(_mm_add_epi16(_mm_add_epi16(d0, d1), d2),
                                         _mm_add_epi16(_mm_add_epi16(u0, u1), u2));
        const __m128i m = _mm_max_epi16(_mm_abs_epi16(gx), _mm_abs_epi16(gy));
        const __m128i e = _mm_cmpgt_epi16(m, lim);
        any = _mm_or_si128(any, e);
        _mm_storel_epi64(reinterpret_cast<__m128i*>(M + i), _mm_packs_epi16(e, _mm_setzero_si128()));
    }
    return gradientTail(up, mid, down, i, n, limit, M, !_mm_testz_si128(any, any));
}

__attribute__((target("avx2"))) inline __m256i widen16(const uint8_t* p) {
    return _mm256_cvtepu8_epi16(_mm_loadu_si128(reinterpret_cast<const __m128i*>(p)));
}

// 0xFFFF for each of the 16 pixels from i on whose |Gx| or |Gy| exceeds lim.
__attribute__((target("avx2"))) inline __m256i edgeMask16(const uint8_t* up, const uint8_t* mid,
                                                          const uint8_t* down, uint32_t i, __m256i lim) {
    const __m256i u0 = widen16(up + i), u1 = widen16(up + i + 1), u2 = widen16(up + i + 2);
    const __m256i d0 = widen16(down + i), d1 = widen16(down + i + 1), d2 = widen16(down + i + 2);
    const __m256i m0 = widen16(mid + i), m2 = widen16(mid + i + 2);
    const __m256i gx = _mm256_sub_epi16(_mm256_add_epi16(_mm256_add_epi16(u2, m2), d2),
                                        _mm256_add_epi16(_mm256_add_epi16(u0, m0), d0));
    const __m256i gy = _mm256_sub_epi16(_mm256_add_epi16(_mm256_add_epi16(d0, d1), d2),
                                        _mm256_add_epi16(_mm256_add_epi16(u0, u1), u2));
    return _mm256_cmpgt_epi16(_mm256_max_epi16(_mm256_abs_epi16(gx), _mm256_abs_epi16(gy)), lim);
}

// The same 16 pixels at a time, for processors with AVX2.
__attribute__((target("avx2"))) bool gradientRowAvx2(const uint8_t* up, const uint8_t* mid,
                                                     const uint8_t* down, uint32_t n, int limit,
                                                     uint8_t* M) {
    uint32_t i = 0;
    const __m256i lim = _mm256_set1_epi16(int16_t(limit - 1));
    __m256i any = _mm256_setzero_si256();
    for (; i + 16 <= n; i += 16) {
        const __m256i e = edgeMask16(up, mid, down, i, lim);
        any = _mm256_or_si256(any, e);
        const __m128i packed = _mm_packs_epi16(_mm256_castsi256_si128(e), _mm256_extracti128_si256(e, 1));
        _mm_storeu_si128(reinterpret_cast<__m128i*>(M + i), packed);
    }
    return gradientTail(up, mid, down, i, n, limit, M, !_mm256_testz_si256(any, any));
}

// The mask of 32 pixels from i on as bytes, in pixel order.
__attribute__((target("avx2"))) inline __m256i edgeMask32(const uint8_t* up, const uint8_t* mid,
                                                          const uint8_t* down, uint32_t i, __m256i lim) {
    // packs interleaves the 128-bit lanes: pixels 0-7, 16-23 | 8-15, 24-31.
    return _mm256_permute4x64_epi64(_mm256_packs_epi16(edgeMask16(up, mid, down, i, lim),
                                                       edgeMask16(up, mid, down, i + 16, lim)), 0xD8);
}

// gradientRowAvx2 and writeEdgeRow in one pass for 3-byte pixels and n >= 32:
// the mask goes to M and, spread over three bytes a pixel, straight to dst.
// The last block overlaps the one before it instead of a scalar tail.
__attribute__((target("avx2"))) bool edgeRowAvx2(const uint8_t* up, const uint8_t* mid,
                                                 const uint8_t* down, uint32_t n, int limit, uint8_t* M,
                                                 uint8_t* dst) {
    const __m256i lim = _mm256_set1_epi16(int16_t(limit - 1));
    __m256i any = _mm256_setzero_si256();
    for (uint32_t i = 0;;) {
        const __m256i m = edgeMask32(up, mid, down, i, lim);
        any = _mm256_or_si256(any, m);
        _mm256_storeu_si256(reinterpret_cast<__m256i*>(M + i), m);
        spread32(m, dst + 3 * size_t(i));
        if (i + 32 == n) break;
        i = i + 64 <= n ? i + 32 : n - 32;
    }
    return !_mm256_testz_si256(any, any);
}

using GradientRow = bool (*)(const uint8_t*, const uint8_t*, const uint8_t*, uint32_t, int, uint8_t*);
const GradientRow gradientRow = kAvx2 ? gradientRowAvx2 : gradientRowSse;

struct Scratch {
    std::vector<uint8_t> rows;   // three intensity rows
    std::vector<uint8_t> mask;
};

// One region: x in [l + 1, r - 1], y in [t + 1, b - 1]; pixels whose bytes do
// not fit into the edge map are skipped. When clearGaps is set, every edge
// map byte between the previous write position (*cursor) and the next row
// segment is cleared, so that a single region needs no separate clearing.
void filterRegion(const uint8_t* image, const Rect& rc, int g0, uint8_t* edgeMap, size_t mapSize,
                  Scratch& s, bool clearGaps, size_t* cursor) {
    const uint32_t n = rc.right - rc.left + 1;  // columns read
    const uint32_t inner = n - 2;                // columns filtered
    uint8_t* rows[3] = {s.rows.data(), s.rows.data() + n, s.rows.data() + 2 * size_t(n)};
    extractRow(image, rc.left, rc.top, n, rows[0]);
    extractRow(image, rc.left, rc.top + 1, n, rows[1]);
    uint8_t* M = s.mask.data();
    const int limit = g0;
    for (uint32_t y = rc.top + 1; y + 1 <= rc.bottom; ++y) {
        uint8_t* up = rows[(y - 1 - rc.top) % 3];
        uint8_t* mid = rows[(y - rc.top) % 3];
        uint8_t* down = rows[(y + 1 - rc.top) % 3];
        extractRow(image, rc.left, y + 1, n, down);
        const size_t segStart = pixelOffset(rc.left + 1, y);
        if (segStart + 3 > mapSize) continue;
        // Pixels of a row that ends past the map are left out one by one.
        const uint32_t fit = uint32_t(std::min<size_t>(inner, (mapSize - segStart - 3) / g_reg.bpp + 1));
        const size_t segEnd = segStart + size_t(fit - 1) * g_reg.bpp + 3;
        if (clearGaps && segStart > *cursor) std::memset(edgeMap + *cursor, 0, segStart - *cursor);
        bool edges;
        if (kAvx2 && g_reg.bpp == 3 && fit == inner && inner >= 32) {
            edges = edgeRowAvx2(up, mid, down, inner, limit, M + 1, edgeMap + segStart);
        } else {
            edges = gradientRow(up, mid, down, inner, limit, M + 1);
            writeEdgeRow(M + 1, fit, edgeMap + segStart);
        }
        if (clearGaps) *cursor = segEnd;
        if (edges) paintEdgeBlocks(M + 1, rc.left + 1, fit, y);
    }
}

}  // namespace

extern "C" QLX_API int32_t qlxSobel3(const uint8_t* image, uint32_t imageSize, uint32_t regionCount,
                                     const RoiRecord* regions, double threshold, uint8_t* edgeMap,
                                     uint32_t) {
    if (!usable() || !image || !edgeMap) return 0;
    const size_t mapSize = imageSize;
    const int g0 = minimalMagnitude(threshold);

    std::vector<Rect> rects;
    const uint32_t count = (regionCount == 0 || !regions) ? 1 : regionCount;
    uint32_t widest = 0;
    Scratch s;
    try {
        rects.reserve(count);
        for (uint32_t i = 0; i < count; ++i) {
            Rect r;
            const RoiRecord roi = (regionCount == 0 || !regions) ? wholeImage() : regions[i];
            if (!clipUnsigned(roi, r) || r.right - r.left < 2 || r.bottom - r.top < 2) continue;
            rects.push_back(r);
            widest = std::max(widest, r.right - r.left + 1);
        }
        s.rows.resize(3 * size_t(widest));
        s.mask.resize(size_t(widest) + 1);

    } catch (const std::bad_alloc&) {
        std::memset(edgeMap, 0, mapSize);
        return 0;
    }

    if (rects.size() == 1) {
        size_t cursor = 0;
        s.mask[0] = 0;
        s.mask[widest - 1] = 0;
        filterRegion(image, rects[0], g0, edgeMap, mapSize, s, true, &cursor);
        if (cursor < mapSize) std::memset(edgeMap + cursor, 0, mapSize - cursor);
        return 0;
    }
    std::memset(edgeMap, 0, mapSize);
    for (const Rect& r : rects) {
        std::fill(s.mask.begin(), s.mask.end(), 0);
        filterRegion(image, r, g0, edgeMap, mapSize, s, false, nullptr);
    }
    return 0;
}
