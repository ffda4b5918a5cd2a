// Circle gauge on rendered discs: bias and honest uncertainty at small and
// larger radii, clutter on a fifth of the spokes, refused geometry, and the
// same answers from several threads at once.
#include "render.h"

#include <qgauge.h>

#include <gtest/gtest.h>

#include <cstdio>
#include <cstring>
#include <thread>

namespace {

using namespace gauge_render;

struct Disc {
    int size;
    std::vector<uint8_t> px;
    double cx, cy;
};

// A dark disc (80) on light (180), blurred by 1 px; with `clutter`, a light
// speck inside the disc on every fifth spoke, which the first edge met
// going outwards would take for the rim.
Disc render(double r, double noise, bool clutter, std::mt19937_64& rng, int spokes) {
    std::uniform_real_distribution<double> U(0, 1);
    Disc d;
    d.size = static_cast<int>(2 * r + 60);
    d.cx = d.size / 2.0 + U(rng);
    d.cy = d.size / 2.0 + U(rng);
    Canvas c(d.size, d.size, 180);
    drawDisc(c, d.cx, d.cy, r, 80);
    if (clutter)
        for (int i = 0; i < spokes; i += 5) {
            double a = 2 * M_PI * i / spokes;
            drawDisc(c, d.cx + (r - 12) * std::cos(a), d.cy + (r - 12) * std::sin(a), 1.5, 180);
        }
    blur(c, 1.0);
    d.px = quantise(c, noise, rng);
    return d;
}

qgCircleGaugeParams gaugeFor(const Disc& d, double r, int select) {
    qgCircleGaugeParams g{};
    g.cx = d.size / 2.0 + 0.5;
    g.cy = d.size / 2.0 + 0.5;
    g.r = r + 1;
    g.spokes = 64;
    g.spokeLength = std::min(40.0, 2 * r - 4);
    g.spokeWidth = 5;
    qgCaliperDefaults(&g.caliper);
    g.caliper.select = select;
    qgFitDefaults(&g.fit);
    return g;
}

// Per radius: mean error of radius and centre within 0.01 px (0.02 with
// clutter), and the scatter within 25 % of the reported uncertainty,
// which a factor of 2 in either direction would fail.
TEST(CircleGauge, BiasAndUncertaintyOverRenders) {
    struct Case {
        double r;
        bool clutter;
        int select;
        double bias;
    } cases[] = {
        {20, false, QG_SELECT_STRONGEST, 0.01},
        {45, false, QG_SELECT_STRONGEST, 0.01},
        {60, true, QG_SELECT_FIRST, 0.02},
    };
    std::mt19937_64 rng(21);
    for (const Case& k : cases) {
        const int trials = 80;
        double sr = 0, sr2 = 0, ur = 0, sx = 0, sx2 = 0, ux = 0;
        for (int t = 0; t < trials; ++t) {
            Disc d = render(k.r, 2.0, k.clutter, rng, 64);
            qgImage im{d.px.data(), d.size, d.size, d.size, 1};
            auto g = gaugeFor(d, k.r, k.select);
            qgCircle c;
            std::vector<qgSpoke> spokes(64);
            ASSERT_EQ(qgCircleGauge(&im, &g, &c, spokes.data()), QG_OK);
            if (k.clutter) {
                // The spokes whose first edge is a speck take the rim behind
                // it: every spoke counts, and on the rim.
                for (int i = 0; i < 64; ++i) {
                    const qgSpoke& s = spokes[static_cast<size_t>(i)];
                    EXPECT_GT(s.weight, 0) << i;
                    EXPECT_NEAR(std::hypot(s.edge.x - d.cx, s.edge.y - d.cy), k.r, 0.1) << i;
                }
                EXPECT_EQ(c.inliers, 64);
            }
            double er = c.r - k.r, ex = c.cx - d.cx;
            sr += er; sr2 += er * er; ur += c.uR;
            sx += ex; sx2 += ex * ex; ux += c.uCx;
        }
        double mr = sr / trials, mx = sx / trials;
        EXPECT_LT(std::fabs(mr), k.bias) << k.r;
        EXPECT_LT(std::fabs(mx), k.bias) << k.r;
        double qr = std::sqrt(sr2 / trials - mr * mr) / (ur / trials);
        double qx = std::sqrt(sx2 / trials - mx * mx) / (ux / trials);
        EXPECT_GT(qr, 0.75) << k.r;
        EXPECT_LT(qr, 1.33) << k.r;
        EXPECT_GT(qx, 0.75) << k.r;
        EXPECT_LT(qx, 1.33) << k.r;
    }
}

// Small circles gauged as the station places its spokes (side by side,
// 5 px wide, 24 long): a dozen or two residuals say the scatter only
// roughly, and a robust scale from them can fall below the spokes' own
// noise. Over many renders no sound spoke is set aside, and the radius's
// +-2u covers about 95 % (these 400 renders scatter by about 1 %).
TEST(CircleGauge, SmallCirclesKeepTheirSpokesAndTheirUncertaintyCovers) {
    std::mt19937_64 rng(34);
    for (double r : {12.0, 18.0}) {
        SCOPED_TRACE(r);
        const int trials = 400;
        int covered = 0, dropped = 0;
        for (int t = 0; t < trials; ++t) {
            Disc d = render(r, 2.0, false, rng, 0);
            qgImage im{d.px.data(), d.size, d.size, d.size, 1};
            qgCircleGaugeParams g = gaugeFor(d, r, QG_SELECT_STRONGEST);
            g.r = r + 0.4;
            g.spokes = static_cast<int>(2 * M_PI * g.r / 5);
            g.spokeLength = 24;
            qgCircle c;
            ASSERT_EQ(qgCircleGauge(&im, &g, &c, nullptr), QG_OK);
            dropped += c.inliers < g.spokes;
            covered += std::fabs(c.r - r) <= 2 * c.uR;
        }
        std::printf("r %.0f: spokes dropped in %d of %d, 2u coverage %.1f %%\n", r, dropped, trials,
                    100.0 * covered / trials);
        EXPECT_EQ(dropped, 0);
        EXPECT_GE(covered, 0.915 * trials);
        EXPECT_LE(covered, 0.98 * trials);
    }
}

// A speck a spoke meets reaches faintly into the spokes beside it, below
// their threshold but inside their plateau windows. The same renders (the
// same noise) with and without the specks: on average the spokes beside a
// speck must find the rim where they find it without it.
TEST(CircleGauge, ClutterDoesNotMoveTheSpokesBesideIt) {
    double sum = 0;
    int count = 0;
    for (int t = 0; t < 20; ++t) {
        std::mt19937_64 ra(100 + t), rb(100 + t);
        Disc with = render(60, 2.0, true, ra, 64), without = render(60, 2.0, false, rb, 64);
        std::vector<qgSpoke> sw(64), so(64);
        qgCircle c;
        auto g = gaugeFor(with, 60, QG_SELECT_FIRST);
        qgImage iw{with.px.data(), with.size, with.size, with.size, 1};
        qgImage io{without.px.data(), without.size, without.size, without.size, 1};
        ASSERT_EQ(qgCircleGauge(&iw, &g, &c, sw.data()), QG_OK);
        ASSERT_EQ(qgCircleGauge(&io, &g, &c, so.data()), QG_OK);
        for (int i = 0; i < 64; ++i) {
            if (i % 5 != 1 && i % 5 != 4) continue;
            ASSERT_TRUE(sw[static_cast<size_t>(i)].found && so[static_cast<size_t>(i)].found) << i;
            sum += sw[static_cast<size_t>(i)].edge.position - so[static_cast<size_t>(i)].edge.position;
            ++count;
        }
    }
    EXPECT_LT(std::fabs(sum / count), 0.001);
}

// Spokes wide enough to share pixels widen the uncertainties, but a fit of
// three inliers has no scatter to widen: it must say +infinity, never NaN,
// while a fourth spoke gives finite ones again.
TEST(CircleGauge, ThreeEdgesGiveInfiniteUncertaintiesEvenWhereSpokesOverlap) {
    std::mt19937_64 rng(3);
    for (double r : {6.0, 10.0})
        for (int spokes : {3, 4}) {
            Canvas c(80, 80, 180);
            drawDisc(c, 40.3, 39.8, r, 80);
            blur(c, 1.0);
            std::vector<uint8_t> px = quantise(c, 2.0, rng);
            qgImage im{px.data(), 80, 80, 80, 1};
            qgCircleGaugeParams g{};
            g.cx = g.cy = 40;
            g.r = r;
            g.spokes = spokes;
            g.spokeLength = 10;
            g.spokeWidth = 3 * M_PI * r / spokes;  // half as wide again as the spokes' spacing
            qgCaliperDefaults(&g.caliper);
            qgFitDefaults(&g.fit);
            qgCircle out;
            ASSERT_EQ(qgCircleGauge(&im, &g, &out, nullptr), QG_OK) << r << " " << spokes;
            ASSERT_EQ(out.inliers, spokes);
            for (double u : {out.uCx, out.uCy, out.uR}) {
                if (spokes == 3) EXPECT_TRUE(std::isinf(u) && u > 0) << r << ": " << u;
                else EXPECT_TRUE(std::isfinite(u) && u > 0) << r << ": " << u;
            }
        }
}

TEST(CircleGauge, RefusedGeometryAndThreads) {
    std::mt19937_64 rng(2);
    Disc d = render(30, 2.0, false, rng, 64);
    qgImage im{d.px.data(), d.size, d.size, d.size, 1};
    const auto good = gaugeFor(d, 30, QG_SELECT_STRONGEST);
    struct Case {
        const char* what;
        void (*change)(qgCircleGaugeParams&);
        int32_t code;
    } cases[] = {
        {"two spokes", [](qgCircleGaugeParams& g) { g.spokes = 2; }, QG_ERR_ARGUMENT},
        {"too many spokes", [](qgCircleGaugeParams& g) { g.spokes = QG_MAX_SPOKES + 1; }, QG_ERR_TOO_LARGE},
        {"NaN radius", [](qgCircleGaugeParams& g) { g.r = NAN; }, QG_ERR_ARGUMENT},
        {"negative radius", [](qgCircleGaugeParams& g) { g.r = -5; }, QG_ERR_ARGUMENT},
        {"spoke outside", [](qgCircleGaugeParams& g) { g.r = 70; }, QG_ERR_OUTSIDE},
        {"select all", [](qgCircleGaugeParams& g) { g.caliper.select = QG_SELECT_ALL; }, QG_ERR_ARGUMENT},
        {"zero width", [](qgCircleGaugeParams& g) { g.spokeWidth = 0; }, QG_ERR_ARGUMENT},
        {"bad fit", [](qgCircleGaugeParams& g) { g.fit.robust = 7; }, QG_ERR_ARGUMENT},
        {"no edges", [](qgCircleGaugeParams& g) { g.caliper.threshold = 500; }, QG_NOT_FOUND},
    };
    for (const Case& k : cases) {
        auto g = good;
        k.change(g);
        qgCircle c;
        std::memset(&c, 0x33, sizeof c);
        qgCircle before = c;
        EXPECT_EQ(qgCircleGauge(&im, &g, &c, nullptr), k.code) << k.what;
        EXPECT_EQ(std::memcmp(&c, &before, sizeof c), 0) << k.what;
    }
    qgCircle c;
    EXPECT_EQ(qgCircleGauge(&im, nullptr, &c, nullptr), QG_ERR_NULL);
    EXPECT_EQ(qgCircleGauge(&im, &good, nullptr, nullptr), QG_ERR_NULL);

    // Re-entrant: four threads on the same image get the one answer.
    qgCircle ref;
    ASSERT_EQ(qgCircleGauge(&im, &good, &ref, nullptr), QG_OK);
    std::vector<qgCircle> out(4);
    std::vector<std::thread> threads;
    for (int i = 0; i < 4; ++i)
        threads.emplace_back([&, i] {
            for (int n = 0; n < 20; ++n) qgCircleGauge(&im, &good, &out[static_cast<size_t>(i)], nullptr);
        });
    for (auto& t : threads) t.join();
    for (const qgCircle& o : out) EXPECT_EQ(std::memcmp(&o, &ref, sizeof o), 0);
}

}  // namespace
