// Edge caliper and edge pair: the coordinate convention, polarity, the
// bias of the sub-pixel locator over phases and angles, and whether the
// reported uncertainty matches the scatter.
#include "render.h"

#include <qgauge.h>

#include <gtest/gtest.h>

#include <cstring>

namespace {

using namespace gauge_render;

qgCaliperParams defaults() {
    qgCaliperParams p;
    qgCaliperDefaults(&p);
    return p;
}

// Axis position of the edge line through (x0, y0) with normal angle a on
// the caliper's axis.
double truePosition(const qgRect& r, double x0, double y0, double a) {
    double nx = std::cos(a), ny = std::sin(a);
    return (nx * (x0 - r.cx) + ny * (y0 - r.cy)) / (nx * std::cos(r.angle) + ny * std::sin(r.angle));
}

// Pixels 0..9 of each row dark, 10..19 light, no blur: the edge lies on the
// boundary between pixels 9 and 10, x = 10 in the library's convention. A
// caliper centred anywhere over it, with pixels of 1, 3 or 4 bytes and
// padded rows, must say so.
TEST(Caliper, StepBetweenPixelsLiesOnTheirCommonBorder) {
    for (int bpp : {1, 3, 4}) {
        const int w = 20, h = 9, stride = w * bpp + 5;
        std::vector<uint8_t> px(static_cast<size_t>(stride) * h, 7);
        for (int y = 0; y < h; ++y)
            for (int x = 0; x < w; ++x) px[static_cast<size_t>(y) * stride + x * bpp + (bpp == 1 ? 0 : 2)] = x < 10 ? 50 : 150;
        qgImage im{px.data(), w, h, stride, bpp};
        for (double cx : {10.0, 10.5, 9.25}) {
            qgRect r{cx, 4.5, 12, 5, 0};
            qgEdge e;
            int32_t n = 0;
            auto p = defaults();
            ASSERT_EQ(qgEdgeCaliper(&im, &r, &p, &e, 1, &n), QG_OK) << bpp << " " << cx;
            EXPECT_NEAR(e.x, 10.0, 1e-4) << bpp << " " << cx;
            EXPECT_NEAR(e.y, 4.5, 1e-12);
            EXPECT_NEAR(e.position, 10.0 - cx, 1e-4);
            EXPECT_NEAR(e.contrast, 100.0, 1e-9);
        }
    }
}

// Three edges along the axis: up at 15.3, down at 30.7 (the strongest),
// up at 45.2. Polarity filters, selection, and the axis reversed.
TEST(Caliper, PolaritySelectionAndDirection) {
    Canvas c(60, 12, 60);
    for (int y = 0; y < 12; ++y)
        for (int x = 0; x < 60; ++x) {
            auto cover = [&](double at) { return std::clamp(x + 1 - at, 0.0, 1.0); };
            c.at(x, y) = 60 + 80 * cover(15.3) - 120 * cover(30.7) + 70 * cover(45.2);
        }
    blur(c, 1.0);
    std::mt19937_64 rng(3);
    auto px = quantise(c, 0, rng);
    qgImage im{px.data(), 60, 12, 60, 1};
    struct Case {
        double angle;
        int polarity, select;
        std::vector<double> x;  // expected edge x, in axis order
        int sign;               // expected sign of contrast of the first
    } cases[] = {
        {0, QG_POLARITY_EITHER, QG_SELECT_ALL, {15.3, 30.7, 45.2}, +1},
        {0, QG_POLARITY_DARK_TO_LIGHT, QG_SELECT_ALL, {15.3, 45.2}, +1},
        {0, QG_POLARITY_LIGHT_TO_DARK, QG_SELECT_ALL, {30.7}, -1},
        {0, QG_POLARITY_EITHER, QG_SELECT_FIRST, {15.3}, +1},
        {0, QG_POLARITY_EITHER, QG_SELECT_LAST, {45.2}, +1},
        {0, QG_POLARITY_EITHER, QG_SELECT_STRONGEST, {30.7}, -1},
        {M_PI, QG_POLARITY_EITHER, QG_SELECT_ALL, {45.2, 30.7, 15.3}, -1},
        {M_PI, QG_POLARITY_DARK_TO_LIGHT, QG_SELECT_FIRST, {30.7}, +1},
    };
    for (const Case& k : cases) {
        qgRect r{30, 6, 56, 6, k.angle};
        auto p = defaults();
        p.polarity = k.polarity;
        p.select = k.select;
        qgEdge e[4];
        int32_t n = 0;
        ASSERT_EQ(qgEdgeCaliper(&im, &r, &p, e, 4, &n), QG_OK);
        ASSERT_EQ(n, static_cast<int32_t>(k.x.size())) << k.angle << " " << k.polarity << " " << k.select;
        for (int i = 0; i < n; ++i) {
            EXPECT_NEAR(e[i].x, k.x[static_cast<size_t>(i)], 0.01);
            EXPECT_NEAR(e[i].position, (e[i].x - 30) * std::cos(k.angle), 1e-9);
            EXPECT_EQ(e[i].polarity, e[i].contrast > 0 ? QG_POLARITY_DARK_TO_LIGHT : QG_POLARITY_LIGHT_TO_DARK);
        }
        EXPECT_EQ(e[0].contrast > 0 ? 1 : -1, k.sign);
    }
    // Capacity smaller than the edges found: the count says how many there are.
    qgRect r{30, 6, 56, 6, 0};
    auto p = defaults();
    p.select = QG_SELECT_ALL;
    qgEdge one;
    int32_t n = 0;
    ASSERT_EQ(qgEdgeCaliper(&im, &r, &p, &one, 1, &n), QG_OK);
    EXPECT_EQ(n, 3);
    EXPECT_NEAR(one.x, 15.3, 0.01);
}

// Noise-free edges at ten sub-pixel phases and several angles: a locator
// that interpolates the peak (a parabola on three samples) errs by a few
// hundredths of a pixel depending on the phase; ours must not.
TEST(Caliper, NoBiasOverSubPixelPhases) {
    for (double angle : {0.0, 0.12, 0.52, M_PI / 4, M_PI / 2}) {
        double sum = 0, worst = 0;
        for (int ph = 0; ph < 10; ++ph) {
            Canvas c(64, 64, 80);
            double x0 = 32 + ph / 10.0, y0 = 31.5 + ph / 20.0;
            drawEdge(c, x0, y0, angle, 80, 180);
            blur(c, 1.0);
            std::mt19937_64 rng(1);
            auto px = quantise(c, 0, rng);
            qgImage im{px.data(), 64, 64, 64, 1};
            qgRect r{32, 32, 30, 10, angle};
            qgEdge e;
            int32_t n;
            auto p = defaults();
            ASSERT_EQ(qgEdgeCaliper(&im, &r, &p, &e, 1, &n), QG_OK);
            double err = e.position - truePosition(r, x0, y0, angle);
            sum += err;
            worst = std::max(worst, std::fabs(err));
        }
        EXPECT_LT(std::fabs(sum / 10), 0.01) << angle;
        EXPECT_LT(worst, 0.02) << angle;
    }
}

// The negative of an image has the same edges with the opposite polarity:
// every position and uncertainty must come out the same, exactly. A level
// estimator that leans to one side (an even window's upper median) moves a
// noisy edge towards its light side, which noise alone reveals only over
// thousands of renders; the negative shows it in each one. Calipers of
// every length parity, axis-aligned and oblique, so that the plateau
// windows have odd and even counts.
TEST(Caliper, NegativeImageGivesTheSameEdges) {
    std::mt19937_64 rng(11);
    std::uniform_real_distribution<double> U(0, 1);
    int compared = 0;
    for (int t = 0; t < 40; ++t) {
        double a = (U(rng) - 0.5) * 0.6, x0 = 30 + 4 * U(rng), y0 = 32 + U(rng);
        Canvas c(64, 64, 80);
        drawEdge(c, x0, y0, a, 80, 180);
        blur(c, 1.0);
        auto px = quantise(c, 3.0, rng);
        auto neg = px;
        for (uint8_t& v : neg) v = static_cast<uint8_t>(255 - v);
        qgImage im{px.data(), 64, 64, 64, 1}, ni{neg.data(), 64, 64, 64, 1};
        qgRect r{32 + U(rng), 32 + U(rng), 30.0 + t % 12, 4.0 + t % 5, t % 2 ? 0.0 : (U(rng) - 0.5) * 0.4};
        auto p = defaults();
        p.select = QG_SELECT_ALL;
        qgEdge e[4], f[4];
        int32_t n = 0, m = 0;
        ASSERT_EQ(qgEdgeCaliper(&im, &r, &p, e, 4, &n), QG_OK) << t;
        ASSERT_EQ(qgEdgeCaliper(&ni, &r, &p, f, 4, &m), QG_OK) << t;
        ASSERT_EQ(n, m) << t;
        for (int i = 0; i < std::min(n, 4); ++i) {
            EXPECT_NEAR(e[i].position, f[i].position, 1e-9) << t;
            EXPECT_NEAR(e[i].uncertainty, f[i].uncertainty, 1e-10) << t;
            EXPECT_NEAR(e[i].contrast, -f[i].contrast, 1e-9) << t;
            EXPECT_EQ(e[i].polarity + f[i].polarity, QG_POLARITY_DARK_TO_LIGHT + QG_POLARITY_LIGHT_TO_DARK) << t;
            ++compared;
        }
    }
    EXPECT_GE(compared, 40);
}

// 200 noisy renders at random phases and angles: the spread of the error
// must match the reported uncertainty (a factor of 2 either way fails), and
// the widths of a bar likewise.
TEST(Caliper, UncertaintyMatchesScatter) {
    std::mt19937_64 rng(7);
    std::uniform_real_distribution<double> U(0, 1);
    double se = 0, se2 = 0, su = 0, we = 0, we2 = 0, wu = 0;
    int inside = 0;
    const int trials = 200;
    for (int t = 0; t < trials; ++t) {
        double a = (U(rng) - 0.5) * 0.6, x0 = 32 + U(rng), y0 = 32 + U(rng);
        Canvas c(64, 64, 80);
        drawEdge(c, x0, y0, a, 80, 180);
        blur(c, 1.0);
        auto px = quantise(c, 2.0, rng);
        qgImage im{px.data(), 64, 64, 64, 1};
        qgRect r{32 + U(rng), 32 + U(rng), 40, 20, (U(rng) - 0.5) * 0.4};
        qgEdge e;
        int32_t n;
        auto p = defaults();
        ASSERT_EQ(qgEdgeCaliper(&im, &r, &p, &e, 1, &n), QG_OK);
        double err = e.position - truePosition(r, x0, y0, a);
        se += err;
        se2 += err * err;
        su += e.uncertainty;
        inside += std::fabs(err) <= 2 * e.uncertainty;

        // A light bar 9.4 px wide on dark.
        Canvas b(64, 32, 80);
        double left = 25 + U(rng);
        for (int y = 0; y < 32; ++y)
            for (int x = 0; x < 64; ++x)
                b.at(x, y) = 80 + 100 * (std::clamp(x + 1 - left, 0.0, 1.0) - std::clamp(x + 1 - left - 9.4, 0.0, 1.0));
        blur(b, 1.0);
        auto bp = quantise(b, 2.0, rng);
        qgImage bi{bp.data(), 64, 32, 64, 1};
        qgRect br{32, 16, 40, 10, 0};
        qgEdgePairResult pr;
        p.polarity = QG_POLARITY_DARK_TO_LIGHT;
        ASSERT_EQ(qgEdgePair(&bi, &br, &p, &pr), QG_OK);
        we += pr.width - 9.4;
        we2 += (pr.width - 9.4) * (pr.width - 9.4);
        wu += pr.uncertainty;
    }
    double sd = std::sqrt(se2 / trials - se * se / trials / trials);
    EXPECT_LT(std::fabs(se / trials), 0.01);
    EXPECT_GT(sd / (su / trials), 0.75);
    EXPECT_LT(sd / (su / trials), 1.33);
    EXPECT_GE(inside, trials * 88 / 100);
    double wsd = std::sqrt(we2 / trials - we * we / trials / trials);
    EXPECT_LT(std::fabs(we / trials), 0.01);
    EXPECT_GT(wsd / (wu / trials), 0.75);
    EXPECT_LT(wsd / (wu / trials), 1.33);
}

// The edge pair on noise-free bars tilted against the caliper's axis, on
// calipers oblique to the pixel grid, one row on pixel centres, touching
// the image border, edges not quite parallel (the fit shares one tilt; the
// rows' symmetry keeps the axis crossings), with 1 and 3 bytes a pixel:
// both edges and the width on
// the axis within 0.02 px, the uncertainty finite and small.
TEST(Caliper, PairOnTiltedBarsAndAwkwardCalipers) {
    struct Case {
        const char* what;
        double barAngle, tilt, rows, cx, cy;
        int bpp;
        double taper = 0;  // the second edge's normal turned by this, degrees
    };
    const Case cases[] = {
        {"aligned", 0.0, 0.0, 20, 32.3, 32.0, 1},
        {"tilted 4.5 deg", 0.0, 4.5, 20, 32.3, 32.0, 1},
        {"tilted -3 deg, oblique grid", 0.35, -3.0, 12, 31.7, 32.4, 3},
        {"one row on pixel centres", 0.0, 0.0, 1, 32.5, 32.5, 1},
        {"touching the border", 0.0, 0.0, 8.6, 32.2, 4.3, 1},
        {"edges 3 deg apart", 0.1, 2.0, 20, 32.3, 32.0, 1, 3.0},
    };
    for (const Case& k : cases) {
        const double a = k.barAngle, nx = std::cos(a), ny = std::sin(a), bw = 8.3;
        const double a2 = a + k.taper * M_PI / 180;
        const double x0 = 28.6, y0 = 30.2;  // the bar's dark-to-light edge passes here
        Canvas lo(64, 64, 0), hi(64, 64, 0), c(64, 64, 80);
        drawEdge(lo, x0, y0, a, 0, 1);
        drawEdge(hi, x0 + bw * nx, y0 + bw * ny, a2, 0, 1);
        for (size_t i = 0; i < c.v.size(); ++i) c.v[i] = 80 + 100 * (lo.v[i] - hi.v[i]);
        blur(c, 1.0);
        std::mt19937_64 rng(7);
        auto grey = quantise(c, 0.0, rng);
        std::vector<uint8_t> px(grey.size() * static_cast<size_t>(k.bpp));
        for (size_t i = 0; i < grey.size(); ++i)
            for (int b = 0; b < k.bpp; ++b) px[i * static_cast<size_t>(k.bpp) + static_cast<size_t>(b)] = grey[i];
        qgImage im{px.data(), 64, 64, 64 * k.bpp, k.bpp};
        qgRect r{k.cx, k.cy, 36, k.rows, a + k.tilt * M_PI / 180};
        qgCaliperParams p = defaults();
        p.polarity = QG_POLARITY_DARK_TO_LIGHT;
        qgEdgePairResult pr;
        ASSERT_EQ(qgEdgePair(&im, &r, &p, &pr), QG_OK) << k.what;
        const double t1 = truePosition(r, x0, y0, a), t2 = truePosition(r, x0 + bw * nx, y0 + bw * ny, a2);
        EXPECT_NEAR(pr.first.position, t1, 0.02) << k.what;
        EXPECT_NEAR(pr.second.position, t2, 0.02) << k.what;
        EXPECT_NEAR(pr.width, t2 - t1, 0.02) << k.what;
        EXPECT_GT(pr.uncertainty, 0) << k.what;
        EXPECT_LT(pr.uncertainty, 0.05) << k.what;
    }
}

// Every refused argument returns its code and writes nothing.
TEST(Caliper, RefusedArgumentsTouchNothing) {
    std::vector<uint8_t> px(40 * 30, 100);
    const qgImage good{px.data(), 40, 30, 40, 1};
    const qgRect rect{20, 15, 20, 6, 0.3};
    const qgCaliperParams params = defaults();
    const double nan = std::nan(""), inf = INFINITY;
    struct Case {
        const char* what;
        qgImage im;
        qgRect r;
        qgCaliperParams p;
        int32_t capacity;
        int32_t code;
    };
    auto P = [&](auto f) { qgCaliperParams p = params; f(p); return p; };
    auto R = [&](auto f) { qgRect r = rect; f(r); return r; };
    const Case cases[] = {
        {"null pixels", {nullptr, 40, 30, 40, 1}, rect, params, 1, QG_ERR_NULL},
        {"zero width", {px.data(), 0, 30, 40, 1}, rect, params, 1, QG_ERR_IMAGE},
        {"2 bytes a pixel", {px.data(), 20, 30, 40, 2}, rect, params, 1, QG_ERR_IMAGE},
        {"short stride", {px.data(), 40, 30, 39, 1}, rect, params, 1, QG_ERR_IMAGE},
        {"outside", good, R([](qgRect& r) { r.cx = 35; }), params, 1, QG_ERR_OUTSIDE},
        {"outside by a corner", good, R([](qgRect& r) { r.cy = 26.5; }), params, 1, QG_ERR_OUTSIDE},
        {"NaN centre", good, R([&](qgRect& r) { r.cx = nan; }), params, 1, QG_ERR_ARGUMENT},
        {"infinite angle", good, R([&](qgRect& r) { r.angle = inf; }), params, 1, QG_ERR_ARGUMENT},
        {"zero length", good, R([](qgRect& r) { r.length = 0; }), params, 1, QG_ERR_ARGUMENT},
        {"NaN width", good, R([&](qgRect& r) { r.width = nan; }), params, 1, QG_ERR_ARGUMENT},
        {"huge", good, R([](qgRect& r) { r.length = 1e7; }), params, 1, QG_ERR_TOO_LARGE},
        {"sigma 0", good, rect, P([](qgCaliperParams& p) { p.sigma = 0; }), 1, QG_ERR_ARGUMENT},
        {"NaN threshold", good, rect, P([&](qgCaliperParams& p) { p.threshold = nan; }), 1, QG_ERR_ARGUMENT},
        {"negative noise", good, rect, P([](qgCaliperParams& p) { p.noise = -1; }), 1, QG_ERR_ARGUMENT},
        {"polarity 3", good, rect, P([](qgCaliperParams& p) { p.polarity = 3; }), 1, QG_ERR_ARGUMENT},
        {"select 4", good, rect, P([](qgCaliperParams& p) { p.select = 4; }), 1, QG_ERR_ARGUMENT},
        {"capacity 0", good, rect, params, 0, QG_ERR_ARGUMENT},
        {"flat: no edge", good, rect, params, 1, QG_NOT_FOUND},
    };
    for (const Case& k : cases) {
        qgEdge e;
        std::memset(&e, 0xA5, sizeof e);
        qgEdge before = e;
        int32_t n = -7;
        EXPECT_EQ(qgEdgeCaliper(&k.im, &k.r, &k.p, &e, k.capacity, &n), k.code) << k.what;
        EXPECT_EQ(std::memcmp(&e, &before, sizeof e), 0) << k.what;
        EXPECT_EQ(n, k.code == QG_NOT_FOUND ? 0 : -7) << k.what;
        qgEdgePairResult pr;
        std::memset(&pr, 0xA5, sizeof pr);
        qgEdgePairResult pb = pr;
        if (k.capacity > 0) {
            EXPECT_EQ(qgEdgePair(&k.im, &k.r, &k.p, &pr), k.code) << k.what;
        }
        EXPECT_EQ(std::memcmp(&pr, &pb, sizeof pr), 0) << k.what;
    }
    qgEdge e;
    int32_t n;
    EXPECT_EQ(qgEdgeCaliper(nullptr, &rect, &params, &e, 1, &n), QG_ERR_NULL);
    EXPECT_EQ(qgEdgeCaliper(&good, nullptr, &params, &e, 1, &n), QG_ERR_NULL);
    EXPECT_EQ(qgEdgeCaliper(&good, &rect, nullptr, &e, 1, &n), QG_ERR_NULL);
    EXPECT_EQ(qgEdgeCaliper(&good, &rect, &params, nullptr, 1, &n), QG_ERR_NULL);
    EXPECT_EQ(qgEdgeCaliper(&good, &rect, &params, &e, 1, nullptr), QG_ERR_NULL);
    qgCaliperParams all = params;
    all.select = QG_SELECT_ALL;
    qgEdgePairResult pr;
    EXPECT_EQ(qgEdgePair(&good, &rect, &all, &pr), QG_ERR_ARGUMENT);
    EXPECT_EQ(qgEdgePair(&good, &rect, &params, nullptr), QG_ERR_NULL);
    EXPECT_EQ(qgVersion(), QG_VERSION);
}

}  // namespace
