// Blob analysis: 8-connected groups of pixels in an intensity band, filled
// in scan order with a depth-limited fill, painted and listed.
#include "internal.h"

#include <sys/mman.h>

#include <smmintrin.h>

#include <algorithm>
#include <cstring>

namespace qlx {

namespace {

constexpr uint32_t kMaxDepth = kFillDepth;
// Within this many steps of the limit the fill is followed by plain
// recursion, which needs no frames kept.
constexpr uint32_t kShallow = 2;

// Cell codes of the work map: bit 1 = a seed for the scan (in band in the
// image argument, not yet labelled), bit 0 = open to the fill (in band in the
// registered frame, inside the fill bounds, not yet labelled).
constexpr uint8_t kFillable = 1;
constexpr uint8_t kSeed = 2;
// A pixel taken by the blob being filled while it waits to be painted: its
// cells are painted together once the fill ends, then cleared to 0.
constexpr uint8_t kTaken = 4;
// Spans of pixels a blob's fill records for its painting; a blob of more
// spans is painted from its cells, row by row over its bounds.
constexpr uint32_t kSpanCap = 4096;

// Grow-only scratch memory kept between calls, taken straight from the kernel
// so that a refused request fails cleanly instead of ending the process.
class Scratch {
public:
    uint8_t* get(size_t bytes) {
        if (bytes <= cap_) return data_;
        release();
        void* p = mmap(nullptr, bytes, PROT_READ | PROT_WRITE, MAP_PRIVATE | MAP_ANONYMOUS, -1, 0);
        if (p == MAP_FAILED) return nullptr;
        data_ = static_cast<uint8_t*>(p);
        cap_ = bytes;
        return data_;
    }
    ~Scratch() { release(); }

private:
    void release() {
        if (data_) munmap(data_, cap_);
        data_ = nullptr;
        cap_ = 0;
    }
    uint8_t* data_ = nullptr;
    size_t cap_ = 0;
};

struct Stats {
    uint32_t count = 0;
    uint64_t sumX = 0, sumY = 0;
    uint32_t minX = 1000000000u, minY = 1000000000u, maxX = 0, maxY = 0;
};

struct Context {
    uint8_t* work = nullptr;   // (n + 2) x (rows + 2) cells with a zero border
    uint32_t workWidth = 0;
    // Frames of the fill: pixels pos + i * step (x + i * step, row y) for
    // i < len, entered in that order. A single step is a segment of one.
    struct Segment {
        uint32_t pos, x, y, len;
        int32_t step;
    }* stack = nullptr;
    uint8_t* done = nullptr;   // labelled pixels of earlier regions, width x height
    uint8_t* labelMap = nullptr;
    size_t mapSize = 0;
    uint8_t colour[56] = {};  // the blob's colour, repeated 16 times, then from byte 2
    uint32_t label = 0;
    uint32_t abortAbove = UINT32_MAX;
    // Pixels taken by a painting fill: spans of cells pos .. pos + n - 1, at
    // x .. x + n - 1 of row y, as long as they fit in kSpanCap.
    struct Taken {
        uint32_t pos, x, y, n;
    }* taken = nullptr;
    uint32_t takenCount = 0;
};

constexpr int kDx[8] = {1, 0, -1, 0, 1, -1, 1, -1};
constexpr int kDy[8] = {0, 1, 0, -1, 1, -1, -1, 1};

// Non-zero when a cell's 3 x 3 neighbourhood holds an open cell. Read byte
// by byte: the cells were mostly written just before, and wider reads would
// wait for those writes to reach the cache.
inline uint32_t neighbourhood(const uint8_t* work, uint32_t pos, uint32_t ww) {
    const uint8_t* u = work + pos - ww;
    const uint8_t* m = work + pos;
    const uint8_t* d = work + pos + ww;
    return (u[-1] | u[0] | u[1] | m[-1] | m[1] | d[-1] | d[0] | d[1]) & kFillable;
}

// Number of fillable cells from p on, along the row (the border stops it).
inline uint32_t runLength(const uint8_t* p) {
    uint32_t n = 0;
    const __m128i one = _mm_set1_epi8(1), zero = _mm_setzero_si128();
    for (;;) {
        const __m128i v = _mm_and_si128(_mm_loadu_si128(reinterpret_cast<const __m128i*>(p + n)), one);
        const uint32_t open = uint32_t(_mm_movemask_epi8(_mm_cmpeq_epi8(v, zero)));
        if (open) return n + uint32_t(__builtin_ctz(open));
        n += 16;
    }
}

// Bit j: the 3 x 3 neighbourhood of cell p + j holds an open cell.
inline uint32_t openNeighbourhoods(const uint8_t* work, uint32_t p, uint32_t ww) {
    __m128i v = _mm_setzero_si128();
    for (const uint8_t* r : {work + p - ww - 1, work + p - 1, work + p + ww - 1})
        for (int d = 0; d < 3; ++d)
            v = _mm_or_si128(v, _mm_loadu_si128(reinterpret_cast<const __m128i*>(r + d)));
    const __m128i one = _mm_set1_epi8(1);
    return uint32_t(_mm_movemask_epi8(_mm_cmpeq_epi8(_mm_and_si128(v, one), one)));
}

// The newest frame of a segment whose neighbourhood still holds an open
// cell, or -1. Frames with a closed neighbourhood would only step back.
template <typename Segment>
inline int64_t newestOpenFrame(const uint8_t* work, const Segment& s, uint32_t ww) {
    if (s.len == 1) return neighbourhood(work, s.pos, ww) ? 0 : -1;
    if (s.step > 0) {
        for (int64_t hi = int64_t(s.len) - 1; hi >= 0;) {
            const int64_t lo = std::max<int64_t>(0, hi - 15);
            const uint32_t m = openNeighbourhoods(work, s.pos + uint32_t(lo), ww) & ((2u << (hi - lo)) - 1);
            if (m) return lo + 31 - __builtin_clz(m);
            hi = lo - 1;
        }
        return -1;
    }
    const uint32_t low = s.pos - (s.len - 1);
    for (uint32_t q = low; q <= s.pos; q += 16) {
        const uint32_t valid = s.pos - q >= 15 ? 0xFFFFu : (2u << (s.pos - q)) - 1;
        const uint32_t m = openNeighbourhoods(work, q, ww) & valid;
        if (m) return int64_t(s.pos - (q + uint32_t(__builtin_ctz(m))));
    }
    return -1;
}

// Paints the palette blocks of pixels x0 .. x0 + n - 1 of row y: rows y and
// y + 1, columns x0 .. x0 + n. pattern holds the colour 16 times and once
// more from its byte 2 on (for 4-byte writes that end on a pixel's end).
// Paints cols pixels (cols >= 1) of one overlay row from p in the colour of
// pattern.
inline void paintRow(uint8_t* row, uint32_t cols, const uint8_t* pattern) {
    const uint32_t bpp = g_reg.bpp;
    if (bpp == 3) {
        // Three bytes a pixel: 4-byte writes 3 bytes apart, the last one
        // moved back a byte so that it ends with the span.
        uint32_t i = 0;
        for (; i + 16 < cols; i += 16) std::memcpy(row + 3 * size_t(i), pattern, 48);
        for (; i + 1 < cols; ++i) std::memcpy(row + 3 * size_t(i), pattern, 4);
        std::memcpy(row + 3 * size_t(i) - 1, pattern + 48, 4);
        return;
    }
    for (uint32_t i = 0; i < cols; ++i) {
        uint8_t* q = row + size_t(i) * bpp;
        q[0] = pattern[0]; q[1] = pattern[1]; q[2] = pattern[2];
    }
}

inline void paintSpan(uint32_t x0, uint32_t y, uint32_t n, const uint8_t* pattern) {
    uint8_t* p = g_reg.overlay + size_t(x0) * g_reg.bpp + size_t(y) * g_reg.stride;
    paintRow(p, n + 1, pattern);
    paintRow(p + g_reg.stride, n + 1, pattern);
}

// The totals of one fill and the ways it takes pixels, with what they need
// at hand.
template <bool Paint, bool Map, bool Done>
struct Filler {
    Context& c;
    uint8_t* const work;
    const uint32_t width;
    uint32_t offsets[8];
    uint32_t count = 0, minX, minY, maxX, maxY;
    uint64_t sumX = 0, sumY = 0;

    Filler(Context& ctx, const Stats& st)
        : c(ctx), work(ctx.work), width(g_reg.width), minX(st.minX), minY(st.minY), maxX(st.maxX),
          maxY(st.maxY) {
        for (int k = 0; k < 8; ++k) offsets[k] = uint32_t(kDy[k] * int64_t(ctx.workWidth) + kDx[k]);
    }

    void mapSpan(uint32_t x, uint32_t y, uint32_t n) {
        const uint32_t bpp = g_reg.bpp;
        size_t o = size_t(x) * bpp + size_t(y) * g_reg.stride;
        for (uint32_t i = 0; i < n && o + 3 <= c.mapSize; ++i, o += bpp) {
            c.labelMap[o] = uint8_t(c.label);
            c.labelMap[o + 1] = uint8_t(c.label >> 8);
            c.labelMap[o + 2] = uint8_t(c.label >> 16);
        }
    }
    // A painting fill marks its pixels as taken and paints them once it
    // ends: within a blob the order of painting makes no difference, and a
    // blob's pixels painted together take far fewer, longer writes.
    void record(uint32_t pos, uint32_t x, uint32_t y, uint32_t n) {
        if (c.takenCount < kSpanCap) c.taken[c.takenCount] = {pos, x, y, n};
        ++c.takenCount;
    }
    // Takes pixels x .. x + n - 1 of row y (cells pos .. pos + n - 1).
    void takeSpan(uint32_t pos, uint32_t x, uint32_t y, uint32_t n) {
        std::memset(work + pos, Paint ? kTaken : 0, n);
        count += n;
        sumX += uint64_t(n) * x + uint64_t(n) * (n - 1) / 2;
        sumY += uint64_t(n) * y;
        minX = x < minX ? x : minX;
        maxX = x + n - 1 > maxX ? x + n - 1 : maxX;
        minY = y < minY ? y : minY;
        maxY = y > maxY ? y : maxY;
        if constexpr (Paint) record(pos, x, y, n);
        if constexpr (Map) mapSpan(x, y, n);
        if constexpr (Done) std::memset(c.done + size_t(y) * width + x, 1, n);
    }
    void take(uint32_t pos, uint32_t x, uint32_t y) {
        work[pos] = Paint ? kTaken : 0;
        ++count;
        sumX += x;
        sumY += y;
        minX = x < minX ? x : minX;
        maxX = x > maxX ? x : maxX;
        minY = y < minY ? y : minY;
        maxY = y > maxY ? y : maxY;
        if constexpr (Paint) record(pos, x, y, 1);
        if constexpr (Map) mapSpan(x, y, 1);
        if constexpr (Done) c.done[size_t(y) * width + x] = 1;
    }
    // Close below the limit the fill is followed pixel by pixel, as the
    // recursion it stands for: each pixel reached, in order, is entered
    // and followed before the next one is tried.
    void follow(uint32_t p, uint32_t px, uint32_t py, uint32_t from, uint32_t levels) {
        for (uint32_t j = from; j < 8; ++j) {
            const uint32_t q = p + offsets[j];
            if (!(work[q] & kFillable)) continue;
            const uint32_t qx = px + uint32_t(kDx[j]), qy = py + uint32_t(kDy[j]);
            take(q, qx, qy);
            if (levels > 1) follow(q, qx, qy, 0, levels - 1);
        }
    }
    void store(Stats& st) const {
        st.count = count;
        st.sumX = sumX;
        st.sumY = sumY;
        st.minX = minX;
        st.minY = minY;
        st.maxX = maxX;
        st.maxY = maxY;
    }
};

// Where the fill stands: the newest frame's pixel (cell pos, pixel x, y),
// the depth and the number of segments on the stack.
struct Cursor {
    uint32_t pos, x, y, sp, segments;
};

// Enters the open neighbour k of the cursor's pixel, a whole run of them
// rightwards or leftwards, as one new segment of frames.
template <typename F>
inline void stepForward(F& f, Context::Segment* stack, uint32_t ww, uint32_t k, Cursor& at) {
    if (k == 0) {
        const uint32_t run = std::min(runLength(f.work + at.pos + 1), kMaxDepth - at.sp);
        f.takeSpan(at.pos + 1, at.x + 1, at.y, run);
        stack[at.segments++] = {at.pos + 1, at.x + 1, at.y, run, 1};
        at.sp += run;
        at.pos += run;
        at.x += run;
    } else if (k == 2) {
        // Leftwards the fill goes on while the pixel below the last
        // one taken is closed (its right one was taken).
        const uint32_t room = kMaxDepth - at.sp;
        uint32_t run = 1;
        while (run < room && (f.work[at.pos - run - 1] & kFillable) &&
               !(f.work[at.pos - run + ww] & kFillable))
            ++run;
        f.takeSpan(at.pos - run, at.x - run, at.y, run);
        stack[at.segments++] = {at.pos - 1, at.x - 1, at.y, run, -1};
        at.sp += run;
        at.pos -= run;
        at.x -= run;
    } else {
        at.pos += f.offsets[k];
        at.x += uint32_t(kDx[k]);
        at.y += uint32_t(kDy[k]);
        stack[at.segments++] = {at.pos, at.x, at.y, 1, 0};
        ++at.sp;
        f.take(at.pos, at.x, at.y);
    }
}

// Steps back from the cursor's frame and from every frame below it whose
// neighbourhood is closed. False when none is left: the fill is complete.
inline bool stepBack(Context::Segment* stack, const uint8_t* work, uint32_t ww, Cursor& at) {
    --at.sp;
    if (--stack[at.segments - 1].len == 0) --at.segments;
    while (at.segments > 0) {
        auto& seg = stack[at.segments - 1];
        const int64_t i = newestOpenFrame(work, seg, ww);
        if (i >= 0) {
            at.sp -= seg.len - 1 - uint32_t(i);
            seg.len = uint32_t(i) + 1;
            at.pos = seg.pos + uint32_t(i * seg.step);
            at.x = seg.x + uint32_t(i * seg.step);
            at.y = seg.y;
            return true;
        }
        at.sp -= seg.len;
        --at.segments;
    }
    return false;
}

// The depth-first fill with an explicit stack: the same visit order and the
// same cut-off as the recursive fill that tries the eight neighbours in the
// order of kDx / kDy. A frame is only its pixel: it never needs to remember
// how far it got, since the directions it has tried are taken or were
// closed and cells never reopen, so the first open direction of its
// neighbourhood is the one it would try next. A step to the right
// takes the whole open run at once, since each of its pixels would step
// right again first, and the run is kept as one segment of frames; stepping
// back tests the neighbourhoods of 16 of its frames at a time. Within
// kShallow steps of the limit the rest of a frame's work is done by plain
// recursion of bounded depth. Returns false when the blob grew beyond c.abortAbove
// (the fill is then left unfinished).
template <bool Paint, bool Map, bool Done>
bool fill(Context& c, uint32_t pos0, uint32_t x0, uint32_t y0, Stats& st) {
    Filler<Paint, Map, Done> f(c, st);
    const uint32_t ww = c.workWidth, limit = c.abortAbove;
    f.take(pos0, x0, y0);
    c.stack[0] = {pos0, x0, y0, 1, 0};
    Cursor at{pos0, x0, y0, 1, 1};
    for (;;) {
        // At the depth limit every neighbour would be refused.
        uint32_t k = 0;
        if (at.sp < kMaxDepth)
            while (k < 8 && !(f.work[at.pos + f.offsets[k]] & kFillable)) ++k;
        else
            k = 8;
        if (k < 8) {
            const bool shallow = at.sp + kShallow >= kMaxDepth;
            if (shallow)
                f.follow(at.pos, at.x, at.y, k, kMaxDepth - at.sp);
            else
                stepForward(f, c.stack, ww, k, at);
            if (f.count > limit) {
                st.count = f.count;
                return false;
            }
            // A followed frame has done all its work: step back from it.
            if (!shallow) continue;
        }
        if (!stepBack(c.stack, f.work, ww, at)) break;
    }
    f.store(st);
    return true;
}

using FillFn = bool (*)(Context&, uint32_t, uint32_t, uint32_t, Stats&);

template <bool P, bool M>
FillFn pickDone(bool d) { return d ? fill<P, M, true> : fill<P, M, false>; }
template <bool P>
FillFn pickMap(bool m, bool d) { return m ? pickDone<P, true>(d) : pickDone<P, false>(d); }
FillFn pickFill(bool p, bool m, bool d) { return p ? pickMap<true>(m, d) : pickMap<false>(m, d); }

Scratch g_work, g_done, g_rows;
Context::Segment g_stack[kMaxDepth];
Context::Taken g_taken[kSpanCap];

// Paints the palette blocks of pixels x .. x + n - 1 of row y. The fill
// never reaches the last column or row, so only the first ones fall outside
// the block bounds.
inline void paintPixels(uint32_t x, uint32_t y, uint32_t n, const uint8_t* pattern) {
    if (y == 0) return;
    const uint32_t skip = x == 0 ? 1 : 0;
    if (n > skip) paintSpan(x + skip, y, n - skip, pattern);
}

// Paints the blob just filled and clears its taken cells: from its recorded
// spans, or when they did not all fit, from the cells within its bounds.
// rowBase0 is the cell of pixel (left, top) of the region.
void paintTaken(Context& c, const Stats& st, uint32_t left, uint32_t top, uint32_t rowBase0) {
    if (c.takenCount <= kSpanCap) {
        for (uint32_t i = 0; i < c.takenCount; ++i) {
            const Context::Taken& t = c.taken[i];
            std::memset(c.work + t.pos, 0, t.n);
            paintPixels(t.x, t.y, t.n, c.colour);
        }
        return;
    }
    // Overlay row Y holds the blocks of pixel rows Y - 1 and Y: it is
    // painted once, over the runs of pixels taken in either. A pixel row is
    // cleared once both overlay rows it reaches are painted.
    const uint32_t ww = c.workWidth, cols = st.maxX - st.minX + 1;
    const uint32_t i0 = st.minX == 0 ? 1 : 0;  // the first column has no blocks
    const __m128i taken = _mm_set1_epi8(char(kTaken)), zero = _mm_setzero_si128();
    auto rowCells = [&](uint32_t y) {
        return c.work + rowBase0 + size_t(y - top) * ww + (st.minX - left);
    };
    const uint32_t bpp = g_reg.bpp;
    for (uint32_t Y = std::max(st.minY, 1u); Y <= st.maxY + 1; ++Y) {
        const uint8_t* a = Y - 1 >= std::max(st.minY, 1u) ? rowCells(Y - 1) : nullptr;
        const uint8_t* b = Y <= st.maxY ? rowCells(Y) : nullptr;
        auto takenAt = [&](uint32_t i) {
            return (a && a[i] == kTaken) || (b && b[i] == kTaken);
        };
        uint8_t* row = g_reg.overlay + size_t(Y) * g_reg.stride;
        uint32_t i = i0;
        while (i < cols) {
            if (i + 16 <= cols) {
                const __m128i va = a ? _mm_loadu_si128(reinterpret_cast<const __m128i*>(a + i)) : zero;
                const __m128i vb = b ? _mm_loadu_si128(reinterpret_cast<const __m128i*>(b + i)) : zero;
                const uint32_t m = uint32_t(_mm_movemask_epi8(
                    _mm_or_si128(_mm_cmpeq_epi8(va, taken), _mm_cmpeq_epi8(vb, taken))));
                if (!m) {
                    i += 16;
                    continue;
                }
                i += uint32_t(__builtin_ctz(m));
            } else if (!takenAt(i)) {
                ++i;
                continue;
            }
            uint32_t end = i + 1;
            while (end < cols && takenAt(end)) ++end;
            paintRow(row + size_t(st.minX + i) * bpp, end - i + 1, c.colour);
            i = end;
        }
        if (a) {
            uint8_t* cell = rowCells(Y - 1);
            for (uint32_t k = 0; k < cols; ++k) cell[k] = cell[k] == kTaken ? 0 : cell[k];
        }
    }
    // Pixel row 0 paints nothing but is cleared all the same.
    if (st.minY == 0) {
        uint8_t* cell = rowCells(0);
        for (uint32_t k = 0; k < cols; ++k) cell[k] = cell[k] == kTaken ? 0 : cell[k];
    }
}

// The intensity band [low, high] as the cells' tests read it.
struct Band {
    bool empty;
    uint8_t lo, span;
    uint8_t in(uint8_t v) const { return !empty && uint8_t(v - lo) <= span; }
};

// The working memory of a search, sized for its largest region.
struct Memory {
    uint8_t* work = nullptr;  // the work map
    uint8_t* rows = nullptr;  // two extracted image rows
    uint8_t* done = nullptr;  // labelled pixels, only with several regions
};

// Takes the working memory for the live regions of s (those that clip to
// the image), so that a refusal leaves everything untouched. Returns 0 when
// no region is live, -1 when the memory was refused, else 1.
int reserveMemory(const BlobSearch& s, Memory& m) {
    const bool whole = s.regionCount == 0 || !s.regions;
    const uint32_t count = whole ? 1 : s.regionCount;
    uint32_t maxCols = 0, maxRows = 0, live = 0;
    for (uint32_t i = 0; i < count; ++i) {
        Rect r;
        if (!clipUnsigned(whole ? wholeImage() : s.regions[i], r)) continue;
        ++live;
        maxCols = std::max(maxCols, r.right - r.left + 1);
        maxRows = std::max(maxRows, r.bottom - r.top + 1);
    }
    if (live == 0) return 0;
    const size_t workBytes = (size_t(maxCols) + 2) * (size_t(maxRows) + 2);
    const size_t planeBytes = size_t(g_reg.width) * g_reg.height;
    // The padding lets the neighbourhood and run reads run past the last cell.
    m.work = g_work.get(workBytes + 32);
    m.rows = g_rows.get(2 * size_t(maxCols) + 64);
    m.done = live > 1 ? g_done.get(planeBytes) : nullptr;
    if (!m.work || !m.rows || (live > 1 && !m.done)) return -1;
    if (m.done) std::memset(m.done, 0, planeBytes);
    return 1;
}

// Closes the cells of pixels that an earlier region labelled.
inline void closeDone(const Memory& m, uint32_t left, uint32_t y, uint32_t cols, uint8_t* cell) {
    if (!m.done) return;
    const uint8_t* d = m.done + size_t(y) * g_reg.width + left;
    for (uint32_t i = 0; i < cols; ++i)
        if (d[i]) cell[i] = 0;
}

// The cells of row y of region r, from cell on, when the image argument is
// the registered frame, read once: a cell is a seed and open together,
// except in the last column and row, which only seed.
inline void bandRowCells(const Band& band, const Memory& m, const Rect& r, uint32_t cols, uint32_t y,
                         uint8_t* cell) {
    const uint32_t fillCols = y < r.bottom ? cols - 1 : 0;
    bandCells(g_reg.frame, r.left, y, fillCols, band.lo, band.span, kSeed | kFillable, cell);
    bandCells(g_reg.frame, r.left + fillCols, y, cols - fillCols, band.lo, band.span, kSeed, cell + fillCols);
    closeDone(m, r.left, y, cols, cell);
}

// The cells of row y of region r, from cell on, in the other cases: seeds
// from the image argument, open cells from the registered frame (or its
// plane), except in the last column and row, which only seed.
void mixedRowCells(const BlobSearch& s, const Band& band, const Memory& m, const Rect& r, uint32_t cols,
                   uint32_t y, uint8_t* cell) {
    const bool sameImage = s.image == g_reg.frame;
    const uint8_t* vf;
    const uint8_t* vi;
    if (sameImage && s.plane) {
        vf = vi = s.plane + size_t(y) * g_reg.width + r.left;
    } else {
        extractRow(g_reg.frame, r.left, y, cols, m.rows);
        vf = m.rows;
        if (sameImage) {
            vi = m.rows;
        } else {
            extractRow(s.image, r.left, y, cols, m.rows + cols);
            vi = m.rows + cols;
        }
    }
    const uint32_t fillCols = y < r.bottom ? cols - 1 : 0;
    uint32_t i0 = 0;
    if (vi == vf && !band.empty) {
        // One image: a cell is a seed and open together.
        const __m128i l = _mm_set1_epi8(char(band.lo)), sp = _mm_set1_epi8(char(band.span)),
                      both = _mm_set1_epi8(kSeed | kFillable);
        for (; i0 + 16 <= fillCols; i0 += 16) {
            const __m128i v = _mm_sub_epi8(_mm_loadu_si128(reinterpret_cast<const __m128i*>(vf + i0)), l);
            const __m128i in = _mm_cmpeq_epi8(_mm_min_epu8(v, sp), v);
            _mm_storeu_si128(reinterpret_cast<__m128i*>(cell + i0), _mm_and_si128(in, both));
        }
    }
    for (uint32_t i = i0; i < fillCols; ++i)
        cell[i] = uint8_t((band.in(vi[i]) << 1) | band.in(vf[i]));
    for (uint32_t i = fillCols; i < cols; ++i) cell[i] = uint8_t(band.in(vi[i]) << 1);
    closeDone(m, r.left, y, cols, cell);
}

// Builds the work map of region r; its border stays zero.
void buildWorkMap(const BlobSearch& s, const Band& band, const Memory& m, const Rect& r) {
    const uint32_t cols = r.right - r.left + 1, nrows = r.bottom - r.top + 1;
    const uint32_t ww = cols + 2;
    const bool readOnce = s.image == g_reg.frame && !s.plane && !band.empty;
    std::memset(m.work, 0, ww);
    std::memset(m.work + size_t(nrows + 1) * ww, 0, ww);
    for (uint32_t y = r.top; y <= r.bottom; ++y) {
        uint8_t* cell = m.work + size_t(y - r.top + 1) * ww;
        cell[0] = 0;
        cell[cols + 1] = 0;
        if (readOnce)
            bandRowCells(band, m, r, cols, y, cell + 1);
        else
            mixedRowCells(s, band, m, r, cols, y, cell + 1);
    }
}

// What the scan carries from seed to seed and from region to region.
struct Scan {
    const BlobSearch& s;
    Context& c;
    FillFn fillFn;
    uint32_t n = 0;  // blobs listed
    uint32_t nextColour = 1;
};

// The blob's colour in c.colour: 16 times, then once more from byte 2.
inline void setColour(Context& c, uint32_t colourIndex) {
    const uint32_t V = paletteValue(colourIndex);
    for (int b = 0; b < 56; ++b) {
        const int k = b < 48 ? b % 3 : (b - 48 + 2) % 3;
        c.colour[b] = uint8_t(V >> (8 * k));
    }
}

// Stores the blob of st in rec, and lists it (counts it in n) when its
// size is within the search's range.
inline void listBlob(const BlobSearch& s, const Stats& st, BlobRecord& rec, uint32_t& n) {
    rec.pixelCount = st.count;
    if (st.count) rec.index = n;
    rec.cogX = double(st.sumX);
    rec.cogY = double(st.sumY);
    rec.weightX = rec.weightY = double(st.count);
    rec.minX = st.minX;
    rec.minY = st.minY;
    rec.maxX = st.maxX;
    rec.maxY = st.maxY;
    if (st.count < s.minPixels || st.count > s.maxPixels) return;
    if (rec.weightX > 0 && rec.weightY > 0) {
        rec.cogX /= rec.weightX;
        rec.cogY /= rec.weightY;
    } else {
        rec.cogX = rec.cogY = 0;
    }
    rec.width = double(rec.maxX - rec.minX);
    rec.height = double(rec.maxY - rec.minY);
    ++n;
}

enum class Seeded { Next, Full, Aborted };

// The blob seeded at pixel (x, y), cell pos of region r: filled when its
// cell is open, painted, listed. Full once the list holds maxBlobs.
inline Seeded takeSeed(Scan& sc, const Rect& r, uint32_t pos, uint32_t x, uint32_t y) {
    Context& c = sc.c;
    BlobRecord& rec = sc.s.blobs[sc.n];
    rec = BlobRecord{};
    rec.colourIndex = sc.nextColour;
    Stats st;
    if (c.work[pos] & kFillable) {
        setColour(c, sc.nextColour);
        c.label = sc.n + 1;
        c.takenCount = 0;
        if (!sc.fillFn(c, pos, x, y, st)) return Seeded::Aborted;
        if (sc.s.paint) paintTaken(c, st, r.left, r.top, c.workWidth + 1);
    }
    listBlob(sc.s, st, rec, sc.n);
    sc.nextColour = sc.nextColour == 6 ? 9 : sc.nextColour == 15 ? 1 : sc.nextColour + 1;
    return sc.n == sc.s.maxBlobs ? Seeded::Full : Seeded::Next;
}

// The first seed among cells i .. cols - 1 from cell, or cols when there is
// none.
inline uint32_t nextSeed(const uint8_t* cell, uint32_t i, uint32_t cols) {
    while (i < cols) {
        if (i + 16 <= cols) {
            // The seed bits of 16 cells, moved to the top of each byte.
            const __m128i v = _mm_loadu_si128(reinterpret_cast<const __m128i*>(cell + i));
            const uint32_t seeds = uint32_t(_mm_movemask_epi8(_mm_slli_epi16(v, 6)));
            if (seeds) return i + uint32_t(__builtin_ctz(seeds));
            i += 16;
        } else if (cell[i] & kSeed) {
            return i;
        } else {
            ++i;
        }
    }
    return cols;
}

// Scans the work map of region r in raster order; every seed starts one
// fill.
Seeded scanRegion(Scan& sc, const Rect& r) {
    const uint32_t cols = r.right - r.left + 1, ww = sc.c.workWidth;
    for (uint32_t y = r.top; y <= r.bottom; ++y) {
        const uint32_t rowBase = (y - r.top + 1) * ww + 1;
        const uint8_t* cell = sc.c.work + rowBase;
        for (uint32_t i = nextSeed(cell, 0, cols); i < cols; i = nextSeed(cell, i + 1, cols)) {
            const Seeded got = takeSeed(sc, r, rowBase + i, r.left + i, y);
            if (got != Seeded::Next) return got;
        }
    }
    return Seeded::Next;
}

void paintCross(const BlobRecord& b) {
    const uint32_t X = uint32_t(b.cogX), Y = uint32_t(b.cogY);
    if (X >= 3)
        for (uint32_t y = Y; y <= Y + 1; ++y)
            for (uint32_t x = X - 3; x <= X + 4; ++x) paintBlock(x, y, 128, 128, 128);
    if (Y >= 3)
        for (uint32_t x = X; x <= X + 1; ++x)
            for (uint32_t y = Y - 3; y <= Y + 4; ++y) paintBlock(x, y, 128, 128, 128);
}

}  // namespace

int64_t findBlobs(const BlobSearch& s) {
    if (s.maxBlobs == 0 || !s.blobs) return 0;
    Memory m;
    const int reserved = reserveMemory(s, m);
    if (reserved <= 0) return reserved;
    if (s.labelMap) std::memset(s.labelMap, 0, s.mapSize);

    const bool bandEmpty = s.low > 255 || s.low > s.high;
    const Band band{bandEmpty, uint8_t(s.low),
                    uint8_t(std::min<uint32_t>(s.high, 255) - std::min<uint32_t>(s.low, 255))};

    Context c;
    c.stack = g_stack;
    c.done = m.done;
    c.labelMap = s.labelMap;
    c.mapSize = s.mapSize;
    c.abortAbove = s.paint || s.labelMap ? UINT32_MAX : s.abortAbove;
    c.taken = g_taken;
    Scan sc{s, c, pickFill(s.paint, s.labelMap != nullptr, m.done != nullptr)};

    const bool whole = s.regionCount == 0 || !s.regions;
    const uint32_t count = whole ? 1 : s.regionCount;
    for (uint32_t ri = 0; ri < count; ++ri) {
        Rect r;
        if (!clipUnsigned(whole ? wholeImage() : s.regions[ri], r)) continue;
        c.work = m.work;
        c.workWidth = r.right - r.left + 3;
        buildWorkMap(s, band, m, r);
        const Seeded got = scanRegion(sc, r);
        if (got == Seeded::Aborted) return -2;
        if (got == Seeded::Full) break;
    }

    if (s.mark && s.paint)
        for (uint32_t i = 0; i < sc.n; ++i) paintCross(s.blobs[i]);
    return sc.n;
}

void sortBlobs(uint32_t kind, BlobRecord* blobs, uint32_t count) {
    if (count < 2 || !blobs || (kind != 1 && kind != 2)) return;
    for (uint32_t i = 0; i + 1 < count; ++i)
        for (uint32_t j = i + 1; j < count; ++j)
            if (blobs[i].pixelCount < blobs[j].pixelCount) {
                const BlobRecord t = blobs[i];
                blobs[i] = blobs[j];
                blobs[j] = t;
            }
}

}  // namespace qlx

using namespace qlx;

namespace {

int32_t runFind(const uint8_t* image, uint32_t imageSize, uint32_t regionCount,
                const RoiRecord* regions, uint32_t low, uint32_t high, uint32_t minPixels,
                uint32_t maxPixels, uint32_t mark, BlobRecord* blobs, uint32_t* outCount,
                uint32_t maxBlobs, uint8_t* labelMap) {
    if (!usable() || !image) {
        if (outCount) *outCount = 0;
        return 0;
    }
    BlobSearch s;
    s.image = image;
    s.regionCount = regionCount;
    s.regions = regions;
    s.low = low;
    s.high = high;
    s.minPixels = minPixels;
    s.maxPixels = maxPixels;
    s.mark = mark;
    s.blobs = blobs;
    s.maxBlobs = maxBlobs;
    s.labelMap = labelMap;
    s.mapSize = imageSize;
    const int64_t n = findBlobs(s);
    if (outCount) *outCount = n < 0 ? 0 : uint32_t(n);
    return 0;
}

}  // namespace

extern "C" QLX_API int32_t qlxFindBlobs(const uint8_t* image, uint32_t imageSize,
                                        uint32_t regionCount, const RoiRecord* regions,
                                        uint32_t low, uint32_t high, uint32_t minPixels,
                                        uint32_t maxPixels, uint32_t mark, BlobRecord* blobs,
                                        uint32_t* outCount, uint32_t maxBlobs) {
    return runFind(image, imageSize, regionCount, regions, low, high, minPixels, maxPixels, mark,
                   blobs, outCount, maxBlobs, nullptr);
}

extern "C" QLX_API int32_t qlxFindBlobsMap(const uint8_t* image, uint32_t imageSize,
                                           uint32_t regionCount, const RoiRecord* regions,
                                           uint32_t low, uint32_t high, uint32_t minPixels,
                                           uint32_t maxPixels, uint32_t mark, BlobRecord* blobs,
                                           uint32_t* outCount, uint32_t maxBlobs,
                                           uint8_t* labelMap) {
    return runFind(image, imageSize, regionCount, regions, low, high, minPixels, maxPixels, mark,
                   blobs, outCount, maxBlobs, labelMap);
}

extern "C" QLX_API int32_t qlxSortBlobList(uint32_t kind, BlobRecord* blobs, uint32_t count) {
    sortBlobs(kind, blobs, count);
    return 0;
}
