// The gauge library: accuracy against synthetic ground truth and the
// Cramer-Rao bound, then speed (Google Benchmark), each beside the nearest
// OpenCV tools when OpenCV is installed.
//
// Accuracy protocol (printed first; GAUGE_TRIALS sets the trials, default
// 1000; GAUGE_TRIALS=0 skips it):
//   Renders: exact area sampling (every pixel the exact covered fraction of
//   its square) of a straight edge, a bar or a disc, levels 80 and 180
//   (contrast 100 grey levels), a Gaussian blur of sigma 1 px, Gaussian
//   noise of sigma 0, 2 or 5, rounded to 8 bits. Every trial draws a new
//   sub-pixel position and angle.
//   - Edge: edge normal at a random angle in [-30, 30] degrees through a
//     random point of a pixel; a 40 x 20 caliper centred within a pixel of
//     it, its axis within 5 degrees of the normal. Error: along the normal.
//   - Width: a light bar 6 to 14 px wide, same placement, the edge pair.
//   - Circle: a dark disc of radius 20, 60 or 200 at a random sub-pixel
//     centre; the circle gauge with 64 spokes of 40 x 5 px started from a
//     circle 1 px off in centre and radius. Clutter: a light speck of radius
//     1.5 px 12 px inside the rim on every fifth spoke (20 %), the first
//     edge along each spoke taken.
//   Figures: bias (mean error), sd (standard deviation of the error), the
//   Cramer-Rao bound's sd for the same render (Fisher information of the
//   parameters from the derivative of every pixel's noise-free value, summed
//   over the pixels whose centres lie under the caliper or spokes, with the
//   noise variance sigma^2 + 1/12 for the rounding; averaged over 20 renders
//   per case; none for sigma 0), sd / bound; bound* and ratio* the same
//   with the two grey levels (three for the bar) and the blur unknown too,
//   as any tool meets them (the bound of the parameter with the others as
//   nuisance parameters: the matching entry of the inverse information
//   matrix); the mean reported standard uncertainty u, and the share of
//   trials whose true value lies within +-2 reported standard
//   uncertainties. The clutter's specks stay where they are in the bound's
//   renders: they tell nothing about the circle.
//   OpenCV peers on the same renders: a single edge by Sobel (3 x 3) in x
//   and a parabola through the peak of |dI/dx| in every row under the
//   caliper, averaged; a circle by a threshold at the mid level,
//   findContours and fitEllipse ((w + h) / 4 as the radius).
#include <benchmark/benchmark.h>

#include "gauge/include/qgauge.h"
#include "tests/gauge/render.h"

#include <cstdio>
#include <cstdlib>
#include <functional>

#ifdef ORVANE_HAVE_OPENCV
#include <opencv2/core.hpp>
#include <opencv2/imgproc.hpp>
#endif

namespace {

using namespace gauge_render;
constexpr double kDeg = M_PI / 180;

struct Stats {
    double s = 0, s2 = 0, us = 0;
    int n = 0, inside = 0;
    void add(double e) { s += e; s2 += e * e; ++n; }
    // The reported uncertainty u of an error e (both in the same units).
    void cover(double e, double u) { inside += std::fabs(e) <= 2 * u; us += u; }
    double mean() const { return n ? s / n : NAN; }
    double sd() const { return n > 1 ? std::sqrt(std::max(0.0, (s2 - s * s / n) / (n - 1))) : NAN; }
};

// Fisher information of parameters from renders at +-h per parameter over
// the chosen pixels.
std::vector<double> fisher(const std::function<Canvas(const std::vector<double>&)>& render,
                           const std::vector<double>& params, const std::vector<char>& mask,
                           double variance) {
    const size_t k = params.size();
    const double h = 1e-3;
    std::vector<std::vector<double>> d(k);
    for (size_t i = 0; i < k; ++i) {
        auto a = params, b = params;
        a[i] += h;
        b[i] -= h;
        Canvas ca = render(a), cb = render(b);
        d[i].resize(ca.v.size());
        for (size_t p = 0; p < ca.v.size(); ++p) d[i][p] = (ca.v[p] - cb.v[p]) / (2 * h);
    }
    std::vector<double> I(k * k, 0.0);
    for (size_t p = 0; p < mask.size(); ++p) {
        if (!mask[p]) continue;
        for (size_t i = 0; i < k; ++i)
            for (size_t j = 0; j < k; ++j) I[i * k + j] += d[i][p] * d[j][p] / variance;
    }
    return I;
}

// Pixels whose centres lie under the rectangle.
void markRect(std::vector<char>& mask, int w, int h, const qgRect& r) {
    double ux = std::cos(r.angle), uy = std::sin(r.angle);
    for (int y = 0; y < h; ++y)
        for (int x = 0; x < w; ++x) {
            double dx = x + 0.5 - r.cx, dy = y + 0.5 - r.cy;
            if (std::fabs(dx * ux + dy * uy) <= r.length / 2 && std::fabs(-dx * uy + dy * ux) <= r.width / 2)
                mask[static_cast<size_t>(y) * w + x] = 1;
        }
}

// Variance of c . p from a k x k information matrix (Gauss-Jordan on I x = c).
double inverseQuadratic(std::vector<double> I, std::vector<double> c) {
    const size_t k = c.size();
    std::vector<double> x = c;
    for (size_t col = 0; col < k; ++col) {
        size_t piv = col;
        for (size_t i = col + 1; i < k; ++i)
            if (std::fabs(I[i * k + col]) > std::fabs(I[piv * k + col])) piv = i;
        for (size_t j = 0; j < k; ++j) std::swap(I[col * k + j], I[piv * k + j]);
        std::swap(x[col], x[piv]);
        for (size_t i = 0; i < k; ++i) {
            if (i == col) continue;
            double f = I[i * k + col] / I[col * k + col];
            for (size_t j = col; j < k; ++j) I[i * k + j] -= f * I[col * k + j];
            x[i] -= f * x[col];
        }
    }
    double v = 0;
    for (size_t i = 0; i < k; ++i) v += c[i] * x[i] / I[i * k + i];
    return v;
}

// Bounds summed over renders: with the levels and the blur known (as the
// renders have them), and with them unknown too, as every tool meets them.
struct Bound {
    double known = 0, unknown = 0;
    int n = 0;
    void add(double k, double u) { known += k; unknown += u; ++n; }
    double sdKnown() const { return n ? std::sqrt(known / n) : 0; }
    double sdUnknown() const { return n ? std::sqrt(unknown / n) : 0; }
};

void printRow(const char* name, double noise, const Stats& s, const Bound& bound, const Stats* cv) {
    std::printf("%-22s %4.0f %9.4f %8.4f", name, noise, s.mean(), s.sd());
    if (bound.n)
        std::printf(" %8.4f %6.2f %8.4f %6.2f", bound.sdKnown(), s.sd() / bound.sdKnown(), bound.sdUnknown(),
                    s.sd() / bound.sdUnknown());
    else
        std::printf(" %8s %6s %8s %6s", "-", "-", "-", "-");
    std::printf(" %8.4f %6.1f%%", s.us / std::max(s.n, 1), 100.0 * s.inside / std::max(s.n, 1));
    if (cv && cv->n)
        std::printf(" %9.4f %8.4f", cv->mean(), cv->sd());
    std::printf("\n");
}

Canvas edgeCanvas(int size, double x0, double y0, double angle, double low = 80, double high = 180,
                  double sigma = 1.0) {
    Canvas c(size, size, low);
    drawEdge(c, x0, y0, angle, low, high);
    blur(c, sigma);
    return c;
}

Canvas barCanvas(int size, double x0, double y0, double angle, double width, double left = 80,
                 double bar = 180, double right = 80, double sigma = 1.0) {
    // Light between the line through (x0, y0) and the one `width` further
    // along the normal.
    Canvas a(size, size, 0), b(size, size, 0);
    drawEdge(a, x0, y0, angle, 0, 1);
    drawEdge(b, x0 + width * std::cos(angle), y0 + width * std::sin(angle), angle, 0, 1);
    Canvas c(size, size, 80);
    for (size_t i = 0; i < c.v.size(); ++i) c.v[i] = left * (1 - a.v[i]) + bar * (a.v[i] - b.v[i]) + right * b.v[i];
    blur(c, sigma);
    return c;
}

// With clutter, the specks lie 12 px inside the rim of the circle (scx, scy,
// sr): the true one, also when the Cramer-Rao bound moves the disc, since
// clutter tells nothing about the circle.
Canvas discCanvas(int size, double cx, double cy, double r, bool clutter, double scx = 0,
                  double scy = 0, double sr = 0, double inside = 80, double outside = 180,
                  double sigma = 1.0) {
    Canvas c(size, size, outside);
    drawDisc(c, cx, cy, r, inside);
    if (clutter)
        for (int i = 0; i < 64; i += 5) {
            double a = 2 * M_PI * i / 64;
            drawDisc(c, scx + (sr - 12) * std::cos(a), scy + (sr - 12) * std::sin(a), 1.5, 180);
        }
    blur(c, sigma);
    return c;
}

#ifdef ORVANE_HAVE_OPENCV
// Sobel in x and a parabola through the peak of |gx| in every row under the
// caliper; returns the mean x (library coordinates) and the rows' y.
bool opencvEdge(const std::vector<uint8_t>& px, int size, const qgRect& r, double nx, double ny,
                double x0, double y0, double& normalError) {
    cv::Mat im(size, size, CV_8UC1, const_cast<uint8_t*>(px.data()));
    cv::Mat gx;
    cv::Sobel(im, gx, CV_32F, 1, 0, 3);
    int ya = static_cast<int>(std::ceil(r.cy - r.width / 2 - 0.5)), yb = static_cast<int>(std::floor(r.cy + r.width / 2 - 0.5));
    int xa = std::max(1, static_cast<int>(r.cx - r.length / 2)), xb = std::min(size - 2, static_cast<int>(r.cx + r.length / 2));
    double sum = 0;
    int n = 0;
    for (int y = ya; y <= yb; ++y) {
        const float* g = gx.ptr<float>(y);
        int best = xa;
        for (int x = xa; x <= xb; ++x)
            if (std::fabs(g[x]) > std::fabs(g[best])) best = x;
        if (best <= xa || best >= xb) continue;
        double a = std::fabs(g[best - 1]), b = std::fabs(g[best]), c = std::fabs(g[best + 1]);
        double den = a - 2 * b + c;
        double x = best + (den < 0 ? 0.5 * (a - c) / den : 0) + 0.5;
        double yc = y + 0.5;
        // Signed distance of (x, yc) from the edge line, along its normal.
        sum += nx * (x - x0) + ny * (yc - y0);
        ++n;
    }
    if (!n) return false;
    normalError = sum / n;
    return true;
}

bool opencvCircle(const std::vector<uint8_t>& px, int size, double& cx, double& cy, double& r) {
    cv::Mat im(size, size, CV_8UC1, const_cast<uint8_t*>(px.data())), bw;
    cv::threshold(im, bw, 130, 255, cv::THRESH_BINARY_INV);
    std::vector<std::vector<cv::Point>> contours;
    cv::findContours(bw, contours, cv::RETR_EXTERNAL, cv::CHAIN_APPROX_NONE);
    size_t best = 0;
    bool any = false;
    for (size_t i = 0; i < contours.size(); ++i)
        if (contours[i].size() >= 5 && (!any || contours[i].size() > contours[best].size())) { best = i; any = true; }
    if (!any) return false;
    cv::RotatedRect e = cv::fitEllipse(contours[best]);
    cx = e.center.x + 0.5;
    cy = e.center.y + 0.5;
    r = (e.size.width + e.size.height) / 4;
    return true;
}
#endif

void accuracy(int trials) {
    std::mt19937_64 rng(20261207);
    std::uniform_real_distribution<double> U(0, 1);
    qgCaliperParams cp;
    qgCaliperDefaults(&cp);
    std::printf("Accuracy, %d trials a row (px; bound = Cramer-Rao sd; cover = |error| <= 2u)\n", trials);
    std::printf("%-22s %4s %9s %8s %8s %6s %8s %6s %8s %7s %9s %8s\n", "case", "noise", "bias", "sd", "bound", "ratio",
                "bound*", "ratio*", "mean u", "cover", "cv bias", "cv sd");
    const int size = 64;
    for (double noise : {0.0, 2.0, 5.0}) {
        Stats edge, width, cvEdge;
        Bound boundEdge, boundWidth;
        for (int t = 0; t < trials; ++t) {
            double a = (U(rng) * 60 - 30) * kDeg, x0 = 32 + U(rng), y0 = 32 + U(rng);
            qgRect r{32 + U(rng) - 0.5, 32 + U(rng) - 0.5, 40, 20, a + (U(rng) * 10 - 5) * kDeg};
            double nx = std::cos(a), ny = std::sin(a), nu = nx * std::cos(r.angle) + ny * std::sin(r.angle);
            double truth = (nx * (x0 - r.cx) + ny * (y0 - r.cy)) / nu;
            Canvas c = edgeCanvas(size, x0, y0, a);
            auto px = quantise(c, noise, rng);
            qgImage im{px.data(), size, size, size, 1};
            qgEdge e;
            int32_t n;
            if (qgEdgeCaliper(&im, &r, &cp, &e, 1, &n) == QG_OK) {
                double err = e.position - truth;
                edge.add(err * nu);
                edge.cover(err * nu, e.uncertainty * nu);
            }
#ifdef ORVANE_HAVE_OPENCV
            double cvErr;
            if (opencvEdge(px, size, r, nx, ny, x0, y0, cvErr)) cvEdge.add(cvErr);
#endif
            // A light bar across the same kind of caliper.
            double bw = 6 + 8 * U(rng);
            double bx = 32 - bw / 2 * nx + U(rng), by = 32 - bw / 2 * ny + U(rng);
            Canvas bc = barCanvas(size, bx, by, a, bw);
            auto bp = quantise(bc, noise, rng);
            qgImage bi{bp.data(), size, size, size, 1};
            qgEdgePairResult pr;
            qgCaliperParams pp = cp;
            pp.polarity = QG_POLARITY_DARK_TO_LIGHT;
            if (qgEdgePair(&bi, &r, &pp, &pr) == QG_OK) {
                double err = pr.width - bw / nu;
                width.add(err * nu);
                width.cover(err * nu, pr.uncertainty * nu);
            }
            if (noise > 0 && t < 20) {
                std::vector<char> mask(static_cast<size_t>(size) * size, 0);
                markRect(mask, size, size, r);
                double var = noise * noise + 1.0 / 12;
                auto Ie = fisher([&](const std::vector<double>& p) {
                    return edgeCanvas(size, x0 + p[0] * nx, y0 + p[0] * ny, a, 80 + p[1], 180 + p[2], 1 + p[3]);
                }, {0.0, 0.0, 0.0, 0.0}, mask, var);
                auto Iw = fisher([&](const std::vector<double>& p) {
                    return barCanvas(size, bx + p[0] * nx, by + p[0] * ny, a, bw + p[1] - p[0], 80 + p[2],
                                     180 + p[3], 80 + p[4], 1 + p[5]);
                }, {0.0, 0.0, 0.0, 0.0, 0.0, 0.0}, mask, var);
                // The known-levels bound keeps the positions' block only.
                std::vector<double> Ie1{Ie[0]}, Iw2{Iw[0], Iw[1], Iw[6], Iw[7]};
                boundEdge.add(inverseQuadratic(Ie1, {1}), inverseQuadratic(Ie, {1, 0, 0, 0}));
                boundWidth.add(inverseQuadratic(Iw2, {-1, 1}), inverseQuadratic(Iw, {-1, 1, 0, 0, 0, 0}));
            }
        }
        printRow("edge 40x20", noise, edge, boundEdge, &cvEdge);
        printRow("width 40x20", noise, width, boundWidth, nullptr);
    }
    struct CircleCase {
        double r;
        bool clutter;
    };
    for (CircleCase k : {CircleCase{20, false}, CircleCase{60, false}, CircleCase{200, false}, CircleCase{60, true}}) {
        for (double noise : {0.0, 2.0, 5.0}) {
            if (k.clutter && noise != 2.0) continue;
            const int sz = static_cast<int>(2 * k.r + 60);
            const int n = k.r >= 200 ? std::max(1, trials / 4) : trials;
            Stats er, ex, cvr, cvx;
            Bound br, bx;
            for (int t = 0; t < n; ++t) {
                double cx = sz / 2.0 + U(rng), cy = sz / 2.0 + U(rng);
                Canvas c = discCanvas(sz, cx, cy, k.r, k.clutter, cx, cy, k.r);
                auto px = quantise(c, noise, rng);
                qgImage im{px.data(), sz, sz, sz, 1};
                qgCircleGaugeParams g{};
                double off = 2 * M_PI * U(rng);
                g.cx = cx + std::cos(off);
                g.cy = cy + std::sin(off);
                g.r = k.r + (U(rng) < 0.5 ? -1 : 1);
                g.spokes = 64;
                g.spokeLength = 40;
                g.spokeWidth = 5;
                g.caliper = cp;
                if (k.clutter) g.caliper.select = QG_SELECT_FIRST;
                qgFitDefaults(&g.fit);
                qgCircle res;
                if (qgCircleGauge(&im, &g, &res, nullptr) == QG_OK) {
                    er.add(res.r - k.r);
                    er.cover(res.r - k.r, res.uR);
                    ex.add(res.cx - cx);
                    ex.cover(res.cx - cx, res.uCx);
                }
#ifdef ORVANE_HAVE_OPENCV
                double ocx, ocy, orr;
                if (opencvCircle(px, sz, ocx, ocy, orr)) {
                    cvr.add(orr - k.r);
                    cvx.add(ocx - cx);
                }
#endif
                if (noise > 0 && t < 20) {
                    std::vector<char> mask(static_cast<size_t>(sz) * sz, 0);
                    for (int i = 0; i < 64; ++i) {
                        double a = 2 * M_PI * i / 64;
                        markRect(mask, sz, sz, {g.cx + g.r * std::cos(a), g.cy + g.r * std::sin(a), 40, 5, a});
                    }
                    auto I = fisher([&](const std::vector<double>& p) {
                        return discCanvas(sz, cx + p[0], cy + p[1], k.r + p[2], k.clutter, cx, cy, k.r, 80 + p[3],
                                          180 + p[4], 1 + p[5]);
                    }, {0.0, 0.0, 0.0, 0.0, 0.0, 0.0}, mask, noise * noise + 1.0 / 12);
                    std::vector<double> I3(9);
                    for (int i = 0; i < 3; ++i)
                        for (int j = 0; j < 3; ++j) I3[static_cast<size_t>(i * 3 + j)] = I[static_cast<size_t>(i * 6 + j)];
                    bx.add(inverseQuadratic(I3, {1, 0, 0}), inverseQuadratic(I, {1, 0, 0, 0, 0, 0}));
                    br.add(inverseQuadratic(I3, {0, 0, 1}), inverseQuadratic(I, {0, 0, 1, 0, 0, 0}));
                }
            }
            char name[64];
            std::snprintf(name, sizeof name, "circle r=%.0f%s radius", k.r, k.clutter ? " clutter" : "");
            printRow(name, noise, er, br, &cvr);
            std::snprintf(name, sizeof name, "circle r=%.0f%s centre x", k.r, k.clutter ? " clutter" : "");
            printRow(name, noise, ex, bx, &cvx);
        }
    }
    std::fflush(stdout);
}

// Speed: one edge under a 200 x 20 caliper (axis-aligned and oblique), a
// light bar under a 40 x 20 edge pair, a 64-spoke circle gauge, and the
// OpenCV peers on the same renders.
struct Scene {
    int w, h;
    std::vector<uint8_t> px;
};

const Scene& edgeScene() {
    static Scene s = [] {
        Canvas c(260, 120, 80);
        drawEdge(c, 130.3, 60.2, 0.1, 80, 180);
        blur(c, 1.0);
        std::mt19937_64 rng(1);
        return Scene{260, 120, quantise(c, 2.0, rng)};
    }();
    return s;
}

const Scene& circleScene() {
    static Scene s = [] {
        Canvas c = discCanvas(180, 90.3, 89.6, 60, false);
        std::mt19937_64 rng(2);
        return Scene{180, 180, quantise(c, 2.0, rng)};
    }();
    return s;
}

void BM_Caliper200x20(benchmark::State& state) {
    const Scene& s = edgeScene();
    qgImage im{s.px.data(), s.w, s.h, s.w, 1};
    qgRect r{130, 60, 200, 20, state.range(0) ? 0.1 : 0.0};
    qgCaliperParams p;
    qgCaliperDefaults(&p);
    qgEdge e;
    int32_t n;
    for (auto _ : state) {
        benchmark::DoNotOptimize(qgEdgeCaliper(&im, &r, &p, &e, 1, &n));
    }
    state.SetLabel(state.range(0) ? "oblique" : "axis-aligned");
}
BENCHMARK(BM_Caliper200x20)->Arg(0)->Arg(1)->Unit(benchmark::kMicrosecond);

// A bar 8.4 px wide, tilted about 3 degrees against the caliper's normal, so that
// the pair's joint fit estimates the tilt too.
const Scene& barScene() {
    static Scene s = [] {
        Canvas c = barCanvas(64, 27.9, 31.6, 0.05, 8.4);
        std::mt19937_64 rng(3);
        return Scene{64, 64, quantise(c, 2.0, rng)};
    }();
    return s;
}

void BM_EdgePair40x20(benchmark::State& state) {
    const Scene& s = barScene();
    qgImage im{s.px.data(), s.w, s.h, s.w, 1};
    qgRect r{32, 32, 40, 20, 0.0};
    qgCaliperParams p;
    qgCaliperDefaults(&p);
    p.polarity = QG_POLARITY_DARK_TO_LIGHT;
    qgEdgePairResult res{};
    int32_t rc = 0;
    for (auto _ : state) {
        rc = qgEdgePair(&im, &r, &p, &res);
        benchmark::DoNotOptimize(rc);
    }
    state.counters["found"] = rc == QG_OK;
    state.counters["width"] = res.width;
}
BENCHMARK(BM_EdgePair40x20)->Unit(benchmark::kMicrosecond);

void BM_CircleGauge64Spokes(benchmark::State& state) {
    const Scene& s = circleScene();
    qgImage im{s.px.data(), s.w, s.h, s.w, 1};
    qgCircleGaugeParams g{};
    g.cx = 90;
    g.cy = 90;
    g.r = 61;
    g.spokes = 64;
    g.spokeLength = 40;
    g.spokeWidth = 5;
    qgCaliperDefaults(&g.caliper);
    qgFitDefaults(&g.fit);
    qgCircle c;
    for (auto _ : state) benchmark::DoNotOptimize(qgCircleGauge(&im, &g, &c, nullptr));
}
BENCHMARK(BM_CircleGauge64Spokes)->Unit(benchmark::kMicrosecond);

#ifdef ORVANE_HAVE_OPENCV
void BM_OpenCVFindContoursFitEllipse(benchmark::State& state) {
    const Scene& s = circleScene();
    // The circle's ROI: the square the gauge's spokes reach.
    cv::Mat full(s.h, s.w, CV_8UC1, const_cast<uint8_t*>(s.px.data()));
    cv::Mat roi = full(cv::Rect(10, 10, 160, 160));
    cv::Mat bw;
    std::vector<std::vector<cv::Point>> contours;
    for (auto _ : state) {
        cv::threshold(roi, bw, 130, 255, cv::THRESH_BINARY_INV);
        cv::findContours(bw, contours, cv::RETR_EXTERNAL, cv::CHAIN_APPROX_NONE);
        size_t best = 0;
        for (size_t i = 1; i < contours.size(); ++i)
            if (contours[i].size() > contours[best].size()) best = i;
        benchmark::DoNotOptimize(cv::fitEllipse(contours[best]));
    }
}
BENCHMARK(BM_OpenCVFindContoursFitEllipse)->Unit(benchmark::kMicrosecond);

void BM_OpenCVSobelParabola200x20(benchmark::State& state) {
    const Scene& s = edgeScene();
    cv::Mat full(s.h, s.w, CV_8UC1, const_cast<uint8_t*>(s.px.data()));
    cv::Mat roi = full(cv::Rect(30, 50, 200, 20)), gx;
    for (auto _ : state) {
        cv::Sobel(roi, gx, CV_32F, 1, 0, 3);
        double sum = 0;
        for (int y = 0; y < gx.rows; ++y) {
            const float* g = gx.ptr<float>(y);
            int best = 1;
            for (int x = 1; x < gx.cols - 1; ++x)
                if (std::fabs(g[x]) > std::fabs(g[best])) best = x;
            double a = std::fabs(g[best - 1]), b = std::fabs(g[best]), c = std::fabs(g[best + 1]);
            double den = a - 2 * b + c;
            sum += best + (den < 0 ? 0.5 * (a - c) / den : 0);
        }
        benchmark::DoNotOptimize(sum);
    }
}
BENCHMARK(BM_OpenCVSobelParabola200x20)->Unit(benchmark::kMicrosecond);
#endif

}  // namespace

int main(int argc, char** argv) {
    const char* env = std::getenv("GAUGE_TRIALS");
    int trials = env ? std::atoi(env) : 1000;
    if (trials > 0) accuracy(trials);
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
