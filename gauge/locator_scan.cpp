// The coarse scan at the pyramid's top: for every angle step, every origin
// position's count of matching model points, summed a row of positions at
// a time from byte maps of where each orientation bin matches.
#include "locator.h"

#include <algorithm>
#include <cstring>

namespace qg {

namespace {

// Bytes summed in one instruction; the maps and counts carry this much slack at their ends.
typedef uint8_t Bytes __attribute__((vector_size(16)));
constexpr size_t kLane = sizeof(Bytes);

// One byte map a bin: 1 where the picture's spread orientations match a
// model point of that bin. A margin of misses all round lets every point's
// offset be read without a bounds test; a last map of misses serves the
// points that lie off the picture from every origin (a model larger than
// the picture).
struct Responses {
    int pad = 0, wp = 0, hp = 0;
    size_t plane = 0;
    std::vector<uint8_t> maps;  // kBins + 1 planes of wp x hp
};

void buildResponses(const Level& lv, int pad, bool either, Responses& r) {
    r.pad = pad;
    r.wp = lv.w + 2 * pad;
    r.hp = lv.h + 2 * pad;
    r.plane = static_cast<size_t>(r.wp) * r.hp;
    r.maps.assign(r.plane * (kBins + 1) + kLane, 0);
    for (int b = 0; b < kBins; ++b) {
        const uint16_t want = wantMask(b * (2 * M_PI / kBins), either);
        for (int y = 0; y < lv.h; ++y) {
            const uint16_t* m = lv.mask.data() + static_cast<size_t>(y) * lv.w;
            uint8_t* o = r.maps.data() + b * r.plane + static_cast<size_t>(y + pad) * r.wp + pad;
            for (int x = 0; x < lv.w; ++x) o[x] = (m[x] & want) != 0;
        }
    }
}

constexpr size_t kChunk = 4096;  // positions summed at once, in the first cache

inline Bytes load(const uint8_t* p) {
    Bytes v;
    std::memcpy(&v, p, kLane);
    return v;
}

// The counts of `len` consecutive positions from `from` (a map index),
// rounded up to whole vectors.
void countChunk(const Responses& r, const std::vector<ptrdiff_t>& off, size_t from, size_t len, Bytes* acc) {
    const size_t lanes = (len + kLane - 1) / kLane;
    std::fill(acc, acc + lanes, Bytes{});
    for (ptrdiff_t o : off) {
        const uint8_t* q = r.maps.data() + static_cast<ptrdiff_t>(from) + o;
        for (size_t j = 0; j < lanes; ++j) acc[j] += load(q + j * kLane);
    }
}

void keepBest(const uint8_t* acc, size_t len, uint16_t step, uint8_t* best, uint16_t* bestStep) {
    for (size_t j = 0; j < len; ++j) {
        const bool better = acc[j] > best[j];
        best[j] = better ? acc[j] : best[j];
        bestStep[j] = better ? step : bestStep[j];
    }
}

}  // namespace

std::vector<Pose> coarseScan(const Level& lv, const std::vector<qgPartModel::Point>& pts, double radius,
                             double scale, const ScanArea& area, double floor) {
    if (area.xa >= area.xb || area.ya >= area.yb) return {};
    radius *= scale;
    const int reach = static_cast<int>(std::min(std::ceil(radius), static_cast<double>(std::max(lv.w, lv.h))));
    const int pad = reach + 2;
    Responses r;
    buildResponses(lv, pad, area.either, r);
    // Points beyond the picture's diagonal never match: steps for what can.
    const double step = std::min(0.2, 1.0 / std::clamp(radius, 1.0, std::hypot(lv.w, lv.h)));
    const int steps = std::min(65535, std::max(1, static_cast<int>(std::ceil((area.a1 - area.a0) / step))));
    const size_t n = pts.size();
    // Positions as map indices, whole padded rows of the searched rows.
    const size_t begin = static_cast<size_t>(area.ya + pad) * r.wp, end = static_cast<size_t>(area.yb + pad) * r.wp;
    std::vector<uint8_t> best(end - begin, 0);
    std::vector<Bytes> acc(kChunk / kLane);
    std::vector<uint16_t> bestStep(end - begin, 0);
    std::vector<ptrdiff_t> off(n);
    for (int k = 0; k <= steps; ++k) {
        const double a = area.a0 + (area.a1 - area.a0) * k / steps;
        const double c = scale * std::cos(a), s = scale * std::sin(a);
        for (size_t i = 0; i < n; ++i) {
            const auto& p = pts[i];
            // Origins on pixel centres: each point's pixel is a fixed offset.
            const int dx = static_cast<int>(std::floor(0.5 + c * p.x - s * p.y));
            const int dy = static_cast<int>(std::floor(0.5 + s * p.x + c * p.y));
            off[i] = std::max(std::abs(dx), std::abs(dy)) > reach
                         ? kBins * static_cast<ptrdiff_t>(r.plane)
                         : static_cast<ptrdiff_t>(binOf(p.theta + a)) * static_cast<ptrdiff_t>(r.plane) +
                               static_cast<ptrdiff_t>(dy) * r.wp + dx;
        }
        for (size_t from = begin; from < end; from += kChunk) {
            const size_t len = std::min(kChunk, end - from);
            countChunk(r, off, from, len, acc.data());
            keepBest(reinterpret_cast<const uint8_t*>(acc.data()), len, static_cast<uint16_t>(k), best.data() + (from - begin),
                     bestStep.data() + (from - begin));
        }
    }
    // Local maxima of the searched positions, best first.
    const int need = std::max(1, static_cast<int>(std::ceil(floor * static_cast<double>(n))));
    auto at = [&](int x, int y) { return static_cast<size_t>(y + pad) * r.wp + static_cast<size_t>(x + pad) - begin; };
    std::vector<Pose> out;
    for (int y = area.ya; y < area.yb; ++y)
        for (int x = area.xa; x < area.xb; ++x) {
            const int v = best[at(x, y)];
            if (v < need) continue;
            bool peak = true;
            for (int dy = -1; dy <= 1 && peak; ++dy)
                for (int dx = -1; dx <= 1 && peak; ++dx) {
                    const int xx = x + dx, yy = y + dy;
                    if ((dx || dy) && xx >= area.xa && yy >= area.ya && xx < area.xb && yy < area.yb) {
                        const int u = best[at(xx, yy)];
                        peak = u < v || (u == v && (dy > 0 || (dy == 0 && dx > 0)));
                    }
                }
            if (peak)
                out.push_back({x + 0.5, y + 0.5, area.a0 + (area.a1 - area.a0) * bestStep[at(x, y)] / steps,
                               static_cast<double>(v) / static_cast<double>(n), 0, 0, 0, scale, 0});
        }
    std::stable_sort(out.begin(), out.end(), [](const Pose& a, const Pose& b) { return a.score > b.score; });
    return out;
}

}  // namespace qg
