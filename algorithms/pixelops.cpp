// Per-pixel operations: binarisation, contrast normalisation, left/right
// levelling, projection profiles and the linear band search.
#include "internal.h"

#include <algorithm>

using namespace qlx;

namespace {

template <typename F>
void forEachRegion(uint32_t count, const RoiRecord* regions, F&& f) {
    if (count == 0 || !regions) {
        Rect r;
        if (clipUnsigned(wholeImage(), r)) f(r);
        return;
    }
    for (uint32_t i = 0; i < count; ++i) {
        Rect r;
        if (clipUnsigned(regions[i], r)) f(r);
    }
}

// Signed clipping for the projections.
bool clipSigned(const RoiRecord& roi, int64_t& l, int64_t& t, int64_t& r, int64_t& b) {
    l = std::max<int64_t>(roi.left, 0);
    t = std::max<int64_t>(roi.top, 0);
    r = std::min<int64_t>(roi.right, int64_t(g_reg.width) - 1);
    b = std::min<int64_t>(roi.bottom, int64_t(g_reg.height) - 1);
    return l <= r && t <= b;
}

}  // namespace

extern "C" QLX_API int32_t qlxBinarize(uint8_t* image, uint32_t, uint32_t regionCount,
                                       const RoiRecord* regions, uint32_t threshold) {
    if (!usable() || !image) return 0;
    const uint32_t bpp = g_reg.bpp;
    forEachRegion(regionCount, regions, [&](const Rect& r) {
        for (uint32_t y = r.top; y <= r.bottom; ++y) {
            uint8_t* p = image + pixelOffset(r.left, y);
            for (uint32_t x = r.left; x <= r.right; ++x, p += bpp) {
                const uint8_t v = p[0] < threshold ? 0 : 255;
                p[0] = v; p[1] = v; p[2] = v;
            }
        }
    });
    return 0;
}

extern "C" QLX_API int32_t qlxNormalize(uint8_t* image, uint32_t, uint32_t regionCount,
                                        const RoiRecord* regions) {
    if (!usable() || !image) return 0;
    const uint32_t bpp = g_reg.bpp;
    forEachRegion(regionCount, regions, [&](const Rect& r) {
        int mn[3] = {255, 255, 255}, mx[3] = {0, 0, 0};
        for (uint32_t y = r.top; y <= r.bottom; ++y) {
            const uint8_t* p = image + pixelOffset(r.left, y);
            for (uint32_t x = r.left; x <= r.right; ++x, p += bpp)
                for (int c = 0; c < 3; ++c) {
                    mn[c] = std::min<int>(mn[c], p[c]);
                    mx[c] = std::max<int>(mx[c], p[c]);
                }
        }
        // The factor is a single-precision value; the product is taken in
        // double precision, so a maximum can map to 254 instead of 255.
        uint8_t lut[3][256];
        for (int c = 0; c < 3; ++c) {
            const int range = mx[c] - mn[c];
            const float factor = range > 0 ? 255.0f / float(range) : 1.0f;
            for (int v = 0; v < 256; ++v)
                lut[c][v] = uint8_t(int32_t(double(v - mn[c]) * double(factor)));
        }
        for (uint32_t y = r.top; y <= r.bottom; ++y) {
            uint8_t* p = image + pixelOffset(r.left, y);
            for (uint32_t x = r.left; x <= r.right; ++x, p += bpp)
                for (int c = 0; c < 3; ++c) p[c] = lut[c][p[c]];
        }
    });
    return 0;
}

extern "C" QLX_API int32_t qlxEvenIntensity(uint8_t* image, uint32_t) {
    if (!usable() || !image) return 0;
    const uint32_t w = g_reg.width, h = g_reg.height;
    if (w < 2) return 0;
    auto columnMean = [&](uint32_t x) {
        uint32_t sum = 0;
        for (uint32_t y = 0; y < h; ++y) sum += image[pixelOffset(x, y) + 2];
        return sum / h;
    };
    auto raise = [&](uint32_t x, uint32_t d) {
        for (uint32_t y = 0; y < h; ++y) {
            uint8_t* p = image + pixelOffset(x, y);
            p[0] = uint8_t(p[0] + d); p[1] = uint8_t(p[1] + d); p[2] = uint8_t(p[2] + d);
        }
    };
    for (uint32_t i = 0; i < w / 2; ++i) {
        const uint32_t left = i, right = w - 1 - i;
        const uint32_t ml = columnMean(left), mr = columnMean(right);
        if (ml < mr) raise(left, mr - ml);
        else if (mr < ml) raise(right, ml - mr);
    }
    return 0;
}

extern "C" QLX_API int32_t qlxProjX(const uint8_t* image, uint32_t, const RoiRecord* region,
                                    uint32_t* out) {
    if (!usable() || !image || !region || !out || region->width == 0) return 0;
    int64_t l, t, r, b;
    if (!clipSigned(*region, l, t, r, b)) return 0;
    const uint32_t divisor = uint32_t(region->width);
    for (int64_t y = t; y <= b; ++y) {
        uint32_t sum = 0;
        for (int64_t x = l; x <= r; ++x) sum += image[pixelOffset(uint32_t(x), uint32_t(y)) + 2];
        out[y] = sum / divisor;
    }
    return 0;
}

extern "C" QLX_API int32_t qlxProjY(const uint8_t* image, uint32_t, const RoiRecord* region,
                                    uint32_t* out) {
    if (!usable() || !image || !region || !out || region->height == 0) return 0;
    int64_t l, t, r, b;
    if (!clipSigned(*region, l, t, r, b)) return 0;
    const uint32_t divisor = uint32_t(region->height);
    for (int64_t x = l; x <= r; ++x) {
        uint32_t sum = 0;
        for (int64_t y = t; y <= b; ++y) sum += image[pixelOffset(uint32_t(x), uint32_t(y)) + 2];
        out[x] = sum / divisor;
    }
    return 0;
}

namespace {

// Walks one coordinate from its start; the other stays fixed. Coordinates
// are unsigned, so stepping below 0 wraps past the image and ends the walk.
int32_t search(const uint8_t* image, uint32_t x, uint32_t y, bool horizontal, uint32_t forward,
               uint32_t low, uint32_t high, uint32_t mark, uint32_t* out) {
    constexpr int32_t notFound = 1000;
    if (!usable() || !image) return notFound;
    uint32_t& moving = horizontal ? x : y;
    const uint32_t fixed = horizontal ? y : x;
    const uint32_t limit = horizontal ? g_reg.width : g_reg.height;
    if (fixed >= (horizontal ? g_reg.height : g_reg.width)) return notFound;
    while (moving < limit) {
        if (mark) paintBlock(x, y, 0, 128, 128);
        const uint32_t v = image[pixelOffset(x, y) + 2];
        if (low <= v && v <= high) {
            if (out) *out = moving;
            return 0;
        }
        moving += forward ? 1u : uint32_t(-1);
    }
    return notFound;
}

}  // namespace

extern "C" QLX_API int32_t qlxSearchHorizontal(const uint8_t* image, uint32_t, uint32_t x,
                                               uint32_t y, uint32_t forward, uint32_t low,
                                               uint32_t high, uint32_t mark, uint32_t* outX) {
    return search(image, x, y, true, forward, low, high, mark, outX);
}

extern "C" QLX_API int32_t qlxSearchVertical(const uint8_t* image, uint32_t, uint32_t x,
                                             uint32_t y, uint32_t forward, uint32_t low,
                                             uint32_t high, uint32_t mark, uint32_t* outY) {
    return search(image, x, y, false, forward, low, high, mark, outY);
}
