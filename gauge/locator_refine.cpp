// Least-squares pose refinement: each model point's edge found by a 1-D
// caliper along its normal, the pose moved to minimise the point-to-edge
// distances, points more than 3 sigma off left out.
#include "locator.h"

#include <algorithm>

namespace qg {

namespace {

constexpr int kMaxParams = 4;  // x, y, angle and, when searched, scale

struct Obs {
    double j[kMaxParams];
    double d;  // signed distance of the edge along the normal
};

// Inverse of an n x n matrix by Gauss-Jordan elimination with partial
// pivoting; false when singular.
bool invert(int n, double a[kMaxParams][kMaxParams], double inv[kMaxParams][kMaxParams]) {
    for (int r = 0; r < n; ++r)
        for (int c = 0; c < n; ++c) inv[r][c] = r == c;
    for (int c = 0; c < n; ++c) {
        int p = c;
        for (int r = c + 1; r < n; ++r)
            if (std::abs(a[r][c]) > std::abs(a[p][c])) p = r;
        if (!(std::abs(a[p][c]) > 1e-12)) return false;
        std::swap(a[p], a[c]);
        std::swap(inv[p], inv[c]);
        const double d = 1 / a[c][c];
        for (int k = 0; k < n; ++k) { a[c][k] *= d; inv[c][k] *= d; }
        for (int r = 0; r < n; ++r) {
            if (r == c || a[r][c] == 0) continue;
            const double f = a[r][c];
            for (int k = 0; k < n; ++k) { a[r][k] -= f * a[c][k]; inv[r][k] -= f * inv[c][k]; }
        }
    }
    return true;
}

struct Workspace {
    Profile profile;
    std::vector<Located> edges;
    std::vector<Obs> obs;
};

// Edges along the normals of the model placed at the pose.
void observe(const qgImage& image, const qgPartModel& m, const qgCaliperParams& cp, const Pose& pose,
             double range, Workspace& ws) {
    std::vector<Obs>& obs = ws.obs;
    obs.clear();
    const double c = std::cos(pose.angle), s = std::sin(pose.angle);
    for (const auto& p : m.points) {
        const double rx = pose.scale * (c * p.x - s * p.y), ry = pose.scale * (s * p.x + c * p.y);
        const double nx = c * p.nx - s * p.ny, ny = s * p.nx + c * p.ny;
        const qgRect r{pose.x + rx, pose.y + ry, 2 * (range + kPlateauReach) + 1, 3, std::atan2(ny, nx)};
        if (checkRect(image, r) != QG_OK) continue;
        sampleProfile(image, r, ws.profile);
        locateEdges(ws.profile, cp, ws.edges);
        const Located* best = nullptr;
        for (const Located& e : ws.edges)
            if (std::abs(e.t) <= range && (!best || std::abs(e.t) < std::abs(best->t))) best = &e;
        if (best) obs.push_back({{nx, ny, nx * -ry + ny * rx, (nx * rx + ny * ry) / pose.scale}, best->t});
    }
}

double predicted(const Obs& o, int n, const double delta[kMaxParams]) {
    double v = 0;
    for (int r = 0; r < n; ++r) v += o.j[r] * delta[r];
    return v;
}

// Gauss-Newton step of n parameters over the inliers; the residual sigma
// after it.
bool solve(const std::vector<Obs>& obs, const std::vector<uint8_t>& in, int n, double delta[kMaxParams],
           double inv[kMaxParams][kMaxParams], double& sigma) {
    double a[kMaxParams][kMaxParams] = {}, b[kMaxParams] = {};
    int count = 0;
    for (size_t i = 0; i < obs.size(); ++i) {
        if (!in[i]) continue;
        ++count;
        for (int r = 0; r < n; ++r) {
            b[r] += obs[i].j[r] * obs[i].d;
            for (int c = 0; c < n; ++c) a[r][c] += obs[i].j[r] * obs[i].j[c];
        }
    }
    // A model that cannot fix every direction (a circle's angle) keeps
    // the pose along the missing one instead of failing: a faint damping
    // moves it nowhere and reports it with a huge uncertainty.
    double trace = 0;
    for (int r = 0; r < n; ++r) trace += a[r][r];
    for (int r = 0; r < n; ++r) a[r][r] += 1e-9 * trace;
    if (count < 8 || !invert(n, a, inv)) return false;
    for (int r = 0; r < n; ++r) {
        delta[r] = 0;
        for (int c = 0; c < n; ++c) delta[r] += inv[r][c] * b[c];
    }
    double ss = 0;
    for (size_t i = 0; i < obs.size(); ++i) {
        if (!in[i]) continue;
        const double e = obs[i].d - predicted(obs[i], n, delta);
        ss += e * e;
    }
    sigma = std::sqrt(ss / (count - n));
    return true;
}

// The residuals inside the gate scatter less than the edges' errors do:
// the share of a normal distribution's standard deviation that remains
// when it is cut at +-g of them (0.98658 at g = 3).
double gatedShare(double g) {
    const double inside = std::erf(g / std::sqrt(2.0));
    const double density = std::exp(-0.5 * g * g) / std::sqrt(2 * M_PI);
    return std::sqrt(std::max(1e-6, 1 - 2 * g * density / inside));
}

}  // namespace

bool refinePose(const qgImage& image, const qgPartModel& m, bool either, bool fitScale, Pose& pose) {
    const qgCaliperParams cp{1.0, 0.25 * m.contrast, either ? QG_POLARITY_EITHER : QG_POLARITY_DARK_TO_LIGHT,
                             QG_SELECT_ALL, 0};
    const int n = fitScale ? 4 : 3;
    Workspace ws;
    const std::vector<Obs>& obs = ws.obs;
    std::vector<uint8_t> in;
    double delta[kMaxParams] = {}, inv[kMaxParams][kMaxParams], sigma = 0;
    for (int it = 0; it < 8; ++it) {
        observe(image, m, cp, pose, it == 0 ? 3.0 : 2.0, ws);
        in.assign(obs.size(), 1);
        if (!solve(obs, in, n, delta, inv, sigma)) return false;
        for (int pass = 0; pass < 2; ++pass) {
            const double gate = 3 * std::max(sigma, 0.02);
            for (size_t i = 0; i < obs.size(); ++i) in[i] = std::abs(obs[i].d - predicted(obs[i], n, delta)) <= gate;
            if (!solve(obs, in, n, delta, inv, sigma)) return false;
        }
        pose.x += delta[0];
        pose.y += delta[1];
        pose.angle += delta[2];
        if (fitScale) pose.scale = std::clamp(pose.scale + delta[3], 0.25, 4.0);
        const double moved = std::abs(delta[0]) + std::abs(delta[1]) + m.radius * pose.scale * std::abs(delta[2]) +
                             (fitScale ? m.radius * std::abs(delta[3]) : 0);
        if (moved < 1e-4 && it >= 1) break;
    }
    // Score: model points whose edge lies within a pixel of the fitted pose.
    int matched = 0;
    for (size_t i = 0; i < obs.size(); ++i)
        if (in[i] && std::abs(obs[i].d - predicted(obs[i], n, delta)) <= 1) ++matched;
    pose.score = static_cast<double>(matched) / static_cast<double>(m.points.size());
    sigma /= gatedShare(3 * std::max(sigma, 0.02) / std::max(sigma, 1e-12));
    pose.ux = sigma * std::sqrt(std::max(0.0, inv[0][0]));
    pose.uy = sigma * std::sqrt(std::max(0.0, inv[1][1]));
    pose.uangle = sigma * std::sqrt(std::max(0.0, inv[2][2]));
    pose.uscale = fitScale ? sigma * std::sqrt(std::max(0.0, inv[3][3])) : 0;
    return true;
}

}  // namespace qg
