// Synthetic gauge images for the tests and the accuracy benchmark: straight
// edges and discs with exact area sampling (each pixel the exact covered
// fraction of its square), a Gaussian blur, Gaussian noise, 8-bit
// quantisation. Coordinates as in qgauge.h: pixel (i, j) covers
// [i, i+1) x [j, j+1).
#pragma once

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <random>
#include <vector>

namespace gauge_render {

struct Canvas {
    int width = 0, height = 0;
    std::vector<double> v;  // grey levels, row-major
    Canvas(int w, int h, double fill) : width(w), height(h), v(static_cast<size_t>(w) * h, fill) {}
    double& at(int x, int y) { return v[static_cast<size_t>(y) * width + x]; }
};

// Area of the unit pixel square at (px, py) where nx*x + ny*y > c.
inline double halfPlaneCoverage(double px, double py, double nx, double ny, double c) {
    double xs[8], ys[8];
    int m = 0;
    const double qx[4] = {px, px + 1, px + 1, px}, qy[4] = {py, py, py + 1, py + 1};
    for (int i = 0; i < 4; ++i) {
        int j = (i + 1) % 4;
        double di = nx * qx[i] + ny * qy[i] - c, dj = nx * qx[j] + ny * qy[j] - c;
        if (di > 0) { xs[m] = qx[i]; ys[m] = qy[i]; ++m; }
        if ((di > 0) != (dj > 0)) {
            double t = di / (di - dj);
            xs[m] = qx[i] + t * (qx[j] - qx[i]);
            ys[m] = qy[i] + t * (qy[j] - qy[i]);
            ++m;
        }
    }
    double a = 0;
    for (int i = 0; i < m; ++i) {
        int j = (i + 1) % m;
        a += xs[i] * ys[j] - xs[j] * ys[i];
    }
    return std::fabs(a) / 2;
}

// Area of [x0, x1] x [y0, y1] inside the circle of radius r about the origin.
inline double discCoverage(double x0, double x1, double y0, double y1, double r) {
    x0 = std::max(x0, -r);
    x1 = std::min(x1, r);
    if (x1 <= x0) return 0;
    auto H = [r](double x) {
        double q = std::clamp(x / r, -1.0, 1.0);
        return 0.5 * (x * std::sqrt(std::max(r * r - x * x, 0.0)) + r * r * std::asin(q));
    };
    double cuts[6] = {x0, x1, 0, 0, 0, 0};
    int n = 2;
    for (double y : {y0, y1})
        if (std::fabs(y) < r) {
            double s = std::sqrt(r * r - y * y);
            for (double c : {-s, s})
                if (c > x0 && c < x1) cuts[n++] = c;
        }
    for (int i = 1; i < n; ++i)  // at most six cuts: insertion sort
        for (int j = i; j > 0 && cuts[j] < cuts[j - 1]; --j) std::swap(cuts[j], cuts[j - 1]);
    double area = 0;
    for (int i = 0; i + 1 < n; ++i) {
        double a = cuts[i], b = cuts[i + 1];
        if (b <= a) continue;
        double m = 0.5 * (a + b), h = std::sqrt(std::max(r * r - m * m, 0.0));
        if (std::min(y1, h) <= std::max(y0, -h)) continue;
        double top = h < y1 ? H(b) - H(a) : y1 * (b - a);
        double bottom = -h > y0 ? -(H(b) - H(a)) : y0 * (b - a);
        area += top - bottom;
    }
    return area;
}

// A straight edge through (x0, y0): level `high` on the side its unit
// normal (nx, ny) points to, `low` on the other.
inline void drawEdge(Canvas& c, double x0, double y0, double angle, double low, double high) {
    double nx = std::cos(angle), ny = std::sin(angle), k = nx * x0 + ny * y0;
    for (int y = 0; y < c.height; ++y)
        for (int x = 0; x < c.width; ++x)
            c.at(x, y) = low + (high - low) * halfPlaneCoverage(x, y, nx, ny, k);
}

// A disc of level `inside` over what is there.
inline void drawDisc(Canvas& c, double cx, double cy, double r, double inside) {
    int xa = std::max(0, static_cast<int>(std::floor(cx - r)) - 1);
    int xb = std::min(c.width - 1, static_cast<int>(std::ceil(cx + r)) + 1);
    int ya = std::max(0, static_cast<int>(std::floor(cy - r)) - 1);
    int yb = std::min(c.height - 1, static_cast<int>(std::ceil(cy + r)) + 1);
    for (int y = ya; y <= yb; ++y)
        for (int x = xa; x <= xb; ++x) {
            double f = discCoverage(x - cx, x + 1 - cx, y - cy, y + 1 - cy, r);
            if (f > 0) c.at(x, y) = c.at(x, y) * (1 - f) + inside * f;
        }
}

// Separable Gaussian blur (sampled kernel, radius 4 sigma, border replicated).
inline void blur(Canvas& c, double sigma) {
    if (sigma <= 0) return;
    int R = static_cast<int>(std::ceil(4 * sigma));
    std::vector<double> k(static_cast<size_t>(2 * R + 1));
    double s = 0;
    for (int i = -R; i <= R; ++i) s += k[static_cast<size_t>(i + R)] = std::exp(-0.5 * i * i / (sigma * sigma));
    for (double& x : k) x /= s;
    std::vector<double> tmp(c.v.size());
    for (int y = 0; y < c.height; ++y)
        for (int x = 0; x < c.width; ++x) {
            double a = 0;
            for (int i = -R; i <= R; ++i) a += k[static_cast<size_t>(i + R)] * c.at(std::clamp(x + i, 0, c.width - 1), y);
            tmp[static_cast<size_t>(y) * c.width + x] = a;
        }
    for (int y = 0; y < c.height; ++y)
        for (int x = 0; x < c.width; ++x) {
            double a = 0;
            for (int i = -R; i <= R; ++i)
                a += k[static_cast<size_t>(i + R)] * tmp[static_cast<size_t>(std::clamp(y + i, 0, c.height - 1)) * c.width + x];
            c.at(x, y) = a;
        }
}

// Adds Gaussian noise and rounds to 8 bits (one byte a pixel, stride = width).
inline std::vector<uint8_t> quantise(const Canvas& c, double noise, std::mt19937_64& rng) {
    std::normal_distribution<double> n(0.0, noise > 0 ? noise : 1.0);
    std::vector<uint8_t> out(c.v.size());
    for (size_t i = 0; i < c.v.size(); ++i) {
        double v = c.v[i] + (noise > 0 ? n(rng) : 0.0);
        out[i] = static_cast<uint8_t>(std::clamp(std::lround(v), 0L, 255L));
    }
    return out;
}

// Area of the unit pixel square at (px, py) inside the convex region where
// every half-plane a*x + b*y <= c of hp[0..n) holds (the square clipped by
// each in turn).
inline double convexCoverage(double px, double py, const double (*hp)[3], int n) {
    std::vector<double> xs{px, px + 1, px + 1, px}, ys{py, py, py + 1, py + 1};
    for (int h = 0; h < n && !xs.empty(); ++h) {
        std::vector<double> ox, oy;
        const size_t m = xs.size();
        for (size_t i = 0; i < m; ++i) {
            const size_t j = (i + 1) % m;
            const double di = hp[h][0] * xs[i] + hp[h][1] * ys[i] - hp[h][2];
            const double dj = hp[h][0] * xs[j] + hp[h][1] * ys[j] - hp[h][2];
            if (di <= 0) { ox.push_back(xs[i]); oy.push_back(ys[i]); }
            if ((di <= 0) != (dj <= 0)) {
                const double t = di / (di - dj);
                ox.push_back(xs[i] + t * (xs[j] - xs[i]));
                oy.push_back(ys[i] + t * (ys[j] - ys[i]));
            }
        }
        xs.swap(ox);
        ys.swap(oy);
    }
    double a = 0;
    for (size_t i = 0; i < xs.size(); ++i) {
        const size_t j = (i + 1) % xs.size();
        a += xs[i] * ys[j] - xs[j] * ys[i];
    }
    return std::fabs(a) / 2;
}

// A box [x0, x1] x [y0, y1] of a frame placed at (cx, cy) and turned by
// `angle` (radians, +x towards +y) painted `level` over what is there,
// less the part of it inside the optional `cut` box of the same frame (a
// notch).
struct FrameBox {
    double x0, y0, x1, y1;
};
inline void drawTurnedBox(Canvas& c, double cx, double cy, double angle, FrameBox b, double level,
                          const FrameBox* cut = nullptr) {
    const double co = std::cos(angle), si = std::sin(angle);
    auto planes = [&](FrameBox f, double (*hp)[3]) {
        // frame u = co*(x-cx) + si*(y-cy), v = -si*(x-cx) + co*(y-cy)
        const double du = co * cx + si * cy, dv = -si * cx + co * cy;
        const double rows[4][3] = {{co, si, f.x1 + du}, {-co, -si, -f.x0 - du},
                                   {-si, co, f.y1 + dv}, {si, -co, -f.y0 - dv}};
        for (int i = 0; i < 4; ++i)
            for (int k = 0; k < 3; ++k) hp[i][k] = rows[i][k];
    };
    double hp[8][3];
    planes(b, hp);
    if (cut) planes(*cut, hp + 4);
    const double r = std::hypot(std::max(-b.x0, b.x1), std::max(-b.y0, b.y1)) + 2;
    const int xa = std::max(0, static_cast<int>(cx - r)), xb = std::min(c.width - 1, static_cast<int>(cx + r));
    const int ya = std::max(0, static_cast<int>(cy - r)), yb = std::min(c.height - 1, static_cast<int>(cy + r));
    for (int y = ya; y <= yb; ++y)
        for (int x = xa; x <= xb; ++x) {
            const double f = convexCoverage(x, y, hp, 4) - (cut ? convexCoverage(x, y, hp, 8) : 0);
            if (f > 0) c.at(x, y) = c.at(x, y) * (1 - f) + level * f;
        }
}

// The locator's test part: a plate 220 x 120 with a notch in one long side
// and three holes of different sizes (no symmetry), its centre at (cx, cy),
// turned by `angle` radians and grown by `scale`; holes and notch show the
// `background` level.
inline void drawPlate(Canvas& c, double cx, double cy, double angle, double level, double background,
                      double scale = 1) {
    const double k = scale;
    const FrameBox notch{40 * k, -70 * k, 75 * k, -30 * k};
    drawTurnedBox(c, cx, cy, angle, {-110 * k, -60 * k, 110 * k, 60 * k}, level, &notch);
    const double co = std::cos(angle), si = std::sin(angle);
    const double holes[3][3] = {{-60, 0, 18}, {25, 20, 12}, {-10, -32, 7}};
    for (const auto& h : holes)
        drawDisc(c, cx + k * (co * h[0] - si * h[1]), cy + k * (si * h[0] + co * h[1]), k * h[2], background);
}

// An 8-bit picture (stride = width) drawn by `draw` on a background,
// blurred by `blurSigma` and with Gaussian `noise`.
struct Picture8 {
    int w = 0, h = 0;
    std::vector<uint8_t> px;
};
template <class Draw>
Picture8 renderPicture(int w, int h, double background, double blurSigma, double noise, std::mt19937_64& rng,
                       Draw draw) {
    Canvas c(w, h, background);
    draw(c);
    blur(c, blurSigma);
    return {w, h, quantise(c, noise, rng)};
}

}  // namespace gauge_render
