#include "reference.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstring>
#include <random>
#include <vector>

namespace {

using ref::Image;
using ref::roi;

struct Outcome {
    uint32_t count = 0;
    std::vector<BlobRecord> blobs;
    std::vector<uint8_t> overlay, labels;
};

Outcome runLibrary(Image& img, const uint8_t* image, uint32_t regionCount, const RoiRecord* regions,
                   uint32_t low, uint32_t high, uint32_t minP, uint32_t maxP, uint32_t mark,
                   uint32_t maxBlobs) {
    Outcome o;
    o.blobs.assign(maxBlobs + 1, BlobRecord{});
    std::memset(o.blobs.data(), 0xA5, o.blobs.size() * sizeof(BlobRecord));
    o.labels.assign(img.g.size(), 0x5A);
    std::fill(img.overlay.begin(), img.overlay.end(), 7);
    img.registerWithLibrary();
    EXPECT_EQ(qlxFindBlobsMap(image, uint32_t(img.g.size()), regionCount, regions, low, high, minP,
                              maxP, mark, o.blobs.data(), &o.count, maxBlobs, o.labels.data()),
              0);
    o.overlay = img.overlay;
    return o;
}

Outcome runReference(Image& img, const uint8_t* image, uint32_t regionCount, const RoiRecord* regions,
                     uint32_t low, uint32_t high, uint32_t minP, uint32_t maxP, uint32_t mark,
                     uint32_t maxBlobs) {
    Outcome o;
    o.blobs.assign(maxBlobs + 1, BlobRecord{});
    std::memset(o.blobs.data(), 0xA5, o.blobs.size() * sizeof(BlobRecord));
    std::fill(img.overlay.begin(), img.overlay.end(), 7);
    o.count = ref::findBlobs(img.g, image, img.frame.data(), img.overlay.data(), regionCount, regions,
                             low, high, minP, maxP, mark, o.blobs.data(), maxBlobs, &o.labels);
    o.overlay = img.overlay;
    return o;
}

void expectSame(const Outcome& a, const Outcome& b) {
    ASSERT_EQ(a.count, b.count);
    // Slot count holds the last discarded record in both, so compare it too.
    ASSERT_EQ(0, std::memcmp(a.blobs.data(), b.blobs.data(), a.blobs.size() * sizeof(BlobRecord)));
    ASSERT_TRUE(a.labels == b.labels) << "label maps differ";
    ASSERT_TRUE(a.overlay == b.overlay) << "overlays differ";
}

void compare(Image& img, uint32_t regionCount, const RoiRecord* regions, uint32_t low, uint32_t high,
             uint32_t minP, uint32_t maxP, uint32_t mark, uint32_t maxBlobs,
             const uint8_t* image = nullptr) {
    if (!image) image = img.frame.data();
    const Outcome lib = runLibrary(img, image, regionCount, regions, low, high, minP, maxP, mark, maxBlobs);
    const Outcome want = runReference(img, image, regionCount, regions, low, high, minP, maxP, mark, maxBlobs);
    expectSame(lib, want);
}

TEST(Blobs, RandomScenesMatchTheRecursiveFill) {
    std::mt19937 rng(12345);
    struct Shape { uint32_t w, h, stride, bpp; int density; };
    const Shape shapes[] = {{37, 23, 0, 3, 8},  {64, 48, 0, 3, 2},   {200, 150, 0, 3, 1},
                            {181, 97, 548, 3, 3}, {90, 70, 0, 4, 2},  {240, 200, 0, 3, 0}};
    for (const Shape& s : shapes)
        for (int round = 0; round < 3; ++round) {
            Image img(s.w, s.h, s.stride, s.bpp);
            ref::randomScene(img, rng, s.density);
            const uint32_t low = round == 0 ? 0 : 100, high = round == 2 ? 255 : 170;
            SCOPED_TRACE(::testing::Message() << s.w << "x" << s.h << " round " << round);
            compare(img, 0, nullptr, low, high, round, 1u << 30, 1, 1000);
            compare(img, 0, nullptr, 0, 120, 0, 50, 0, 3);
        }
}

TEST(Blobs, SeveralRegionsAndASeparateSeedImageMatchTheReference) {
    std::mt19937 rng(99);
    Image img(120, 90);
    ref::randomScene(img, rng, 2);
    const RoiRecord regions[] = {roi(10, 5, 70, 60), roi(40, 30, 119, 89), roi(0, 0, 30, 30),
                                 roi(50, 40, 60, 50)};
    compare(img, 4, regions, 0, 128, 1, 100000, 1, 1000);
    compare(img, 4, regions, 100, 255, 0, 100000, 1, 1000);
    Image other(120, 90);
    ref::randomScene(other, rng, 3);
    compare(img, 0, nullptr, 0, 128, 1, 100000, 1, 1000, other.frame.data());
    compare(img, 2, regions, 60, 200, 5, 100000, 1, 1000, other.frame.data());
}

// A serpentine chain: rows of 200 pixels joined alternately at their ends.
Image chainImage(uint32_t pixels) {
    Image img(204, 2 * (pixels / 200) + 4);
    img.fill(255);
    uint32_t placed = 0;
    for (uint32_t row = 0; placed < pixels; ++row) {
        const uint32_t y = 1 + 2 * row;
        for (uint32_t i = 0; i < 200 && placed < pixels; ++i, ++placed)
            img.set(row % 2 == 0 ? 1 + i : 200 - i, y, 0);
        if (placed < pixels) {
            img.set(row % 2 == 0 ? 200 : 1, y + 1, 0);
            ++placed;
        }
    }
    return img;
}

TEST(Blobs, LongChainIsCutAtTheDepthLimit) {
    Image img = chainImage(20000);
    const Outcome lib = runLibrary(img, img.frame.data(), 0, nullptr, 0, 10, 1, 1u << 30, 0, 1000);
    EXPECT_GT(lib.count, 2u);
    uint32_t total = 0;
    for (uint32_t i = 0; i < lib.count; ++i) total += lib.blobs[i].pixelCount;
    EXPECT_EQ(total, 20000u);
    EXPECT_EQ(lib.blobs[0].pixelCount, 6001u);
    compare(img, 0, nullptr, 0, 10, 1, 1u << 30, 1, 1000);
    // Just short of the limit nothing is cut.
    Image shorter = chainImage(6001);
    EXPECT_EQ(runLibrary(shorter, shorter.frame.data(), 0, nullptr, 0, 10, 1, 1u << 30, 0, 10).count, 1u);
}

TEST(Blobs, DenseNoiseAndBranchedSerpentinesMatchTheRecursiveFill) {
    // Components of tens of thousands of pixels, cut at the depth limit in
    // many places, at bands that cover from a few to nearly all pixels.
    std::mt19937 rng(77);
    std::uniform_int_distribution<int> lv(0, 255);
    Image noise(230, 170);
    for (uint32_t y = 0; y < 170; ++y)
        for (uint32_t x = 0; x < 230; ++x) noise.set(x, y, uint8_t(lv(rng)));
    for (uint32_t high : {60u, 110u, 140u, 200u, 250u}) {
        SCOPED_TRACE(high);
        compare(noise, 0, nullptr, 0, high, 10, 9999999, 1, 1000);
        compare(noise, 0, nullptr, high, 255, 1, 9999999, 0, 1000);
    }
    Image chain = chainImage(30000);
    std::uniform_int_distribution<uint32_t> px(0, chain.g.width - 1), py(0, chain.g.height - 1);
    for (int i = 0; i < 600; ++i) chain.set(px(rng), py(rng), uint8_t(lv(rng) % 20));
    compare(chain, 0, nullptr, 0, 10, 10, 9999999, 1, 1000);
    compare(chain, 0, nullptr, 0, 19, 1, 9999999, 1, 1000);
    compare(chain, 0, nullptr, 5, 255, 1, 9999999, 1, 1000);
    const RoiRecord regions[] = {roi(3, 3, 150, 200), roi(100, 0, 203, 150)};
    compare(chain, 2, regions, 0, 10, 1, 9999999, 1, 1000);
}

Image dots(uint32_t count) {
    Image img(4 * count + 4, 8);
    img.fill(200);
    for (uint32_t i = 0; i < count; ++i) img.set(2 + 4 * i, 3, 10);
    return img;
}

TEST(Blobs, ColourIndicesSkipTheGreysAndPaintThePalette) {
    Image img = dots(16);
    const Outcome o = runLibrary(img, img.frame.data(), 0, nullptr, 0, 50, 1, 10, 0, 1000);
    ASSERT_EQ(o.count, 16u);
    const uint32_t expected[16] = {1, 2, 3, 4, 5, 6, 9, 10, 11, 12, 13, 14, 15, 1, 2, 3};
    for (uint32_t i = 0; i < 16; ++i) EXPECT_EQ(o.blobs[i].colourIndex, expected[i]) << i;
    // Index 1 is 0x800000: byte 2 carries 0x80. Index 12 is 0x0000FF: byte 0 only.
    const uint8_t* first = &o.overlay[img.g.offset(2, 3)];
    EXPECT_EQ(first[0], 0);
    EXPECT_EQ(first[2], 0x80);
    const uint8_t* twelfth = &o.overlay[img.g.offset(2 + 4 * 9, 4)];
    EXPECT_EQ(twelfth[0], 0xFF);
    EXPECT_EQ(twelfth[1], 0);
    EXPECT_EQ(twelfth[2], 0);
}

TEST(Blobs, SinglePixelBlobAndEdgeSeeds) {
    Image img(10, 10);
    img.fill(200);
    img.set(4, 4, 10);
    img.set(9, 2, 10);  // last column: seeds, never filled
    img.set(3, 9, 10);  // last row
    const Outcome o = runLibrary(img, img.frame.data(), 0, nullptr, 0, 50, 1, 100, 0, 10);
    ASSERT_EQ(o.count, 1u);
    const BlobRecord& b = o.blobs[0];
    EXPECT_EQ(b.pixelCount, 1u);
    EXPECT_EQ(b.cogX, 4.0);
    EXPECT_EQ(b.cogY, 4.0);
    EXPECT_EQ(b.width, 0.0);
    EXPECT_EQ(b.height, 0.0);
    // The empty record of the seed at (9, 2) took colour 1.
    EXPECT_EQ(b.colourIndex, 2u);
    EXPECT_EQ(o.labels[img.g.offset(9, 2)], 0);
    compare(img, 0, nullptr, 0, 50, 0, 100, 1, 10);
}

TEST(Blobs, MaxBlobsOneStopsAfterTheFirstBlob) {
    Image img = dots(5);
    const Outcome o = runLibrary(img, img.frame.data(), 0, nullptr, 0, 50, 1, 10, 1, 1);
    EXPECT_EQ(o.count, 1u);
    EXPECT_EQ(o.labels[img.g.offset(6, 3)], 0) << "the second dot was not searched";
    compare(img, 0, nullptr, 0, 50, 1, 10, 1, 1);
    // No room at all: nothing is written.
    Outcome none = runLibrary(img, img.frame.data(), 0, nullptr, 0, 50, 1, 10, 1, 0);
    EXPECT_EQ(none.count, 0u);
    EXPECT_EQ(none.blobs[0].pixelCount, 0xA5A5A5A5u);
}

TEST(Blobs, SortIsTheExchangeSort) {
    BlobRecord b[4]{};
    const uint32_t counts[4] = {5, 9, 9, 2};
    for (uint32_t i = 0; i < 4; ++i) {
        b[i].pixelCount = counts[i];
        b[i].index = i;
    }
    BlobRecord unchanged[4];
    std::memcpy(unchanged, b, sizeof b);
    EXPECT_EQ(qlxSortBlobList(3, b, 4), 0);
    EXPECT_EQ(0, std::memcmp(unchanged, b, sizeof b));
    EXPECT_EQ(qlxSortBlobList(1, b, 4), 0);
    const uint32_t want[4] = {9, 9, 5, 2}, wantIndex[4] = {1, 2, 0, 3};
    for (uint32_t i = 0; i < 4; ++i) {
        EXPECT_EQ(b[i].pixelCount, want[i]);
        EXPECT_EQ(b[i].index, wantIndex[i]);
    }
}

TEST(Blobs, RegionsAreClippedToTheImage) {
    std::mt19937 rng(7);
    Image img(50, 40);
    ref::randomScene(img, rng, 3);
    const RoiRecord outside[] = {roi(10, 10, 5000, 4000), roi(-20, -5, 30, 30), roi(60, 50, 80, 70)};
    const RoiRecord clipped[] = {roi(10, 10, 49, 39)};
    const Outcome a = runLibrary(img, img.frame.data(), 3, outside, 0, 128, 1, 100000, 1, 1000);
    const Outcome b = runLibrary(img, img.frame.data(), 1, clipped, 0, 128, 1, 100000, 1, 1000);
    expectSame(a, b);
}

TEST(Blobs, NothingHappensWithoutAUsableRegistration) {
    Image img = dots(3);
    qlxSetUp(0, 0, 0, 0, nullptr, nullptr);
    std::vector<BlobRecord> blobs(4);
    uint32_t count = 99;
    EXPECT_EQ(qlxFindBlobs(img.frame.data(), 0, 0, nullptr, 0, 50, 1, 10, 1, blobs.data(), &count, 4), 0);
    EXPECT_EQ(count, 0u);
}

TEST(Blobs, RefusedWorkingMemoryGivesAnEmptyList) {
    // A registered geometry of 10^12 pixels whose buffers only back the
    // first rows: the working map cannot be had, so nothing may be read.
    const uint32_t huge = 1000000;
    std::vector<uint8_t> frame(16, 0), overlay(16, 3), map(16, 9);
    qlxSetUp(huge, huge, 3 * huge, 3, frame.data(), overlay.data());
    std::vector<BlobRecord> blobs(4);
    uint32_t count = 99;
    EXPECT_EQ(qlxFindBlobsMap(frame.data(), 16, 0, nullptr, 0, 50, 1, 10, 1, blobs.data(), &count, 4,
                              map.data()),
              0);
    EXPECT_EQ(count, 0u);
    EXPECT_EQ(overlay, std::vector<uint8_t>(16, 3));
    EXPECT_EQ(map, std::vector<uint8_t>(16, 9));
}

}  // namespace

namespace {

// A picture as a camera gives it: a ramp in a random direction, noise,
// discs, and solid blocks and chains of about as many pixels as the fill's
// depth limit, so that some are cut and some just escape it.
Image cameraLikeScene(std::mt19937& rng, uint32_t w, uint32_t h) {
    std::uniform_real_distribution<double> u(0, 1);
    const uint32_t bpp = u(rng) < 0.2 ? 4 : 3;
    Image img(w, h, u(rng) < 0.3 ? bpp * w + 7 : 0, bpp);
    const double gx = (u(rng) - 0.5) * 400 / w, gy = (u(rng) - 0.5) * 400 / h, base = 40 + 160 * u(rng);
    std::vector<double> v(size_t(w) * h);
    for (uint32_t y = 0; y < h; ++y)
        for (uint32_t x = 0; x < w; ++x) v[size_t(y) * w + x] = base + gx * x + gy * y;
    for (int i = 0, n = int(u(rng) * 12); i < n; ++i) {
        const double cx = u(rng) * w, cy = u(rng) * h, r = 2 + u(rng) * 25, level = u(rng) * 255;
        for (uint32_t y = 0; y < h; ++y)
            for (uint32_t x = 0; x < w; ++x)
                if (std::hypot(x - cx, y - cy) < r) v[size_t(y) * w + x] = level;
    }
    // A block or a serpentine chain of 5995 to 6010 pixels at level 10.
    const uint32_t pixels = 5995 + uint32_t(u(rng) * 16);
    if (u(rng) < 0.5 && w >= 72 && h >= 100) {
        const uint32_t bw = 64 + uint32_t(u(rng) * 4), bh = pixels / bw;
        for (uint32_t i = 0; i < bw * bh + pixels % bw; ++i) v[size_t(2 + i / bw) * w + 3 + i % bw] = 10;
    } else if (w >= 64) {
        const uint32_t len = w - 8;
        uint32_t placed = 0;
        for (uint32_t row = 0; placed < pixels && 2 * row + 3 < h; ++row) {
            for (uint32_t i = 0; i < len && placed < pixels; ++i, ++placed)
                v[size_t(1 + 2 * row) * w + (row % 2 == 0 ? 2 + i : 1 + len - i)] = 10;
            if (placed < pixels) {
                v[size_t(2 + 2 * row) * w + (row % 2 == 0 ? 1 + len : 2)] = 10;
                ++placed;
            }
        }
    }
    std::normal_distribution<double> noise(0, u(rng) * 20);
    for (uint32_t y = 0; y < h; ++y)
        for (uint32_t x = 0; x < w; ++x) {
            img.set(x, y, uint8_t(std::clamp(v[size_t(y) * w + x] + noise(rng), 0.0, 255.0)));
            for (uint32_t k = 3; k < img.g.bpp; ++k) img.frame[img.g.offset(x, y) + k] = uint8_t(rng());
        }
    return img;
}

TEST(Blobs, CameraLikeScenesAtRandomBandsAndRegionsMatchTheRecursiveFill) {
    std::mt19937 rng(4242);
    std::uniform_int_distribution<uint32_t> level(0, 255);
    for (int round = 0; round < 400; ++round) {
        const uint32_t w = 20 + rng() % 230, h = 10 + rng() % 170;
        Image img = cameraLikeScene(rng, w, h);
        uint32_t low = level(rng), high = level(rng);
        if (round % 3 == 0) low = 0;
        if (low > high && round % 2 == 0) std::swap(low, high);
        RoiRecord regions[3];
        const uint32_t count = rng() % 4;
        for (uint32_t i = 0; i < count; ++i) {
            const int32_t l = int32_t(rng() % w), t = int32_t(rng() % h);
            // Inside the picture: the reference does not clip.
            regions[i] = roi(l, t, std::min(int32_t(w) - 1, l + int32_t(rng() % w)),
                             std::min(int32_t(h) - 1, t + int32_t(rng() % h)));
        }
        const uint32_t minPixels[] = {0, 1, 10, 200};
        const uint32_t maxBlobs = round % 5 == 0 ? 1 + rng() % 8 : 1000;
        SCOPED_TRACE(::testing::Message() << "round " << round << " " << w << "x" << h << " band "
                                          << low << ".." << high << " regions " << count);
        compare(img, count, regions, low, high, minPixels[rng() % 4], round % 4 == 0 ? 3000 : 9999999,
                round % 2, maxBlobs);
        // The dark band of the calibration, over the whole picture.
        compare(img, 0, nullptr, 0, 40 + 5 * (rng() % 40), 10, 9999999, 1, 1000);
    }
}

}  // namespace

namespace {

// The bench's camera picture in small: a left-to-right ramp with noise, so
// that the band holds one region of tens of thousands of pixels with a
// ragged edge, touching the first column and row, beside specks that are
// painted after it over its blocks. Four bytes a pixel and a padded stride.
TEST(Blobs, LargeRaggedRegionIsPaintedAsTheRecursiveFillPaintsIt) {
    std::mt19937 rng(31337);
    std::normal_distribution<double> noise(0, 6);
    Image img(320, 200, 4 * 320 + 12, 4);
    for (uint32_t y = 0; y < 200; ++y)
        for (uint32_t x = 0; x < 320; ++x)
            img.set(x, y, uint8_t(std::clamp(40 + 200.0 * x / 320 + noise(rng), 0.0, 255.0)));
    for (uint32_t high : {128u, 180u}) {
        SCOPED_TRACE(high);
        compare(img, 0, nullptr, 0, high, 1, 9999999, 1, 1000);
        const RoiRecord regions[] = {roi(0, 0, 250, 150), roi(20, 30, 319, 199)};
        compare(img, 2, regions, 0, high, 10, 9999999, 1, 1000);
    }
}

}  // namespace
