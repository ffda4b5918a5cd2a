// Connected groups of an intensity band by runs: each row's runs of in-band
// pixels are joined to the touching runs of the row above with union-find.
// Gives the groups' sizes, sums and bounds in the order a raster scan meets
// their first pixels, without the cost of visiting pixels one by one.
#include "internal.h"

#include <emmintrin.h>

#include <algorithm>
#include <cstring>
#include <new>

namespace qlx {

namespace {

// Bit i: pixel i of the 64 from p is in [lo, lo + span]; n <= 64 are valid.
inline uint64_t bandBits(const uint8_t* p, uint32_t n, uint8_t lo, uint8_t span) {
    alignas(16) uint8_t tail[64];
    if (n < 64) {
        std::memcpy(tail, p, n);
        std::memset(tail + n, 0, 64 - n);
        p = tail;
    }
    const __m128i l = _mm_set1_epi8(char(lo)), s = _mm_set1_epi8(char(span));
    uint64_t bits = 0;
    for (int i = 0; i < 4; ++i) {
        const __m128i v = _mm_sub_epi8(_mm_loadu_si128(reinterpret_cast<const __m128i*>(p + 16 * i)), l);
        const __m128i in = _mm_cmpeq_epi8(_mm_min_epu8(v, s), v);
        bits |= uint64_t(uint32_t(_mm_movemask_epi8(in))) << (16 * i);
    }
    return n < 64 ? bits & ((uint64_t(1) << n) - 1) : bits;
}

// The runs met so far, their union-find parents and the totals of the
// groups they root.
struct RunGroups {
    std::vector<PixelRun>& runs;
    std::vector<uint32_t>& parent;
    std::vector<Component>& stats;

    uint32_t find(uint32_t a) {
        while (parent[a] != a) {
            parent[a] = parent[parent[a]];
            a = parent[a];
        }
        return a;
    }
    // The root is always the run met first, so a group's first run holds
    // its totals.
    void join(uint32_t a, uint32_t b) {
        a = find(a);
        b = find(b);
        if (a == b) return;
        if (b < a) std::swap(a, b);
        parent[b] = a;
        Component& A = stats[a];
        const Component& B = stats[b];
        A.count += B.count;
        A.sumX += B.sumX;
        A.sumY += B.sumY;
        A.minX = std::min(A.minX, B.minX);
        A.minY = std::min(A.minY, B.minY);
        A.maxX = std::max(A.maxX, B.maxX);
        A.maxY = std::max(A.maxY, B.maxY);
    }
    void addRun(uint32_t start, uint32_t end, uint32_t y) {
        const uint32_t n = end - start;
        runs.push_back({start, end, y});
        parent.push_back(uint32_t(parent.size()));
        // Filled in place: a record built aside and copied would be read
        // back before its parts were stored.
        Component& c = stats.emplace_back();
        c.count = n;
        c.sumX = uint64_t(n) * start + uint64_t(n) * (n - 1) / 2;
        c.sumY = uint64_t(n) * y;
        c.minX = start;
        c.maxX = end - 1;
        c.minY = y;
        c.maxY = y;
    }
};

// Adds the runs of in-band pixels of row y within area, 64 pixels at a
// time from the edges of their band bits.
inline void addRowRuns(const uint8_t* row, const Rect& area, uint32_t y, uint8_t lo, uint8_t span,
                       RunGroups& g) {
    uint64_t carry = 0;
    uint32_t open = 0;
    for (uint32_t base = area.left; base <= area.right; base += 64) {
        const uint32_t n = std::min<uint32_t>(64, area.right - base + 1);
        const uint64_t m = bandBits(row + base, n, lo, span);
        const uint64_t before = (m << 1) | carry;
        uint64_t edges = (m & ~before) | (~m & before);
        if (n < 64) edges &= (uint64_t(2) << n) - 1;  // an end just past the row
        while (edges) {
            const uint32_t i = uint32_t(__builtin_ctzll(edges));
            if (m >> i & 1) open = base + i;
            else g.addRun(open, base + i, y);
            edges &= edges - 1;
        }
        carry = n == 64 ? m >> 63 : 0;
    }
    if (carry) g.addRun(open, area.right + 1, y);
}

// Joins the runs from rowBegin on with the runs prevBegin .. prevEnd - 1
// of the row above that touch them, diagonals included.
inline void joinRows(RunGroups& g, size_t prevBegin, size_t prevEnd, size_t rowBegin) {
    const std::vector<PixelRun>& runs = g.runs;
    size_t j = prevBegin;
    for (size_t r = rowBegin; r < runs.size(); ++r) {
        const PixelRun cur = runs[r];
        while (j < prevEnd && runs[j].end < cur.start) ++j;
        for (size_t k = j; k < prevEnd && runs[k].start <= cur.end; ++k)
            g.join(uint32_t(k), uint32_t(r));
    }
}

}  // namespace

bool labelComponents(const uint8_t* plane, uint32_t planeWidth, const Rect& area, uint8_t lo,
                     uint8_t hi, ComponentLabelling& out) {
    out.groups.clear();
    if (hi < lo) return true;
    const uint8_t span = uint8_t(hi - lo);
    RunGroups g{out.runs, out.parent, out.stats};
    g.runs.clear();
    g.parent.clear();
    g.stats.clear();
    try {
        size_t prevBegin = 0, prevEnd = 0;
        for (uint32_t y = area.top; y <= area.bottom; ++y) {
            const size_t rowBegin = g.runs.size();
            addRowRuns(plane + size_t(y) * planeWidth, area, y, lo, span, g);
            joinRows(g, prevBegin, prevEnd, rowBegin);
            prevBegin = rowBegin;
            prevEnd = g.runs.size();
        }
        for (uint32_t i = 0; i < g.parent.size(); ++i)
            if (g.parent[i] == i) out.groups.push_back(g.stats[i]);
    } catch (const std::bad_alloc&) {
        return false;
    }
    return true;
}

}  // namespace qlx
