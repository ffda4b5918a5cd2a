// Plain, direct implementations of the blob search and the edge filter, used
// as oracles for the library's fast paths. They work on their own copies of
// the geometry and buffers and share nothing with the library.
#pragma once

#include "quellix.h"

#include <cstdint>
#include <random>
#include <vector>

namespace ref {

struct Geometry {
    uint32_t width, height, stride, bpp;
    size_t size() const { return size_t(stride) * height; }
    size_t offset(uint32_t x, uint32_t y) const { return size_t(x) * bpp + size_t(y) * stride; }
};

void paintBlock(const Geometry& g, uint8_t* overlay, uint32_t x, uint32_t y, uint8_t b0, uint8_t b1,
                uint8_t b2);

// The search as a recursive fill with a depth counter. image is tested for
// seeds, frame is read by the fill.
uint32_t findBlobs(const Geometry& g, const uint8_t* image, const uint8_t* frame, uint8_t* overlay,
                   uint32_t regionCount, const RoiRecord* regions, uint32_t low, uint32_t high,
                   uint32_t minPixels, uint32_t maxPixels, uint32_t mark, BlobRecord* blobs,
                   uint32_t maxBlobs, std::vector<uint8_t>* labelMapOut);

void sobel3(const Geometry& g, const uint8_t* image, uint8_t* overlay, uint32_t regionCount,
            const RoiRecord* regions, double threshold, uint8_t* edgeMap);

RoiRecord roi(int32_t left, int32_t top, int32_t right, int32_t bottom);

// A test image: frame and overlay buffers of one geometry.
struct Image {
    Geometry g;
    std::vector<uint8_t> frame, overlay;
    Image(uint32_t w, uint32_t h, uint32_t stride = 0, uint32_t bpp = 3);
    uint8_t& at(uint32_t x, uint32_t y, int byte = 2) { return frame[g.offset(x, y) + byte]; }
    void set(uint32_t x, uint32_t y, uint8_t v);  // all three bytes
    void fill(uint8_t v);
    void registerWithLibrary();
};

// Random blobby image: speckles of intensities around a few levels.
void randomScene(Image& img, std::mt19937& rng, int density);

}  // namespace ref
