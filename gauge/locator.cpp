// Windows of the picture pyramid and their quantised gradient orientations,
// and the orientation score of a pose on them.
#include "locator.h"

#include <algorithm>

namespace qg {

void levelWindow(const qgImage& image, int level, int x0, int y0, int x1, int y1, Level& out) {
    const int f = 1 << level;
    x0 = std::max(x0, 0);
    y0 = std::max(y0, 0);
    x1 = std::min(x1, image.width >> level);
    y1 = std::min(y1, image.height >> level);
    out.level = level;
    out.x0 = x0;
    out.y0 = y0;
    out.w = std::max(0, x1 - x0);
    out.h = std::max(0, y1 - y0);
    out.grey.assign(static_cast<size_t>(out.w) * out.h, 0.0f);
    if (out.w == 0 || out.h == 0) return;
    const size_t bpp = static_cast<size_t>(image.bytesPerPixel), off = bpp == 1 ? 0 : 2;
    const size_t span = static_cast<size_t>(out.w) * f;
    std::vector<uint32_t> sums(span);
    const float inv = 1.0f / static_cast<float>(f * f);
    for (int y = 0; y < out.h; ++y) {
        // Column sums of the block rows, then the blocks across.
        std::fill(sums.begin(), sums.end(), 0u);
        for (int r = 0; r < f; ++r) {
            const uint8_t* row = image.pixels + static_cast<size_t>((y0 + y) * f + r) * static_cast<size_t>(image.stride) +
                                 static_cast<size_t>(x0) * f * bpp + off;
            if (bpp == 1)
                for (size_t x = 0; x < span; ++x) sums[x] += row[x];
            else
                for (size_t x = 0; x < span; ++x) sums[x] += row[x * bpp];
        }
        float* o = out.grey.data() + static_cast<size_t>(y) * out.w;
        for (int x = 0; x < out.w; ++x) {
            uint32_t s = 0;
            for (int k = 0; k < f; ++k) s += sums[static_cast<size_t>(x) * f + k];
            o[x] = static_cast<float>(s) * inv;
        }
    }
}

int binOf(double angle) {
    int b = static_cast<int>(std::floor(angle * (kBins / (2 * M_PI)) + 0.5)) % kBins;
    return b < 0 ? b + kBins : b;
}

namespace {

// binOf(atan2(gy, gx)) without the arc tangent: the bin boundaries of a
// quadrant (11.25, 33.75, 56.25 and 78.75 degrees) as slopes.
inline int gradientBin(float gx, float gy) {
    const float ax = std::fabs(gx), ay = std::fabs(gy);
    const int k = (ay > 0.19891237f * ax) + (ay > 0.66817864f * ax) + (ay > 1.49660576f * ax) +
                  (ay > 5.02733949f * ax);
    const int b = gx >= 0 ? (gy >= 0 ? k : kBins - k) : (gy >= 0 ? kBins / 2 - k : kBins / 2 + k);
    return b & (kBins - 1);
}

}  // namespace

void orientations(Level& lv, double threshold) {
    const int w = lv.w, h = lv.h;
    lv.exact.assign(static_cast<size_t>(w) * h, 0);
    const float t2 = static_cast<float>(threshold * threshold * 64);
    for (int y = 1; y + 1 < h; ++y) {
        const float* r = lv.grey.data() + static_cast<size_t>(y) * w;
        uint16_t* o = lv.exact.data() + static_cast<size_t>(y) * w;
        for (int x = 1; x + 1 < w; ++x) {
            const float* q = r + x;
            const float gx = q[1 - w] + 2 * q[1] + q[1 + w] - q[-1 - w] - 2 * q[-1] - q[-1 + w];
            const float gy = q[w - 1] + 2 * q[w] + q[w + 1] - q[-w - 1] - 2 * q[-w] - q[-w + 1];
            o[x] = gx * gx + gy * gy < t2 ? 0 : static_cast<uint16_t>(1u << gradientBin(gx, gy));
        }
    }
    // The 3x3 spread: across, then down.
    std::vector<uint16_t> across(lv.exact.size(), 0);
    for (int y = 0; y < h; ++y) {
        const uint16_t* e = lv.exact.data() + static_cast<size_t>(y) * w;
        uint16_t* a = across.data() + static_cast<size_t>(y) * w;
        for (int x = 0; x < w; ++x)
            a[x] = static_cast<uint16_t>((x > 0 ? e[x - 1] : 0) | e[x] | (x + 1 < w ? e[x + 1] : 0));
    }
    lv.mask.assign(lv.exact.size(), 0);
    for (int y = 0; y < h; ++y) {
        uint16_t* m = lv.mask.data() + static_cast<size_t>(y) * w;
        for (int dy = -1; dy <= 1; ++dy) {
            if (y + dy < 0 || y + dy >= h) continue;
            const uint16_t* a = across.data() + static_cast<size_t>(y + dy) * w;
            for (int x = 0; x < w; ++x) m[x] = static_cast<uint16_t>(m[x] | a[x]);
        }
    }
}

uint16_t wantMask(double angle, bool either) {
    const int b = binOf(angle);
    uint32_t m = 0;
    for (int k = -1; k <= 1; ++k) {
        m |= 1u << ((b + k + kBins) % kBins);
        if (either) m |= 1u << ((b + k + kBins + kBins / 2) % kBins);
    }
    return static_cast<uint16_t>(m);
}

double scorePose(const Level& lv, const std::vector<qgPartModel::Point>& pts, const Pose& pose, bool either,
                 bool fine) {
    const double c = pose.scale * std::cos(pose.angle), s = pose.scale * std::sin(pose.angle);
    const int n = static_cast<int>(pts.size());
    int hits = 0, exact = 0;
    for (const auto& p : pts) {
        const int ix = static_cast<int>(std::floor(pose.x + c * p.x - s * p.y)) - lv.x0;
        const int iy = static_cast<int>(std::floor(pose.y + s * p.x + c * p.y)) - lv.y0;
        if (ix < 0 || iy < 0 || ix >= lv.w || iy >= lv.h) continue;
        const size_t at = static_cast<size_t>(iy) * lv.w + ix;
        const uint16_t want = wantMask(p.theta + pose.angle, either);
        hits += (lv.mask[at] & want) != 0;
        exact += fine && (lv.exact[at] & want);
    }
    return fine ? (hits + exact) / (2.0 * n) : static_cast<double>(hits) / n;
}

}  // namespace qg
