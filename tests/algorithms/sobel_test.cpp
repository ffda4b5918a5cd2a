#include "reference.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <random>
#include <vector>

namespace {

using ref::Image;
using ref::roi;

// Runs the library and the reference on the same input; returns true when
// edge maps and overlays agree byte for byte.
void compare(Image& img, uint32_t regionCount, const RoiRecord* regions, double threshold) {
    std::vector<uint8_t> edges(img.g.size(), 77), want(img.g.size(), 0);
    std::fill(img.overlay.begin(), img.overlay.end(), 5);
    img.registerWithLibrary();
    EXPECT_EQ(qlxSobel3(img.frame.data(), uint32_t(img.g.size()), regionCount, regions, threshold,
                        edges.data(), 0),
              0);
    const std::vector<uint8_t> overlay = img.overlay;
    std::fill(img.overlay.begin(), img.overlay.end(), 5);
    ref::sobel3(img.g, img.frame.data(), img.overlay.data(), regionCount, regions, threshold, want.data());
    EXPECT_TRUE(edges == want) << "edge maps differ";
    EXPECT_TRUE(overlay == img.overlay) << "overlays differ";
}

TEST(Sobel, StepOfSixtyIsAnEdgeAtThirtyButNotAtThirtyPointFive) {
    Image img(8, 6);
    for (uint32_t y = 0; y < 6; ++y)
        for (uint32_t x = 4; x < 8; ++x) img.set(x, y, 60);
    img.registerWithLibrary();
    std::vector<uint8_t> edges(img.g.size(), 1);
    qlxSobel3(img.frame.data(), uint32_t(img.g.size()), 0, nullptr, 30.0, edges.data(), 0);
    for (uint32_t x = 1; x < 7; ++x)
        EXPECT_EQ(edges[img.g.offset(x, 2)], (x == 3 || x == 4) ? 255 : 0) << x;
    EXPECT_EQ(img.overlay[img.g.offset(3, 2) + 2], 255);
    EXPECT_EQ(img.overlay[img.g.offset(5, 3) + 2], 255) << "block of (4, 2) covers (5, 3)";
    EXPECT_EQ(img.overlay[img.g.offset(3, 2)], 0);
    qlxSobel3(img.frame.data(), uint32_t(img.g.size()), 0, nullptr, 30.5, edges.data(), 0);
    EXPECT_EQ(edges, std::vector<uint8_t>(img.g.size(), 0));
}

TEST(Sobel, RegionNarrowerThanThreeVisitsNothing) {
    Image img(10, 10);
    for (uint32_t y = 0; y < 10; ++y) img.set(5, y, 255);
    img.registerWithLibrary();
    std::vector<uint8_t> edges(img.g.size(), 1);
    const RoiRecord narrow = roi(4, 0, 5, 9);
    qlxSobel3(img.frame.data(), uint32_t(img.g.size()), 1, &narrow, 1.0, edges.data(), 0);
    EXPECT_EQ(edges, std::vector<uint8_t>(img.g.size(), 0));
    EXPECT_EQ(img.overlay, std::vector<uint8_t>(img.g.size(), 0));
}

TEST(Sobel, RandomImagesMatchTheReference) {
    std::mt19937 rng(4);
    for (auto [w, h, stride, bpp] : {std::array<uint32_t, 4>{67, 45, 0, 3}, {33, 20, 104, 3},
                                     {40, 30, 0, 4}, {3, 3, 0, 3}, {130, 9, 0, 3}}) {
        Image img(w, h, stride, bpp);
        std::uniform_int_distribution<int> v(0, 255);
        for (auto& b : img.frame) b = uint8_t(v(rng));
        for (double t : {-1.0, 0.0, 16.0, 40.0, 40.1666, 128.0}) compare(img, 0, nullptr, t);
        if (w > 20 && h >= 20) {
            const RoiRecord regions[] = {roi(0, 0, 15, 12), roi(5, 3, int32_t(w - 1), int32_t(h - 1)),
                                         roi(10, 10, 12, 12)};
            compare(img, 3, regions, 20.0);
            compare(img, 1, regions + 1, 20.0);
        }
    }
}

TEST(Sobel, RowsAroundTheVectorWidthMatchTheReference) {
    // Filtered widths 30, 32, 33, 64, 65 and 96: whole vectors, a last vector
    // overlapping the one before it, and rows too short for a vector.
    std::mt19937 rng(9);
    for (auto [w, stride] : {std::array<uint32_t, 2>{32, 0}, {34, 0}, {35, 0}, {66, 211}, {67, 0},
                             {98, 0}}) {
        Image img(w, 7, stride, 3);
        std::uniform_int_distribution<int> v(0, 255);
        for (auto& b : img.frame) b = uint8_t(v(rng));
        SCOPED_TRACE(::testing::Message() << "width " << w);
        for (double t : {0.0, 30.0, 60.0, 127.5}) compare(img, 0, nullptr, t);
        const RoiRecord regions[] = {roi(1, 1, int32_t(w) - 1, 5),
                                     roi(0, 0, int32_t(std::min(w, 34u)) - 1, 6)};
        compare(img, 1, regions, 40.0);
        compare(img, 2, regions, 40.0);
    }
}

TEST(Sobel, SparseEdgesOnSmoothImagesMatchTheReference) {
    // Smooth images with a few steps: most rows carry no edge at all, the
    // others a handful at every position within a vector's width.
    std::mt19937 rng(21);
    for (auto [w, h, stride, bpp] : {std::array<uint32_t, 4>{97, 41, 0, 3}, {64, 33, 0, 3},
                                     {50, 37, 211, 3}, {45, 29, 0, 4}, {17, 5, 0, 3}}) {
        Image img(w, h, stride, bpp);
        std::uniform_int_distribution<uint32_t> px(0, w - 1), py(0, h - 1);
        std::uniform_int_distribution<int> noise(-2, 2), step(20, 200);
        for (uint32_t y = 0; y < h; ++y)
            for (uint32_t x = 0; x < w; ++x) img.set(x, y, uint8_t(100 + noise(rng)));
        for (int i = 0; i < 12; ++i) {
            const uint32_t x = px(rng), y = py(rng);
            img.set(x, y, uint8_t(step(rng)));
            if (i % 3 == 0)
                for (uint32_t yy = y; yy < std::min(h, y + 6); ++yy) img.set(x, yy, 250);
        }
        SCOPED_TRACE(::testing::Message() << w << "x" << h << " bpp " << bpp);
        for (double t : {3.0, 10.0, 16.0, 25.0}) compare(img, 0, nullptr, t);
        const RoiRecord regions[] = {roi(1, 0, int32_t(w) - 2, int32_t(h) - 1), roi(0, 1, 3, 4),
                                     roi(int32_t(w / 2), 0, int32_t(w) - 1, int32_t(h / 2))};
        compare(img, 1, regions, 10.0);
        compare(img, 3, regions, 10.0);
    }
}

TEST(Sobel, ShortEdgeMapIsNeverOverrun) {
    Image img(40, 30);
    std::mt19937 rng(1);
    for (auto& b : img.frame) b = uint8_t(rng());
    img.registerWithLibrary();
    std::vector<uint8_t> edges(1000, 1);  // a third of the image
    qlxSobel3(img.frame.data(), uint32_t(edges.size()), 0, nullptr, 0.0, edges.data(), 0);
    EXPECT_EQ(edges[img.g.offset(1, 1)], 255);
    EXPECT_EQ(edges[999], 0);
    // Row 8 fits up to pixel 12: those pixels are still edges, painted too.
    EXPECT_EQ(edges[img.g.offset(12, 8)], 255);
    EXPECT_EQ(img.overlay[img.g.offset(13, 9) + 2], 255);
    EXPECT_EQ(img.overlay[img.g.offset(14, 9) + 2], 0);
    // A region reaching past the image edge is clipped.
    std::vector<uint8_t> full(img.g.size(), 1), clipped(img.g.size(), 1);
    const RoiRecord big = roi(5, 5, 900, 900), inside = roi(5, 5, 39, 29);
    qlxSobel3(img.frame.data(), uint32_t(full.size()), 1, &big, 10.0, full.data(), 0);
    qlxSobel3(img.frame.data(), uint32_t(clipped.size()), 1, &inside, 10.0, clipped.data(), 0);
    EXPECT_EQ(full, clipped);
}

}  // namespace
