#include "reference.h"

#include <gtest/gtest.h>

#include <vector>

namespace {

using ref::Image;
using ref::roi;

TEST(Binarize, ThresholdZeroAndTwoFiftySix) {
    Image img(6, 4);
    for (uint32_t x = 0; x < 6; ++x) img.at(x, 1, 0) = uint8_t(x * 50);
    img.registerWithLibrary();
    const RoiRecord row = roi(0, 1, 5, 1);
    qlxBinarize(img.frame.data(), 0, 1, &row, 0);
    for (uint32_t x = 0; x < 6; ++x) EXPECT_EQ(img.at(x, 1, 1), 255);
    EXPECT_EQ(img.at(0, 0, 1), 0) << "outside the region";
    qlxBinarize(img.frame.data(), 0, 0, nullptr, 256);
    EXPECT_EQ(img.frame, std::vector<uint8_t>(img.g.size(), 0));
}

TEST(Normalize, ConstantChannelBecomesZeroAndRangeHundredMapsTo254) {
    Image img(4, 3);
    for (uint32_t x = 0; x < 4; ++x) {
        img.at(x, 0, 0) = 77;                   // constant channel
        img.at(x, 0, 2) = uint8_t(50 + x * 33);  // 50 .. 149 .. 150
    }
    img.at(3, 0, 2) = 150;
    img.registerWithLibrary();
    const RoiRecord row = roi(0, 0, 3, 0);
    qlxNormalize(img.frame.data(), 0, 1, &row);
    for (uint32_t x = 0; x < 4; ++x) EXPECT_EQ(img.at(x, 0, 0), 0);
    EXPECT_EQ(img.at(0, 0, 2), 0);
    EXPECT_EQ(img.at(1, 0, 2), 84);  // 33 * 2.55f, truncated
    EXPECT_EQ(img.at(3, 0, 2), 254);
}

TEST(EvenIntensity, OddWidthKeepsTheMiddleAndTheAdditionWraps) {
    Image img(5, 2);
    for (uint32_t y = 0; y < 2; ++y)
        for (uint32_t x = 0; x < 5; ++x) img.set(x, y, 100);
    img.set(0, 0, 250);
    img.set(0, 1, 0);      // column 0: mean 125
    img.set(4, 0, 135);
    img.set(4, 1, 135);    // column 4: mean 135, column 0 is raised by 10
    img.set(2, 0, 7);
    img.registerWithLibrary();
    qlxEvenIntensity(img.frame.data(), 0);
    EXPECT_EQ(img.at(0, 0), 4);
    EXPECT_EQ(img.at(0, 1), 10);
    EXPECT_EQ(img.at(4, 0), 135);
    EXPECT_EQ(img.at(2, 0), 7);
    EXPECT_EQ(img.at(1, 0), 100);
}

TEST(Projections, DivideByTheRecordFieldAndSkipAZeroDivisor) {
    Image img(6, 5);
    for (uint32_t y = 0; y < 5; ++y)
        for (uint32_t x = 0; x < 6; ++x) img.set(x, y, uint8_t(10 * x + y));
    img.registerWithLibrary();
    std::vector<uint32_t> out(8, 999);
    const RoiRecord r = roi(1, 1, 4, 3);
    qlxProjX(img.frame.data(), 0, &r, out.data());
    EXPECT_EQ(out[0], 999u);
    EXPECT_EQ(out[1], (11u + 21 + 31 + 41) / 3);
    EXPECT_EQ(out[3], (13u + 23 + 33 + 43) / 3);
    EXPECT_EQ(out[4], 999u);
    qlxProjY(img.frame.data(), 0, &r, out.data());
    EXPECT_EQ(out[2], (21u + 22 + 23) / 2);
    RoiRecord flat = r;
    flat.width = 0;
    flat.height = 0;
    std::vector<uint32_t> untouched(8, 5);
    qlxProjX(img.frame.data(), 0, &flat, untouched.data());
    qlxProjY(img.frame.data(), 0, &flat, untouched.data());
    EXPECT_EQ(untouched, std::vector<uint32_t>(8, 5));
    // Bounds past the image are clipped; the divisor stays the record's.
    std::vector<uint32_t> wide(8, 0);
    const RoiRecord past = roi(-3, 0, 40, 0);
    qlxProjX(img.frame.data(), 0, &past, wide.data());
    EXPECT_EQ(wide[0], (0u + 10 + 20 + 30 + 40 + 50) / 43);
}

TEST(Search, StartInBandBackwardPastZeroAndMarkBounds) {
    Image img(10, 6);
    img.fill(100);
    img.set(7, 2, 200);
    img.registerWithLibrary();
    uint32_t out = 42;
    EXPECT_EQ(qlxSearchHorizontal(img.frame.data(), 0, 7, 2, 1, 150, 255, 0, &out), 0);
    EXPECT_EQ(out, 7u);
    out = 42;
    EXPECT_EQ(qlxSearchHorizontal(img.frame.data(), 0, 3, 2, 0, 150, 255, 0, &out), 1000);
    EXPECT_EQ(out, 42u);
    EXPECT_EQ(qlxSearchHorizontal(img.frame.data(), 0, 0, 2, 1, 150, 255, 1, &out), 0);
    EXPECT_EQ(out, 7u);
    // Marks at x = 1 .. 7 of row 2; none at x = 0.
    EXPECT_EQ(img.overlay[img.g.offset(0, 2) + 1], 0);
    EXPECT_EQ(img.overlay[img.g.offset(1, 3) + 1], 128);
    EXPECT_EQ(img.overlay[img.g.offset(8, 2) + 2], 128);
    EXPECT_EQ(img.overlay[img.g.offset(9, 2) + 2], 0);
    // Vertical walk down column 8 to the last row: x = width - 2 paints the
    // last column, y = height - 1 paints nothing.
    std::fill(img.overlay.begin(), img.overlay.end(), 0);
    EXPECT_EQ(qlxSearchVertical(img.frame.data(), 0, 8, 0, 1, 150, 255, 1, &out), 1000);
    EXPECT_EQ(img.overlay[img.g.offset(9, 4) + 1], 128);
    EXPECT_EQ(img.overlay[img.g.offset(9, 5) + 1], 128) << "block of (8, 4) covers row 5";
    EXPECT_EQ(img.overlay[img.g.offset(8, 0) + 1], 0);
    // A row outside the image is not read.
    EXPECT_EQ(qlxSearchHorizontal(img.frame.data(), 0, 0, 6, 1, 0, 255, 1, &out), 1000);
}

TEST(Library, VersionAndUnusableRegistration) {
    uint8_t buf[3] = {0, 0, 0};
    EXPECT_EQ(qlxVersion(buf), 8);
    EXPECT_EQ(qlxVersion(nullptr), 8);
    Image img(8, 8);
    img.fill(10);
    qlxSetUp(8, 8, 8, 3, img.frame.data(), img.overlay.data());  // stride too short
    uint32_t out = 5;
    EXPECT_EQ(qlxSearchHorizontal(img.frame.data(), 0, 0, 0, 1, 0, 255, 1, &out), 1000);
    EXPECT_EQ(qlxBinarize(img.frame.data(), 0, 0, nullptr, 100), 0);
    EXPECT_EQ(img.at(3, 3), 10);
    std::vector<uint8_t> edges(img.g.size(), 1);
    EXPECT_EQ(qlxSobel3(img.frame.data(), 0, 0, nullptr, 1.0, edges.data(), 0), 0);
    EXPECT_EQ(edges, std::vector<uint8_t>(img.g.size(), 1));
}

}  // namespace
