// Least-squares pose refinement: each model point's edge found by a 1-D
// caliper along its normal, the pose moved to minimise the point-to-edge
// distances, points more than 3 sigma off left out.
#include "locator.h"

#include <algorithm>

namespace qg {

namespace {

struct Obs {
    double j[3];
    double d;  // signed distance of the edge along the normal
};

// Inverse of a symmetric 3x3 matrix; false when singular.
bool invert3(const double a[3][3], double inv[3][3]) {
    inv[0][0] = a[1][1] * a[2][2] - a[1][2] * a[2][1];
    inv[0][1] = a[0][2] * a[2][1] - a[0][1] * a[2][2];
    inv[0][2] = a[0][1] * a[1][2] - a[0][2] * a[1][1];
    inv[1][0] = a[1][2] * a[2][0] - a[1][0] * a[2][2];
    inv[1][1] = a[0][0] * a[2][2] - a[0][2] * a[2][0];
    inv[1][2] = a[0][2] * a[1][0] - a[0][0] * a[1][2];
    inv[2][0] = a[1][0] * a[2][1] - a[1][1] * a[2][0];
    inv[2][1] = a[0][1] * a[2][0] - a[0][0] * a[2][1];
    inv[2][2] = a[0][0] * a[1][1] - a[0][1] * a[1][0];
    const double det = a[0][0] * inv[0][0] + a[0][1] * inv[1][0] + a[0][2] * inv[2][0];
    if (!(std::abs(det) > 1e-12)) return false;
    for (int r = 0; r < 3; ++r)
        for (int c = 0; c < 3; ++c) inv[r][c] /= det;
    return true;
}

// Edges along the normals of the model placed at the pose.
struct Workspace {
    Profile profile;
    std::vector<Located> edges;
    std::vector<Obs> obs;
};

void observe(const qgImage& image, const qgPartModel& m, const qgCaliperParams& cp, const Pose& pose,
             double range, Workspace& ws) {
    std::vector<Obs>& obs = ws.obs;
    Profile& pr = ws.profile;
    std::vector<Located>& edges = ws.edges;
    obs.clear();
    const double c = std::cos(pose.angle), s = std::sin(pose.angle);
    for (const auto& p : m.points) {
        const double rx = c * p.x - s * p.y, ry = s * p.x + c * p.y;
        const double nx = c * p.nx - s * p.ny, ny = s * p.nx + c * p.ny;
        const qgRect r{pose.x + rx, pose.y + ry, 2 * (range + kPlateauReach) + 1, 3, std::atan2(ny, nx)};
        if (checkRect(image, r) != QG_OK) continue;
        sampleProfile(image, r, pr);
        locateEdges(pr, cp, edges);
        const Located* best = nullptr;
        for (const Located& e : edges)
            if (std::abs(e.t) <= range && (!best || std::abs(e.t) < std::abs(best->t))) best = &e;
        if (best) obs.push_back({{nx, ny, nx * -ry + ny * rx}, best->t});
    }
}

// Gauss-Newton step over the inliers; the residual sigma after it.
bool solve(const std::vector<Obs>& obs, const std::vector<uint8_t>& in, double delta[3], double inv[3][3],
           double& sigma) {
    double a[3][3] = {}, b[3] = {};
    int n = 0;
    for (size_t i = 0; i < obs.size(); ++i) {
        if (!in[i]) continue;
        ++n;
        for (int r = 0; r < 3; ++r) {
            b[r] += obs[i].j[r] * obs[i].d;
            for (int c = 0; c < 3; ++c) a[r][c] += obs[i].j[r] * obs[i].j[c];
        }
    }
    // A model that cannot fix every direction (a circle's angle) keeps
    // the pose along the missing one instead of failing: a faint damping
    // moves it nowhere and reports it with a huge uncertainty.
    const double damp = 1e-9 * (a[0][0] + a[1][1] + a[2][2]);
    for (int r = 0; r < 3; ++r) a[r][r] += damp;
    if (n < 8 || !invert3(a, inv)) return false;
    for (int r = 0; r < 3; ++r) delta[r] = inv[r][0] * b[0] + inv[r][1] * b[1] + inv[r][2] * b[2];
    double ss = 0;
    for (size_t i = 0; i < obs.size(); ++i) {
        if (!in[i]) continue;
        const double e = obs[i].d - (obs[i].j[0] * delta[0] + obs[i].j[1] * delta[1] + obs[i].j[2] * delta[2]);
        ss += e * e;
    }
    sigma = std::sqrt(ss / (n - 3));
    return true;
}

}  // namespace

bool refinePose(const qgImage& image, const qgPartModel& m, bool either, Pose& pose) {
    const qgCaliperParams cp{1.0, 0.25 * m.contrast, either ? QG_POLARITY_EITHER : QG_POLARITY_DARK_TO_LIGHT,
                             QG_SELECT_ALL, 0};
    Workspace ws;
    const std::vector<Obs>& obs = ws.obs;
    std::vector<uint8_t> in;
    double delta[3], inv[3][3], sigma = 0;
    for (int it = 0; it < 8; ++it) {
        observe(image, m, cp, pose, it == 0 ? 3.0 : 2.0, ws);
        in.assign(obs.size(), 1);
        if (!solve(obs, in, delta, inv, sigma)) return false;
        for (int pass = 0; pass < 2; ++pass) {
            const double gate = 3 * std::max(sigma, 0.02);
            for (size_t i = 0; i < obs.size(); ++i) {
                const double e = obs[i].d - (obs[i].j[0] * delta[0] + obs[i].j[1] * delta[1] + obs[i].j[2] * delta[2]);
                in[i] = std::abs(e) <= gate;
            }
            if (!solve(obs, in, delta, inv, sigma)) return false;
        }
        pose.x += delta[0];
        pose.y += delta[1];
        pose.angle += delta[2];
        if (std::abs(delta[0]) + std::abs(delta[1]) + m.radius * std::abs(delta[2]) < 1e-4 && it >= 1) break;
    }
    // Score: model points whose edge lies within a pixel of the fitted pose.
    int matched = 0;
    for (size_t i = 0; i < obs.size(); ++i)
        if (in[i] && std::abs(obs[i].d - (obs[i].j[0] * delta[0] + obs[i].j[1] * delta[1] +
                                          obs[i].j[2] * delta[2])) <= 1)
            ++matched;
    pose.score = static_cast<double>(matched) / static_cast<double>(m.points.size());
    pose.ux = sigma * std::sqrt(std::max(0.0, inv[0][0]));
    pose.uy = sigma * std::sqrt(std::max(0.0, inv[1][1]));
    pose.uangle = sigma * std::sqrt(std::max(0.0, inv[2][2]));
    return true;
}

}  // namespace qg
