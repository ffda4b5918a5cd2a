#include "reference.h"

#include <algorithm>
#include <cmath>
#include <cstring>

namespace ref {

void paintBlock(const Geometry& g, uint8_t* overlay, uint32_t x, uint32_t y, uint8_t b0, uint8_t b1,
                uint8_t b2) {
    if (x < 1 || y < 1 || x > g.width - 2 || y > g.height - 2 || g.width < 3 || g.height < 3) return;
    for (uint32_t dy = 0; dy < 2; ++dy)
        for (uint32_t dx = 0; dx < 2; ++dx) {
            uint8_t* p = overlay + g.offset(x + dx, y + dy);
            p[0] = b0;
            p[1] = b1;
            p[2] = b2;
        }
}

namespace {

const uint32_t kPalette[16] = {0,        0x800000, 0x008000, 0x808000, 0x000080, 0x800080,
                               0x00C0C0, 0xC0C0C0, 0x808080, 0xFF0000, 0x00FF00, 0xFFFF00,
                               0x0000FF, 0xFF00FF, 0x00FFFF, 0xFFFFFF};

struct Search {
    const Geometry* g;
    const uint8_t* frame;
    uint8_t* overlay;
    std::vector<uint8_t> labels;
    uint32_t low, high, left, top, right, bottom, n, depth;
    BlobRecord* rec;

    uint32_t label(uint32_t x, uint32_t y) const {
        const uint8_t* p = &labels[g->offset(x, y)];
        return p[0] | (p[1] << 8) | (p[2] << 16);
    }
    void fill(uint32_t x, uint32_t y) {
        if (x < left || y < top || x >= right || y >= bottom) return;
        if (depth > 6000) return;
        ++depth;
        const uint32_t v = frame[g->offset(x, y) + 2];
        if (low <= v && v <= high && label(x, y) == 0) {
            const uint32_t V = rec->colourIndex <= 15 ? kPalette[rec->colourIndex] : 0;
            paintBlock(*g, overlay, x, y, V & 0xFF, (V >> 8) & 0xFF, (V >> 16) & 0xFF);
            rec->pixelCount++;
            rec->index = n;
            rec->cogX += x;
            rec->cogY += y;
            rec->weightX += 1.0;
            rec->weightY += 1.0;
            if (x < rec->minX) rec->minX = x;
            if (x > rec->maxX) rec->maxX = x;
            if (y < rec->minY) rec->minY = y;
            if (y > rec->maxY) rec->maxY = y;
            uint8_t* p = &labels[g->offset(x, y)];
            p[0] = uint8_t(n + 1);
            p[1] = uint8_t((n + 1) >> 8);
            p[2] = uint8_t((n + 1) >> 16);
            fill(x + 1, y);
            fill(x, y + 1);
            fill(x - 1, y);
            fill(x, y - 1);
            fill(x + 1, y + 1);
            fill(x - 1, y - 1);
            fill(x + 1, y - 1);
            fill(x - 1, y + 1);
        }
        --depth;
    }
};

}  // namespace

uint32_t findBlobs(const Geometry& g, const uint8_t* image, const uint8_t* frame, uint8_t* overlay,
                   uint32_t regionCount, const RoiRecord* regions, uint32_t low, uint32_t high,
                   uint32_t minPixels, uint32_t maxPixels, uint32_t mark, BlobRecord* blobs,
                   uint32_t maxBlobs, std::vector<uint8_t>* labelMapOut) {
    Search s{&g, frame, overlay, std::vector<uint8_t>(g.size(), 0), low, high, 0, 0, 0, 0, 0, 0, nullptr};
    const RoiRecord whole = roi(0, 0, int32_t(g.width - 1), int32_t(g.height - 1));
    const uint32_t count = regionCount == 0 ? 1 : regionCount;
    uint32_t colour = 1;
    bool stop = false;
    for (uint32_t r = 0; r < count && !stop; ++r) {
        const RoiRecord& roi = regionCount == 0 ? whole : regions[r];
        s.left = uint32_t(roi.left);
        s.top = uint32_t(roi.top);
        s.right = uint32_t(roi.right);
        s.bottom = uint32_t(roi.bottom);
        for (uint32_t y = s.top; y <= s.bottom && !stop; ++y)
            for (uint32_t x = s.left; x <= s.right && !stop; ++x) {
                const uint32_t v = image[g.offset(x, y) + 2];
                if (!(low <= v && v <= high) || s.label(x, y) != 0) continue;
                BlobRecord& rec = blobs[s.n];
                std::memset(&rec, 0, sizeof rec);
                rec.colourIndex = colour;
                rec.minX = rec.minY = 1000000000;
                rec.maxX = rec.maxY = 0;
                s.rec = &rec;
                s.fill(x, y);
                if (rec.pixelCount >= minPixels && rec.pixelCount <= maxPixels) {
                    if (rec.weightX > 0 && rec.weightY > 0) {
                        rec.cogX /= rec.weightX;
                        rec.cogY /= rec.weightY;
                    } else {
                        rec.cogX = rec.cogY = 0;
                    }
                    rec.width = double(rec.maxX - rec.minX);
                    rec.height = double(rec.maxY - rec.minY);
                    ++s.n;
                }
                colour = colour == 6 ? 9 : colour == 15 ? 1 : colour + 1;
                if (s.n == maxBlobs) stop = true;
            }
    }
    if (mark)
        for (uint32_t i = 0; i < s.n; ++i) {
            const uint32_t X = uint32_t(std::trunc(blobs[i].cogX)), Y = uint32_t(std::trunc(blobs[i].cogY));
            if (X >= 3)
                for (uint32_t y = Y; y <= Y + 1; ++y)
                    for (uint32_t x = X - 3; x <= X + 4; ++x) paintBlock(g, overlay, x, y, 128, 128, 128);
            if (Y >= 3)
                for (uint32_t x = X; x <= X + 1; ++x)
                    for (uint32_t y = Y - 3; y <= Y + 4; ++y) paintBlock(g, overlay, x, y, 128, 128, 128);
        }
    if (labelMapOut) *labelMapOut = s.labels;
    return s.n;
}

void sobel3(const Geometry& g, const uint8_t* image, uint8_t* overlay, uint32_t regionCount,
            const RoiRecord* regions, double threshold, uint8_t* edgeMap) {
    std::memset(edgeMap, 0, g.size());
    const RoiRecord whole = roi(0, 0, int32_t(g.width - 1), int32_t(g.height - 1));
    const uint32_t count = regionCount == 0 ? 1 : regionCount;
    auto v = [&](uint32_t x, uint32_t y) { return int(image[g.offset(x, y) + 2]); };
    for (uint32_t r = 0; r < count; ++r) {
        const RoiRecord& roi = regionCount == 0 ? whole : regions[r];
        for (uint32_t y = uint32_t(roi.top) + 1; y + 1 <= uint32_t(roi.bottom); ++y)
            for (uint32_t x = uint32_t(roi.left) + 1; x + 1 <= uint32_t(roi.right); ++x) {
                const int gx = v(x + 1, y - 1) + v(x + 1, y) + v(x + 1, y + 1) - v(x - 1, y - 1) -
                               v(x - 1, y) - v(x - 1, y + 1);
                const int gy = v(x - 1, y + 1) + v(x, y + 1) + v(x + 1, y + 1) - v(x - 1, y - 1) -
                               v(x, y - 1) - v(x + 1, y - 1);
                if (std::fabs(gx / 6.0) >= threshold || std::fabs(gy / 6.0) >= threshold) {
                    uint8_t* p = edgeMap + g.offset(x, y);
                    p[0] = p[1] = p[2] = 255;
                    paintBlock(g, overlay, x, y, 0, 0, 255);
                }
            }
    }
}

RoiRecord roi(int32_t left, int32_t top, int32_t right, int32_t bottom) {
    RoiRecord r{};
    r.left = left;
    r.top = top;
    r.right = right;
    r.bottom = bottom;
    r.width = right - left;
    r.height = bottom - top;
    return r;
}

Image::Image(uint32_t w, uint32_t h, uint32_t stride, uint32_t bpp)
    : g{w, h, stride ? stride : w * bpp, bpp}, frame(g.size(), 0), overlay(g.size(), 0) {}

void Image::set(uint32_t x, uint32_t y, uint8_t v) {
    uint8_t* p = &frame[g.offset(x, y)];
    p[0] = p[1] = p[2] = v;
}

void Image::fill(uint8_t v) {
    for (uint32_t y = 0; y < g.height; ++y)
        for (uint32_t x = 0; x < g.width; ++x) set(x, y, v);
}

void Image::registerWithLibrary() {
    qlxSetUp(g.width, g.height, g.stride, g.bpp, frame.data(), overlay.data());
}

void randomScene(Image& img, std::mt19937& rng, int density) {
    std::uniform_int_distribution<int> coin(0, 99), level(0, 3), jitter(-6, 6);
    const uint8_t levels[4] = {20, 90, 160, 230};
    for (uint32_t y = 0; y < img.g.height; ++y)
        for (uint32_t x = 0; x < img.g.width; ++x) {
            // Mostly copy a neighbour so that blobs of all sizes form.
            int v;
            if (coin(rng) < density || (x == 0 && y == 0)) {
                v = levels[level(rng)];
            } else {
                const bool left = x > 0 && (y == 0 || coin(rng) < 50);
                v = left ? img.at(x - 1, y) : img.at(x, y - 1);
            }
            v = std::clamp(v + (coin(rng) < 10 ? jitter(rng) : 0), 0, 255);
            img.set(x, y, uint8_t(v));
            for (uint32_t k = 3; k < img.g.bpp; ++k) img.frame[img.g.offset(x, y) + k] = uint8_t(coin(rng));
        }
}

}  // namespace ref
