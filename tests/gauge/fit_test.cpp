// Line and circle fits: exactness on perfect points, robustness to
// outliers, uncertainties that match the scatter, refused input.
#include <qgauge.h>

#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <random>
#include <vector>

namespace {

// Points on a line (angle a through (x0, y0)) or circle, normal noise
// sigma, every k-th point (k > 0) pushed off by `outlier`.
std::vector<qgPoint> linePoints(double x0, double y0, double a, int n, double sigma, int k,
                                double outlier, std::mt19937_64& rng) {
    std::normal_distribution<double> N(0, 1);
    std::vector<qgPoint> p;
    for (int i = 0; i < n; ++i) {
        double s = i - n / 2.0, d = sigma * N(rng) + (k > 0 && i % k == 0 ? outlier : 0);
        p.push_back({x0 + s * std::cos(a) - d * std::sin(a), y0 + s * std::sin(a) + d * std::cos(a)});
    }
    return p;
}

std::vector<qgPoint> circlePoints(double cx, double cy, double r, int n, double sigma, int k,
                                  double outlier, std::mt19937_64& rng) {
    std::normal_distribution<double> N(0, 1);
    std::vector<qgPoint> p;
    for (int i = 0; i < n; ++i) {
        double t = 2 * M_PI * i / n, d = r + sigma * N(rng) + (k > 0 && i % k == 0 ? outlier : 0);
        p.push_back({cx + d * std::cos(t), cy + d * std::sin(t)});
    }
    return p;
}

// Perfect points are reproduced exactly; one point in five pushed 5 px off
// moves the robust fits by less than the noise, the plain fits by much
// more.
TEST(Fit, ExactPointsAndOutliers) {
    std::mt19937_64 rng(11);
    qgFitParams robust, plain;
    qgFitDefaults(&robust);
    plain = robust;
    plain.robust = 0;
    qgLine l;
    qgCircle c;
    auto exactLine = linePoints(10, 20, 0.3, 30, 0, 0, 0, rng);
    ASSERT_EQ(qgFitLine(exactLine.data(), 30, &plain, &l, nullptr), QG_OK);
    EXPECT_NEAR(l.angle, 0.3, 1e-12);
    EXPECT_NEAR(-(l.x - 10) * std::sin(0.3) + (l.y - 20) * std::cos(0.3), 0, 1e-12);
    auto exactCircle = circlePoints(50.25, 40.5, 17.75, 24, 0, 0, 0, rng);
    ASSERT_EQ(qgFitCircle(exactCircle.data(), 24, nullptr, &c, nullptr), QG_OK);
    EXPECT_NEAR(c.cx, 50.25, 1e-9);
    EXPECT_NEAR(c.cy, 40.5, 1e-9);
    EXPECT_NEAR(c.r, 17.75, 1e-9);

    auto lp = linePoints(10, 20, -1.2, 100, 0.05, 5, 5.0, rng);
    std::vector<double> w(lp.size());
    ASSERT_EQ(qgFitLine(lp.data(), 100, &robust, &l, w.data()), QG_OK);
    EXPECT_NEAR(-(l.x - 10) * std::sin(-1.2) + (l.y - 20) * std::cos(-1.2), 0, 0.03);
    EXPECT_EQ(l.inliers, 80);
    for (size_t i = 0; i < w.size(); ++i) EXPECT_EQ(w[i] == 0, i % 5 == 0) << i;
    ASSERT_EQ(qgFitLine(lp.data(), 100, &plain, &l, nullptr), QG_OK);
    EXPECT_GT(std::fabs(-(l.x - 10) * std::sin(-1.2) + (l.y - 20) * std::cos(-1.2)), 0.5);

    auto cp = circlePoints(60, 60, 30, 64, 0.05, 5, -6.0, rng);
    ASSERT_EQ(qgFitCircle(cp.data(), 64, &robust, &c, nullptr), QG_OK);
    EXPECT_NEAR(c.r, 30, 0.03);
    EXPECT_NEAR(std::hypot(c.cx - 60, c.cy - 60), 0, 0.03);
    EXPECT_NEAR(c.rms, 0.05, 0.02);
    ASSERT_EQ(qgFitCircle(cp.data(), 64, &plain, &c, nullptr), QG_OK);
    EXPECT_GT(std::fabs(c.r - 30), 0.5);
}

// 400 noisy fits (with outliers for the robust ones): the scatter of every
// reported parameter matches its uncertainty within 25 %.
TEST(Fit, UncertaintiesMatchScatter) {
    std::mt19937_64 rng(5);
    for (int robust : {0, 1}) {
        qgFitParams f;
        qgFitDefaults(&f);
        f.robust = robust;
        const int trials = 400;
        double s[5] = {}, s2[5] = {}, u[5] = {};
        for (int t = 0; t < trials; ++t) {
            auto lp = linePoints(0, 0, 0.7, 40, 0.1, robust ? 7 : 0, 3.0, rng);
            qgLine l;
            ASSERT_EQ(qgFitLine(lp.data(), 40, &f, &l, nullptr), QG_OK);
            double e[5], uu[5];
            e[0] = -l.x * std::sin(0.7) + l.y * std::cos(0.7);
            uu[0] = l.uPosition;
            e[1] = l.angle - 0.7;
            uu[1] = l.uAngle;
            auto cp = circlePoints(0, 0, 25, 32, 0.1, robust ? 6 : 0, 2.0, rng);
            qgCircle c;
            ASSERT_EQ(qgFitCircle(cp.data(), 32, &f, &c, nullptr), QG_OK);
            e[2] = c.cx, uu[2] = c.uCx;
            e[3] = c.cy, uu[3] = c.uCy;
            e[4] = c.r - 25, uu[4] = c.uR;
            for (int k = 0; k < 5; ++k) { s[k] += e[k]; s2[k] += e[k] * e[k]; u[k] += uu[k]; }
        }
        for (int k = 0; k < 5; ++k) {
            double sd = std::sqrt(s2[k] / trials - s[k] * s[k] / trials / trials);
            double ratio = sd / (u[k] / trials);
            EXPECT_GT(ratio, 0.8) << "robust " << robust << " parameter " << k;
            EXPECT_LT(ratio, 1.25) << "robust " << robust << " parameter " << k;
        }
    }
}

TEST(Fit, RefusedAndDegenerateInput) {
    const qgPoint same[3] = {{1, 1}, {1, 1}, {1, 1}};
    const qgPoint line[4] = {{0, 0}, {1, 1}, {2, 2}, {3, 3}};
    const qgPoint nanPoint[3] = {{0, 0}, {NAN, 1}, {2, 0}};
    const qgPoint three[3] = {{0, 0}, {2, 0}, {1, 1}};
    qgFitParams bad;
    qgFitDefaults(&bad);
    bad.tuning = 0.5;
    struct Case {
        const char* what;
        const qgPoint* p;
        int32_t n;
        const qgFitParams* f;
        int32_t lineCode, circleCode;
    } cases[] = {
        {"null", nullptr, 3, nullptr, QG_ERR_NULL, QG_ERR_NULL},
        {"too few", three, 1, nullptr, QG_ERR_TOO_FEW, QG_ERR_TOO_FEW},
        {"two", three, 2, nullptr, QG_OK, QG_ERR_TOO_FEW},
        {"NaN", nanPoint, 3, nullptr, QG_ERR_ARGUMENT, QG_ERR_ARGUMENT},
        {"coincide", same, 3, nullptr, QG_ERR_DEGENERATE, QG_ERR_DEGENERATE},
        {"collinear", line, 4, nullptr, QG_OK, QG_ERR_DEGENERATE},
        {"tuning", three, 3, &bad, QG_ERR_ARGUMENT, QG_ERR_ARGUMENT},
        {"huge count", three, QG_MAX_POINTS + 1, nullptr, QG_ERR_TOO_LARGE, QG_ERR_TOO_LARGE},
    };
    for (const Case& k : cases) {
        qgLine l;
        qgCircle c;
        std::memset(&l, 0x5A, sizeof l);
        std::memset(&c, 0x5A, sizeof c);
        qgLine lb = l;
        qgCircle cb = c;
        EXPECT_EQ(qgFitLine(k.p, k.n, k.f, &l, nullptr), k.lineCode) << k.what;
        EXPECT_EQ(qgFitCircle(k.p, k.n, k.f, &c, nullptr), k.circleCode) << k.what;
        if (k.lineCode != QG_OK) {
            EXPECT_EQ(std::memcmp(&l, &lb, sizeof l), 0) << k.what;
        }
        if (k.circleCode != QG_OK) {
            EXPECT_EQ(std::memcmp(&c, &cb, sizeof c), 0) << k.what;
        }
    }
    // Exactly determined: the shape, but no scatter to judge it by.
    qgCircle c;
    ASSERT_EQ(qgFitCircle(three, 3, nullptr, &c, nullptr), QG_OK);
    EXPECT_NEAR(c.r, 1, 1e-12);
    EXPECT_TRUE(std::isinf(c.uR));
    qgLine l;
    ASSERT_EQ(qgFitLine(three, 2, nullptr, &l, nullptr), QG_OK);
    EXPECT_TRUE(std::isinf(l.uPosition));
}

}  // namespace
