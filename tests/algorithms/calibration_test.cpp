#include "reference.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <random>

namespace {

using ref::Image;
using ref::roi;

struct Result {
    int32_t rc;
    double sx, sy, third;
};

Result calibrate(Image& img, uint32_t regionCount = 0, const RoiRecord* regions = nullptr,
                 size_t size = 0) {
    img.registerWithLibrary();
    Result r{0, -1, -2, -3};
    r.rc = qlxStandardCalibration(img.frame.data(), uint32_t(size ? size : img.g.size()), regionCount,
                                  regions, 24.0, 1, &r.sx, &r.sy, &r.third);
    return r;
}

double expectedScale(uint32_t pixels) {
    return std::sqrt(double(pixels) * 0.31830988148145367) * 0.3333333333333333;
}

// A dark a x b rectangle at (10, 10) with a bright c x d hole at (hx, hy)
// inside it, on a light background; the region is the rectangle plus the
// scan's extra column and row.
struct Boxes {
    Image img{120, 120};
    RoiRecord region;
    Boxes(int a, int b, int c, int d, int hx, int hy) {
        img.fill(200);
        for (int y = 0; y < b; ++y)
            for (int x = 0; x < a; ++x) {
                const bool hole = x >= hx && x < hx + c && y >= hy && y < hy + d;
                img.set(uint32_t(10 + x), uint32_t(10 + y), hole ? 250 : 20);
            }
        region = roi(10, 10, 10 + a, 10 + b);
    }
};

TEST(Calibration, RatioWindowIsInclusive) {
    Boxes exact3(50, 80, 25, 40, 12, 20);  // 3000 around 1000
    Result r = calibrate(exact3.img, 1, &exact3.region);
    ASSERT_EQ(r.rc, 0);
    EXPECT_EQ(r.sx, expectedScale(4000));
    EXPECT_NEAR(r.sx, 11.89, 0.005);
    EXPECT_EQ(r.sy, r.sx);
    EXPECT_EQ(r.third, 0.0);

    Boxes low(35, 40, 20, 20, 7, 10);  // 1000 / 400 = 2.5
    EXPECT_EQ(calibrate(low.img, 1, &low.region).rc, 0);
    Boxes high(40, 42, 20, 20, 10, 11);  // 1280 / 400 = 3.2
    EXPECT_EQ(calibrate(high.img, 1, &high.region).rc, 0);
    Boxes over(41, 41, 20, 20, 10, 10);  // 1281 / 400 = 3.2025
    r = calibrate(over.img, 1, &over.region);
    EXPECT_EQ(r.rc, 1001);
    EXPECT_EQ(r.sx, -1.0);
    Boxes under(35, 40, 20, 20, 7, 10);  // one ring pixel less: 999 / 400
    under.img.set(10 + 34, 10 + 39, 250);
    EXPECT_EQ(calibrate(under.img, 1, &under.region).rc, 1001);
}

TEST(Calibration, CentreMustBeCloserThanSixteenPixels) {
    // Ring 540 pixels with its centre of gravity at row 21.5; the 180-pixel
    // centre sits at row 5.5 (exactly 16 away), or at 6.5.
    Boxes at16(20, 36, 18, 10, 1, 1);
    EXPECT_EQ(calibrate(at16.img, 1, &at16.region).rc, 1001);
    Boxes closer(20, 36, 18, 10, 1, 2);
    const Result r = calibrate(closer.img, 1, &closer.region);
    EXPECT_EQ(r.rc, 0);
    EXPECT_EQ(r.sx, expectedScale(720));
}

TEST(Calibration, BrightImageFailsAndLeavesTheOutputs) {
    Image img(40, 30);
    img.fill(240);
    std::fill(img.overlay.begin(), img.overlay.end(), 9);
    const Result r = calibrate(img);
    EXPECT_EQ(r.rc, 1001);
    EXPECT_EQ(r.sx, -1.0);
    EXPECT_EQ(r.sy, -2.0);
    EXPECT_EQ(r.third, -3.0);
    EXPECT_EQ(img.overlay, std::vector<uint8_t>(img.g.size(), 0));
}

Image drawnTarget(int R, uint32_t seed) {
    const uint32_t side = uint32_t(4 * R + 40);
    Image img(side, side);
    std::mt19937 rng(seed);
    std::normal_distribution<double> noise(0, 5);
    const double cx = side / 2.0 + 0.37, cy = side / 2.0 - 0.21;
    for (uint32_t y = 0; y < side; ++y)
        for (uint32_t x = 0; x < side; ++x) {
            const double d = std::hypot(x - cx, y - cy);
            const double v = (d < R / 2.0 ? 230 : d < R ? 30 : 190) + noise(rng);
            img.set(x, y, uint8_t(std::clamp(v, 0.0, 255.0)));
        }
    return img;
}

TEST(Calibration, DrawnTargetGivesAThirdOfItsRadius) {
    for (int R : {30, 60, 120}) {
        Image img = drawnTarget(R, uint32_t(R));
        const Result r = calibrate(img);
        ASSERT_EQ(r.rc, 0) << R;
        EXPECT_NEAR(r.sx / (R / 3.0), 1.0, 0.02) << R;
        // The overlay shows the blobs of the successful threshold: the ring's
        // painted colour and the grey cross at the centre.
        const size_t centre = img.g.offset(img.g.width / 2, img.g.height / 2);
        EXPECT_EQ(img.overlay[centre], 128) << R;
    }
}

TEST(Calibration, OverlayMatchesTheTwoSearchesOfTheLastThreshold) {
    Image img = drawnTarget(30, 5);
    ASSERT_EQ(calibrate(img).rc, 0);
    const std::vector<uint8_t> overlay = img.overlay;
    // The first threshold finds this target; replay its two searches.
    std::fill(img.overlay.begin(), img.overlay.end(), 0);
    std::vector<BlobRecord> list(1001);
    const uint8_t* f = img.frame.data();
    uint32_t n = ref::findBlobs(img.g, f, f, img.overlay.data(), 0, nullptr, 0, 40, 10, 9999999, 1,
                                list.data(), 1000, nullptr);
    ASSERT_GT(n, 0u);
    ref::findBlobs(img.g, f, f, img.overlay.data(), 0, nullptr, 40, 255, 10, 9999999, 1, list.data(),
                   1000, nullptr);
    EXPECT_TRUE(overlay == img.overlay);
}

// The sweep written out plainly on the reference search: every threshold,
// the first size bytes of the overlay cleared each time, the dark and bright
// searches painted.
Result referenceSweep(Image& img, uint32_t regionCount, const RoiRecord* regions, size_t size) {
    Result r{1001, -1, -2, -3};
    std::vector<BlobRecord> list(1000);
    const uint8_t* f = img.frame.data();
    for (uint32_t t = 40; t < 240; t += 5) {
        std::fill_n(img.overlay.begin(), size, 0);
        const uint32_t dark = ref::findBlobs(img.g, f, f, img.overlay.data(), regionCount, regions, 0, t,
                                             10, 9999999, 1, list.data(), 1000, nullptr);
        if (dark == 0) continue;
        for (uint32_t i = 0; i + 1 < dark; ++i)
            for (uint32_t j = i + 1; j < dark; ++j)
                if (list[i].pixelCount < list[j].pixelCount) std::swap(list[i], list[j]);
        const BlobRecord ring = list[0];
        const uint32_t bright = ref::findBlobs(img.g, f, f, img.overlay.data(), regionCount, regions, t,
                                               255, 10, 9999999, 1, list.data(), 1000, nullptr);
        for (uint32_t i = 0; i < bright; ++i) {
            const BlobRecord& c = list[i];
            if (c.pixelCount == 0 || !(std::fabs(c.cogX - ring.cogX) < 16.0) ||
                !(std::fabs(c.cogY - ring.cogY) < 16.0))
                continue;
            const double ratio = double(ring.pixelCount) / double(c.pixelCount);
            if (ratio >= 2.5 && ratio <= 3.2) {
                r.sx = r.sy = std::sqrt(double(ring.pixelCount + c.pixelCount) * 0.31830988148145367) *
                              0.3333333333333333;
                r.third = 0;
                r.rc = 0;
                return r;
            }
        }
    }
    return r;
}

void expectSameSweep(Image& img, uint32_t regionCount = 0, const RoiRecord* regions = nullptr,
                     size_t size = 0) {
    if (size == 0) size = img.g.size();
    std::fill(img.overlay.begin(), img.overlay.end(), 3);
    const Result lib = calibrate(img, regionCount, regions, size);
    const std::vector<uint8_t> overlay = img.overlay;
    std::fill(img.overlay.begin(), img.overlay.end(), 3);
    const Result want = referenceSweep(img, regionCount, regions, size);
    EXPECT_EQ(lib.rc, want.rc);
    EXPECT_EQ(lib.sx, want.sx);
    EXPECT_EQ(lib.sy, want.sy);
    EXPECT_EQ(lib.third, want.third);
    EXPECT_TRUE(overlay == img.overlay) << "overlays differ";
}

// A target of outer radius R at (cx, cy) over a background, with noise; the
// ring and centre levels decide at which thresholds it shows.
void drawTarget(Image& img, double cx, double cy, double R, int ring, int centre, double inner) {
    for (uint32_t y = 0; y < img.g.height; ++y)
        for (uint32_t x = 0; x < img.g.width; ++x) {
            const double d = std::hypot(x - cx, y - cy);
            if (d < R) img.set(x, y, uint8_t(d < R * inner ? centre : ring));
        }
}

void addNoise(Image& img, std::mt19937& rng, double sigma) {
    std::normal_distribution<double> noise(0, sigma);
    for (uint32_t y = 0; y < img.g.height; ++y)
        for (uint32_t x = 0; x < img.g.width; ++x)
            img.set(x, y, uint8_t(std::clamp(img.at(x, y) + noise(rng), 0.0, 255.0)));
}

TEST(Calibration, RandomScenesMatchThePlainSweep) {
    std::mt19937 rng(31);
    std::uniform_real_distribution<double> u(0, 1);
    for (int round = 0; round < 14; ++round) {
        const uint32_t w = 40 + uint32_t(u(rng) * 140), h = 30 + uint32_t(u(rng) * 110);
        Image img(w, h);
        if (round % 3 == 0) {
            ref::randomScene(img, rng, 1 + round % 5);
        } else {
            img.fill(uint8_t(120 + u(rng) * 100));
        }
        const double R = 8 + u(rng) * std::min(w, h) / 3.0;
        drawTarget(img, w * (0.3 + 0.4 * u(rng)), h * (0.3 + 0.4 * u(rng)), R, int(u(rng) * 120),
                   int(150 + u(rng) * 105), 0.45 + 0.15 * u(rng));
        addNoise(img, rng, round % 4 == 0 ? 0.0 : 2 + u(rng) * 20);
        SCOPED_TRACE(::testing::Message() << "round " << round << " " << w << "x" << h);
        expectSameSweep(img);
        const RoiRecord regions[] = {roi(2, 3, int32_t(w) - 5, int32_t(h) - 2), roi(0, 0, int32_t(w / 2), int32_t(h) - 1),
                                     roi(int32_t(w / 3), int32_t(h / 4), int32_t(w) - 1, int32_t(h) - 1)};
        expectSameSweep(img, 1, regions);
        expectSameSweep(img, 3, regions);
    }
}

TEST(Calibration, LargeComponentsCutAtTheDepthLimitMatchThePlainSweep) {
    // Dark serpentines of tens of thousands of pixels (split by the fill's
    // depth limit) next to small bright and dark specks at many levels, so
    // that either band can be the large one and a dark search may be given
    // up early; and a dense noise field whose components percolate.
    std::mt19937 rng(8);
    for (int round = 0; round < 4; ++round) {
        Image img(260, 200);
        img.fill(uint8_t(150 + 20 * round));
        for (uint32_t y = 2; y + 2 < 200; y += 2)
            for (uint32_t x = 2; x < 258; ++x) img.set(x, y, uint8_t(60 + 40 * round));
        for (uint32_t y = 3; y + 2 < 200; y += 4) img.set(y % 8 == 3 ? 257 : 2, y, uint8_t(60 + 40 * round));
        std::uniform_int_distribution<uint32_t> px(0, 259), py(0, 199), lv(0, 255);
        for (int i = 0; i < 400; ++i) img.set(px(rng), py(rng), uint8_t(lv(rng)));
        drawTarget(img, 130, 100, 28, 20, 250, 0.5);
        SCOPED_TRACE(::testing::Message() << "round " << round);
        expectSameSweep(img);
    }
    Image noise(220, 180);
    std::uniform_int_distribution<int> lv(0, 255);
    for (uint32_t y = 0; y < 180; ++y)
        for (uint32_t x = 0; x < 220; ++x) noise.set(x, y, uint8_t(lv(rng)));
    expectSameSweep(noise);
    addNoise(noise, rng, 0);
    Image tiny(3, 2);
    tiny.set(1, 0, 30);
    expectSameSweep(tiny);
    Image one(1, 1);
    expectSameSweep(one);
}

TEST(Calibration, CameraLikeScenesMatchThePlainSweep) {
    // Ramps with noise, discs and sometimes the target, over the whole
    // picture or one region; some hold a block of about the fill's depth
    // limit, so that groups just below and just above it occur.
    std::mt19937 rng(1618);
    std::uniform_real_distribution<double> u(0, 1);
    for (int round = 0; round < 16; ++round) {
        const uint32_t w = 50 + uint32_t(u(rng) * 180), h = 40 + uint32_t(u(rng) * 160);
        Image img(w, h);
        const double gx = (u(rng) - 0.5) * 500 / w, gy = (u(rng) - 0.5) * 300 / h, base = 60 + 140 * u(rng);
        for (uint32_t y = 0; y < h; ++y)
            for (uint32_t x = 0; x < w; ++x) img.set(x, y, uint8_t(std::clamp(base + gx * x + gy * y, 0.0, 255.0)));
        for (int i = 0, n = int(u(rng) * 10); i < n; ++i) {
            const double r = 2 + u(rng) * 12;
            drawTarget(img, u(rng) * w, u(rng) * h, r, int(u(rng) * 255), int(u(rng) * 255), 0.0);
        }
        if (w >= 70 && h >= 100 && round % 2 == 0) {
            const uint32_t pixels = 5996 + uint32_t(u(rng) * 10), bw = 65;
            for (uint32_t i = 0; i < pixels; ++i) img.set(2 + i % bw, 2 + i / bw, uint8_t(20 + u(rng) * 10));
        }
        if (round % 3 != 0) {
            // Rings of up to about 15,000 pixels, often more than the fill
            // reaches without a cut.
            const double R = 8 + u(rng) * std::min(w, h) / 2.3;
            drawTarget(img, w * (0.3 + 0.4 * u(rng)), h * (0.3 + 0.4 * u(rng)), R, int(u(rng) * 120),
                       int(150 + u(rng) * 105), 0.45 + 0.15 * u(rng));
        }
        addNoise(img, rng, u(rng) * 15);
        SCOPED_TRACE(::testing::Message() << "round " << round << " " << w << "x" << h);
        expectSameSweep(img);
        const RoiRecord region = roi(int32_t(u(rng) * w / 3), int32_t(u(rng) * h / 3),
                                     int32_t(w / 2 + u(rng) * (w / 2 - 1)), int32_t(h / 2 + u(rng) * (h / 2 - 1)));
        expectSameSweep(img, 1, &region);
    }
}

TEST(Calibration, RingsCutByTheFillGiveTheScaleOfTheirFirstPiece) {
    // Rings of 6,000 to 17,000 pixels; with noise the fill now and then
    // leaves a few pixels of one behind, and the scale counts only the
    // piece it took.
    for (int R = 51; R <= 81; R += 6)
        for (double inner : {0.45, 0.5, 0.55}) {
            const uint32_t side = uint32_t(2 * R + 24);
            Image img(side, side);
            std::mt19937 rng(uint32_t(R * 100 + inner * 100));
            std::normal_distribution<double> noise(0, 5);
            const double c = side / 2.0 + 0.37;
            for (uint32_t y = 0; y < side; ++y)
                for (uint32_t x = 0; x < side; ++x) {
                    const double d = std::hypot(x - c, y - c + 0.58);
                    const double v = (d < R * inner ? 230 : d < R ? 30 : 190) + noise(rng);
                    img.set(x, y, uint8_t(std::clamp(v, 0.0, 255.0)));
                }
            SCOPED_TRACE(::testing::Message() << "R " << R << " inner " << inner);
            expectSameSweep(img);
        }
}

TEST(Calibration, MoreSmallBlobsThanTheListHoldsBeforeALargeOne) {
    // 1,100 dark dots of 12 pixels fill the top rows, so that the dark list
    // is full before the large dark region below is met, or, with a
    // target among the dots, the list ends before the ring.
    for (bool target : {false, true}) {
        Image img(250, 200);
        img.fill(220);
        uint32_t dots = 0;
        for (uint32_t y = 1; y + 4 < 120 && dots < 1100; y += 5)
            for (uint32_t x = 1; x + 4 < 250 && dots < 1100; x += 5, ++dots)
                for (uint32_t i = 0; i < 12; ++i) img.set(x + i % 4, y + i / 4, 30);
        for (uint32_t y = 130; y < 199; ++y)
            for (uint32_t x = 0; x < 249; ++x) img.set(x, y, uint8_t(60 + (x + y) % 7));
        if (target) drawTarget(img, 125.5, 164.2, 30, 20, 240, 0.5);
        SCOPED_TRACE(target);
        expectSameSweep(img);
        const RoiRecord region = roi(0, 100, 249, 199);
        expectSameSweep(img, 1, &region);
    }
}

TEST(Calibration, TargetBetweenHistogramGapsIsFoundAtTheSameThreshold) {
    // Levels far apart leave most thresholds with the same bands; the
    // target appears only once its ring level is passed.
    for (int ringLevel : {42, 47, 101, 103, 188, 232}) {
        Image img(120, 100);
        img.fill(240);
        for (uint32_t i = 0; i < 30; ++i) img.set(5 + 3 * i, 5, uint8_t(20 + 7 * i));
        // Specks right at the thresholds 45, 55, ..., 235.
        for (uint32_t i = 0; i < 20; ++i) img.set(5 + 3 * i, 94, uint8_t(45 + 10 * i));
        drawTarget(img, 60.3, 55.6, 30, ringLevel, 245, 0.5);
        SCOPED_TRACE(ringLevel);
        expectSameSweep(img);
        const Result r = calibrate(img);
        EXPECT_EQ(r.rc, ringLevel < 235 ? 0 : 1001);
    }
}

TEST(Calibration, ShortSizeKeepsThePaintOfEveryThresholdPastTheClearedPart) {
    // Only the top half is cleared at each threshold. Below the region, the
    // cross of the dark speck B (level 60) from the thresholds 60 to 95
    // stays, although from 105 on B and its neighbour A (level 100) form
    // one blob whose cross lies two columns further right.
    Image img(160, 140);
    img.fill(240);
    for (uint32_t y = 97; y < 99; ++y)
        for (uint32_t x = 20; x < 30; ++x) img.set(x, y, x < 25 ? 60 : 100);
    drawTarget(img, 75.3, 45.6, 30, 150, 245, 0.5);
    const RoiRecord region = roi(5, 5, 150, 100);
    expectSameSweep(img, 1, &region, img.g.size() / 2);
    EXPECT_EQ(img.overlay[img.g.offset(22, 102)], 128);
    const Result r = calibrate(img, 1, &region);
    EXPECT_EQ(r.rc, 0);
    EXPECT_EQ(img.overlay[img.g.offset(22, 102)], 0) << "a whole clear leaves only the last threshold";
}

TEST(Angle, Directions) {
    Image img(10, 100);
    img.registerWithLibrary();
    auto angle = [](double x1, double y1, double x2, double y2) {
        double a = -1;
        EXPECT_EQ(qlxCalculateAngle(x1, y1, x2, y2, &a), 0);
        return a;
    };
    EXPECT_EQ(angle(0, 0, 10, 0), 0.0);
    EXPECT_EQ(angle(0, 0, 0, 10), 270.0);
    EXPECT_EQ(angle(0, 10, 0, 0), 90.0);
    EXPECT_EQ(angle(0, 0, -10, 0), 180.0);
    EXPECT_EQ(angle(3, 3, 3, 3), 0.0);
    EXPECT_EQ(angle(0, 0, 10, 10), std::atan(-1.0) * 57.29577791868204 + 360);
    EXPECT_NEAR(angle(0, 0, 10, 10), 315.0, 1e-5);
    EXPECT_EQ(angle(10, 10, 0, 0), std::atan(-1.0 * -10 / -10) * 57.29577791868204 + 180);
    EXPECT_NEAR(angle(0, 0, -10, -10), 135.0, 1e-5);
    EXPECT_NEAR(angle(0, 10, 10, 0), 45.0, 1e-5);
}

}  // namespace
