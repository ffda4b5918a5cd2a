// Finding a taught part: a coarse search of quantised gradient orientations
// at the top of a picture pyramid, refined down the levels, then a
// least-squares pose fit on caliper edges at full resolution.
#include "locator.h"

#include <algorithm>
#include <memory>
#include <new>

namespace qg {

void greyOf(const qgImage& image, Level& out) {
    out.w = image.width;
    out.h = image.height;
    out.grey.resize(static_cast<size_t>(out.w) * out.h);
    const size_t bpp = static_cast<size_t>(image.bytesPerPixel), off = bpp == 1 ? 0 : 2;
    for (int y = 0; y < out.h; ++y) {
        const uint8_t* row = image.pixels + static_cast<size_t>(y) * static_cast<size_t>(image.stride) + off;
        float* o = out.grey.data() + static_cast<size_t>(y) * out.w;
        for (int x = 0; x < out.w; ++x) o[x] = row[static_cast<size_t>(x) * bpp];
    }
}

void halve(const Level& in, Level& out) {
    out.w = in.w / 2;
    out.h = in.h / 2;
    out.grey.resize(static_cast<size_t>(out.w) * out.h);
    for (int y = 0; y < out.h; ++y) {
        const float* a = in.grey.data() + static_cast<size_t>(2 * y) * in.w;
        const float* b = a + in.w;
        float* o = out.grey.data() + static_cast<size_t>(y) * out.w;
        for (int x = 0; x < out.w; ++x) o[x] = 0.25f * (a[2 * x] + a[2 * x + 1] + b[2 * x] + b[2 * x + 1]);
    }
}

int binOf(double angle) {
    int b = static_cast<int>(std::floor(angle * (kBins / (2 * M_PI)) + 0.5)) % kBins;
    return b < 0 ? b + kBins : b;
}

void orientations(Level& lv, double threshold) {
    const int w = lv.w, h = lv.h;
    std::vector<uint16_t> bits(static_cast<size_t>(w) * h, 0);
    const float t2 = static_cast<float>(threshold * threshold * 64);
    for (int y = 1; y + 1 < h; ++y)
        for (int x = 1; x + 1 < w; ++x) {
            const float* r = lv.grey.data() + static_cast<size_t>(y) * w + x;
            const float gx = r[1 - w] + 2 * r[1] + r[1 + w] - r[-1 - w] - 2 * r[-1] - r[-1 + w];
            const float gy = r[w - 1] + 2 * r[w] + r[w + 1] - r[-w - 1] - 2 * r[-w] - r[-w + 1];
            if (gx * gx + gy * gy < t2) continue;
            bits[static_cast<size_t>(y) * w + x] = static_cast<uint16_t>(1u << binOf(std::atan2(gy, gx)));
        }
    lv.mask.assign(bits.size(), 0);
    lv.exact = bits;
    for (int y = 0; y < h; ++y)
        for (int x = 0; x < w; ++x) {
            uint16_t m = 0;
            for (int dy = -1; dy <= 1; ++dy)
                for (int dx = -1; dx <= 1; ++dx) {
                    const int xx = x + dx, yy = y + dy;
                    if (xx >= 0 && yy >= 0 && xx < w && yy < h) m |= bits[static_cast<size_t>(yy) * w + xx];
                }
            lv.mask[static_cast<size_t>(y) * w + x] = m;
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

double scorePose(const Level& lv, const std::vector<qgPartModel::Point>& pts, double x, double y,
                 double angle, bool either, double floor, bool fine) {
    const double c = std::cos(angle), s = std::sin(angle);
    const int n = static_cast<int>(pts.size());
    const int allowedMiss = n - static_cast<int>(std::ceil(floor * n));
    int miss = 0, exact = 0;
    for (const auto& p : pts) {
        const int ix = static_cast<int>(std::floor(x + c * p.x - s * p.y));
        const int iy = static_cast<int>(std::floor(y + s * p.x + c * p.y));
        bool hit = false;
        if (ix >= 0 && iy >= 0 && ix < lv.w && iy < lv.h) {
            const size_t at = static_cast<size_t>(iy) * lv.w + ix;
            const uint16_t want = wantMask(std::atan2(s * p.nx + c * p.ny, c * p.nx - s * p.ny), either);
            hit = lv.mask[at] & want;
            exact += fine && (lv.exact[at] & want);
        }
        if (!hit && ++miss > allowedMiss) return 0;
    }
    return fine ? (2.0 * n - miss + exact) / (2.0 * n) : static_cast<double>(n - miss) / n;
}

}  // namespace qg
