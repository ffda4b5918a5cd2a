// Shared internals of the vision library: the registration of the current
// image, region clipping and the overlay marks.
#pragma once

#include "include/quellix.h"

#include <cstddef>
#include <cstdint>
#include <vector>

namespace qlx {

struct Registration {
    uint32_t width = 0;
    uint32_t height = 0;
    uint32_t stride = 0;
    uint32_t bpp = 0;
    uint8_t* frame = nullptr;
    uint8_t* overlay = nullptr;
};

extern Registration g_reg;

// Whether code for wider vectors than the x86-64-v2 baseline (AVX2) may run:
// the processor has them and QUELLIX_BASELINE is not set.
bool wideVectors();

// True when the registered geometry can be addressed safely: every pixel's
// three bytes lie inside rowStride * height bytes.
inline bool usable() {
    const Registration& r = g_reg;
    return r.frame && r.overlay && r.width > 0 && r.height > 0 && r.bpp >= 3 &&
           uint64_t(r.stride) >= uint64_t(r.width) * r.bpp;
}

inline size_t imageBytes() { return size_t(g_reg.stride) * g_reg.height; }

inline size_t pixelOffset(uint32_t x, uint32_t y) {
    return size_t(x) * g_reg.bpp + size_t(y) * g_reg.stride;
}

// Inclusive bounds of a region after clipping to the image.
struct Rect {
    uint32_t left, top, right, bottom;
};

// Clips a region whose bounds are compared as unsigned numbers. Returns false
// when nothing of it lies inside the image.
inline bool clipUnsigned(const RoiRecord& roi, Rect& out) {
    uint32_t l = uint32_t(roi.left), t = uint32_t(roi.top);
    uint32_t r = uint32_t(roi.right), b = uint32_t(roi.bottom);
    if (r > g_reg.width - 1) r = g_reg.width - 1;
    if (b > g_reg.height - 1) b = g_reg.height - 1;
    if (l > r || t > b) return false;
    out = {l, t, r, b};
    return true;
}

// The region list as the operations see it: the whole image for a count of 0.
inline RoiRecord wholeImage() {
    RoiRecord roi{};
    roi.right = int32_t(g_reg.width - 1);
    roi.bottom = int32_t(g_reg.height - 1);
    roi.width = roi.right;
    roi.height = roi.bottom;
    return roi;
}

inline bool blockInside(uint32_t x, uint32_t y) {
    return x >= 1 && y >= 1 && uint64_t(x) + 2 <= g_reg.width &&
           uint64_t(y) + 2 <= g_reg.height;
}

// Paints a 2 x 2 block of one colour into the overlay, within the bounds.
inline void paintBlock(uint32_t x, uint32_t y, uint8_t b0, uint8_t b1, uint8_t b2) {
    if (!blockInside(x, y)) return;
    const uint32_t bpp = g_reg.bpp;
    uint8_t* p = g_reg.overlay + pixelOffset(x, y);
    uint8_t* q = p + g_reg.stride;
    p[0] = b0; p[1] = b1; p[2] = b2;
    p[bpp] = b0; p[bpp + 1] = b1; p[bpp + 2] = b2;
    q[0] = b0; q[1] = b1; q[2] = b2;
    q[bpp] = b0; q[bpp + 1] = b1; q[bpp + 2] = b2;
}

inline uint32_t paletteValue(uint32_t index) {
    static constexpr uint32_t table[16] = {
        0x000000, 0x800000, 0x008000, 0x808000, 0x000080, 0x800080,
        0x00C0C0, 0xC0C0C0, 0x808080, 0xFF0000, 0x00FF00, 0xFFFF00,
        0x0000FF, 0xFF00FF, 0x00FFFF, 0xFFFFFF};
    return index >= 1 && index <= 15 ? table[index] : 0;
}

// At most this many fill steps are active at once; a longer chain is cut off
// and its unreached pixels are found again by the scan as new seeds. A group
// of at most this many pixels is therefore never cut.
constexpr uint32_t kFillDepth = 6001;

// Internal blob search shared by qlxFindBlobs and the calibration.
struct BlobSearch {
    const uint8_t* image = nullptr;
    uint32_t regionCount = 0;
    const RoiRecord* regions = nullptr;
    uint32_t low = 0, high = 0, minPixels = 0, maxPixels = 0, mark = 0;
    BlobRecord* blobs = nullptr;
    uint32_t maxBlobs = 0;
    uint8_t* labelMap = nullptr;   // optional output of mapSize bytes
    size_t mapSize = 0;
    bool paint = true;             // palette blocks and crosses
    const uint8_t* plane = nullptr; // optional byte 2 of the frame, width x height
    // When a blob grows beyond this many pixels the search is given up at
    // once (result -2); only for searches that neither paint nor map.
    uint32_t abortAbove = UINT32_MAX;
};

// Runs the search. Returns the number of blobs stored, -1 when the working
// memory could not be allocated (then nothing was touched), or -2 when a blob
// grew beyond abortAbove.
int64_t findBlobs(const BlobSearch& s);

void sortBlobs(uint32_t kind, BlobRecord* blobs, uint32_t count);

// One 8-connected group of pixels of a band: its size, coordinate sums and
// inclusive bounds.
struct Component {
    uint32_t count = 0;
    uint64_t sumX = 0, sumY = 0;
    uint32_t minX = 0, minY = 0, maxX = 0, maxY = 0;
};

struct PixelRun {
    uint32_t start, end, y;  // columns [start, end) of row y
};

struct ComponentLabelling {
    std::vector<Component> groups;  // in the order a raster scan meets them
    // Working memory, kept between calls.
    std::vector<PixelRun> runs;
    std::vector<uint32_t> parent;
    std::vector<Component> stats;
};

// Finds the 8-connected groups of pixels with lo <= v <= hi inside area
// (inclusive bounds) of plane (planeWidth bytes a row). Returns false when
// the working memory could not be had.
bool labelComponents(const uint8_t* plane, uint32_t planeWidth, const Rect& area, uint8_t lo,
                     uint8_t hi, ComponentLabelling& out);

// Copies byte 2 of pixels [x0, x0 + n) of row y of image into dst.
void extractRow(const uint8_t* image, uint32_t x0, uint32_t y, uint32_t n, uint8_t* dst);

// dst[i] = code when byte 2 of pixel x0 + i of row y of image lies in
// [lo, lo + span], else 0, for i < n.
void bandCells(const uint8_t* image, uint32_t x0, uint32_t y, uint32_t n, uint8_t lo, uint8_t span,
               uint8_t code, uint8_t* dst);

// Extracts byte 2 of every pixel of rows [y0, y1] into plane (width bytes a row).
void extractPlane(const uint8_t* image, uint8_t* plane, uint32_t y0, uint32_t y1);

}  // namespace qlx
