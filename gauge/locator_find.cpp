// qgPartFind: settings, the coarse scan at the pyramid's top, the descent
// down the levels and the instances reported.
#include "locator.h"

#include <algorithm>
#include <new>

namespace qg {

namespace {

struct Search {
    double x0, y0, x1, y1;      // where the origin may lie, full resolution
    double a0, a1;              // angle range, radians
    double minScore, minDistance;
    bool either;
    int maxInstances;
};

int32_t resolveFind(const qgImage& image, const qgPartModel& m, const qgPartFindParams& p, Search& s) {
    const qgBox& b = p.search;
    for (double v : {b.x0, b.y0, b.x1, b.y1, p.angleMin, p.angleMax, p.minScore, p.minDistance})
        if (!qg::finite(v)) return QG_ERR_ARGUMENT;
    if (b.x0 == 0 && b.y0 == 0 && b.x1 == 0 && b.y1 == 0) {
        s.x0 = 0; s.y0 = 0; s.x1 = image.width; s.y1 = image.height;
    } else {
        if (b.x0 >= b.x1 || b.y0 >= b.y1) return QG_ERR_ARGUMENT;
        if (b.x0 < 0 || b.y0 < 0 || b.x1 > image.width || b.y1 > image.height) return QG_ERR_OUTSIDE;
        s.x0 = b.x0; s.y0 = b.y0; s.x1 = b.x1; s.y1 = b.y1;
    }
    if (p.angleMin > p.angleMax || p.angleMax - p.angleMin > 360 || std::abs(p.angleMin) > 1e4 ||
        std::abs(p.angleMax) > 1e4)
        return QG_ERR_ARGUMENT;
    if (!(p.minScore > 0 && p.minScore <= 1) || p.minDistance < 0) return QG_ERR_ARGUMENT;
    if (p.polarity < QG_POLARITY_EITHER || p.polarity > QG_POLARITY_LIGHT_TO_DARK) return QG_ERR_ARGUMENT;
    if (p.maxInstances < 1 || p.maxInstances > QG_PART_MAX_INSTANCES) return QG_ERR_ARGUMENT;
    s.a0 = p.angleMin * M_PI / 180;
    s.a1 = p.angleMax * M_PI / 180;
    s.minScore = p.minScore;
    s.minDistance = p.minDistance > 0 ? p.minDistance : 0.5 * std::min(m.width, m.height);
    s.either = p.polarity == QG_POLARITY_EITHER;
    s.maxInstances = p.maxInstances;
    return QG_OK;
}

// Best score and angle at every origin position of the top level, then its
// local maxima, best first.
std::vector<Pose> coarseScan(const Level& lv, const std::vector<qgPartModel::Point>& pts, double scale,
                             double radius, const Search& s) {
    const int xa = std::max(0, static_cast<int>(std::floor(s.x0 * scale)));
    const int xb = std::min(lv.w, static_cast<int>(std::ceil(s.x1 * scale)));
    const int ya = std::max(0, static_cast<int>(std::floor(s.y0 * scale)));
    const int yb = std::min(lv.h, static_cast<int>(std::ceil(s.y1 * scale)));
    const double step = std::min(0.2, 1.0 / std::max(radius, 1.0));
    const int steps = std::max(1, static_cast<int>(std::ceil((s.a1 - s.a0) / step)));
    const double floor = 0.7 * s.minScore;
    std::vector<float> best(static_cast<size_t>(lv.w) * lv.h, 0), bestA(best.size(), 0);
    const int n = static_cast<int>(pts.size());
    std::vector<int> dx(pts.size()), dy(pts.size());
    std::vector<ptrdiff_t> off(pts.size());
    std::vector<uint16_t> want(pts.size());
    for (int k = 0; k <= steps; ++k) {
        const double a = s.a0 + (s.a1 - s.a0) * k / steps, c = std::cos(a), sn = std::sin(a);
        // Origins on pixel centres: each point's pixel is a fixed offset.
        int lox = 0, hix = 0, loy = 0, hiy = 0;
        for (size_t i = 0; i < pts.size(); ++i) {
            const auto& p = pts[i];
            dx[i] = static_cast<int>(std::floor(0.5 + c * p.x - sn * p.y));
            dy[i] = static_cast<int>(std::floor(0.5 + sn * p.x + c * p.y));
            off[i] = static_cast<ptrdiff_t>(dy[i]) * lv.w + dx[i];
            want[i] = wantMask(std::atan2(sn * p.nx + c * p.ny, c * p.nx - sn * p.ny), s.either);
            lox = std::min(lox, dx[i]); hix = std::max(hix, dx[i]);
            loy = std::min(loy, dy[i]); hiy = std::max(hiy, dy[i]);
        }
        for (int y = ya; y < yb; ++y)
            for (int x = xa; x < xb; ++x) {
                const size_t at = static_cast<size_t>(y) * lv.w + x;
                const int allowedMiss = n - static_cast<int>(std::ceil(std::max(floor, double(best[at])) * n));
                const bool inside = x + lox >= 0 && y + loy >= 0 && x + hix < lv.w && y + hiy < lv.h;
                const uint16_t* m = lv.mask.data() + at;
                int miss = 0;
                for (int i = 0; i < n && miss <= allowedMiss; ++i) {
                    const bool in = inside || (static_cast<unsigned>(x + dx[i]) < static_cast<unsigned>(lv.w) &&
                                               static_cast<unsigned>(y + dy[i]) < static_cast<unsigned>(lv.h));
                    miss += !(in && (m[off[i]] & want[i]));
                }
                if (miss <= allowedMiss && n - miss > best[at] * n) {
                    best[at] = static_cast<float>(n - miss) / static_cast<float>(n);
                    bestA[at] = static_cast<float>(a);
                }
            }
    }
    std::vector<Pose> out;
    for (int y = ya; y < yb; ++y)
        for (int x = xa; x < xb; ++x) {
            const float v = best[static_cast<size_t>(y) * lv.w + x];
            if (v < floor) continue;
            bool peak = true;
            for (int dy = -1; dy <= 1 && peak; ++dy)
                for (int dx = -1; dx <= 1 && peak; ++dx) {
                    const int xx = x + dx, yy = y + dy;
                    if ((dx || dy) && xx >= 0 && yy >= 0 && xx < lv.w && yy < lv.h) {
                        const float u = best[static_cast<size_t>(yy) * lv.w + xx];
                        peak = u < v || (u == v && (dy > 0 || (dy == 0 && dx > 0)));
                    }
                }
            if (peak) out.push_back({x + 0.5, y + 0.5, bestA[static_cast<size_t>(y) * lv.w + x], v, 0, 0, 0});
        }
    std::stable_sort(out.begin(), out.end(), [](const Pose& a, const Pose& b) { return a.score > b.score; });
    return out;
}

// Keeps the best of poses closer than `dist` (in the poses' units), at most `cap`.
void suppress(std::vector<Pose>& poses, double dist, size_t cap) {
    std::stable_sort(poses.begin(), poses.end(), [](const Pose& a, const Pose& b) { return a.score > b.score; });
    std::vector<Pose> kept;
    for (const Pose& p : poses) {
        bool near = false;
        for (const Pose& k : kept) near = near || std::hypot(p.x - k.x, p.y - k.y) < dist;
        if (!near) kept.push_back(p);
        if (kept.size() >= cap) break;
    }
    poses.swap(kept);
}

// The pose moved to its best neighbour in position (a level pixel) and
// angle (the level's angle step) until none is better.
void descend(const Level& lv, const std::vector<qgPartModel::Point>& pts, double radius, bool either, Pose& p) {
    const double step = 1.0 / std::max(radius, 1.0);
    Pose best = p;
    best.score = scorePose(lv, pts, p.x, p.y, p.angle, either, 0, true);
    // Climb while a neighbour is better (a few level pixels at most).
    for (int round = 0; round < 6; ++round) {
        const Pose from = best;
        for (int k = -2; k <= 2; ++k)
            for (int dy = -1; dy <= 1; ++dy)
                for (int dx = -1; dx <= 1; ++dx) {
                    const double a = from.angle + k * step;
                    const double sc = scorePose(lv, pts, from.x + dx, from.y + dy, a, either, 0, true);
                    if (sc > best.score) best = {from.x + dx, from.y + dy, a, sc, 0, 0, 0};
                }
        if (best.x == from.x && best.y == from.y && best.angle == from.angle) break;
    }
    best.score = scorePose(lv, pts, best.x, best.y, best.angle, either, 0);
    p = best;
}

double degrees(double a) {
    double d = std::remainder(a * 180 / M_PI, 360.0);
    return d <= -180 ? d + 360 : d;
}

}  // namespace

}  // namespace qg

using namespace qg;

extern "C" QG_API int32_t qgPartFindDefaults(qgPartFindParams* params) {
    if (!params) return QG_ERR_NULL;
    *params = qgPartFindParams{};
    params->angleMin = -180;
    params->angleMax = 180;
    params->minScore = 0.7;
    params->polarity = QG_POLARITY_DARK_TO_LIGHT;
    params->maxInstances = 1;
    params->minDistance = 0;
    return QG_OK;
}

extern "C" QG_API int32_t qgPartFind(const qgImage* image, const qgPartModel* model,
                                     const qgPartFindParams* params, qgPartInstance* instances,
                                     int32_t capacity, int32_t* count) {
    if (int32_t rc = checkImage(image)) return rc;
    if (!model || !instances || !count) return QG_ERR_NULL;
    *count = 0;
    qgPartFindParams p;
    qgPartFindDefaults(&p);
    if (params) p = *params;
    Search s;
    if (int32_t rc = resolveFind(*image, *model, p, s)) return rc;
    if (capacity < s.maxInstances) return QG_ERR_ARGUMENT;
    try {
        const int top = static_cast<int>(model->levels.size()) - 1;
        std::vector<Level> pyr(static_cast<size_t>(top + 1));
        greyOf(*image, pyr[0]);
        for (int l = 1; l <= top; ++l) halve(pyr[static_cast<size_t>(l - 1)], pyr[static_cast<size_t>(l)]);
        for (Level& lv : pyr) {
            if (lv.w < 3 || lv.h < 3) return QG_NOT_FOUND;
            orientations(lv, 0.12 * model->contrast);
        }
        const double scale = 1.0 / (1 << top);
        std::vector<Pose> cands = coarseScan(pyr[static_cast<size_t>(top)], model->levels[static_cast<size_t>(top)],
                                             scale, model->radius * scale, s);
        suppress(cands, s.minDistance * scale, static_cast<size_t>(s.maxInstances) + 8);
        std::vector<Pose> found;
        for (Pose c : cands) {
            descend(pyr[static_cast<size_t>(top)], model->levels[static_cast<size_t>(top)],
                    model->radius * scale, s.either, c);
            for (int l = top - 1; l >= 0; --l) {
                c.x *= 2;
                c.y *= 2;
                descend(pyr[static_cast<size_t>(l)], model->levels[static_cast<size_t>(l)],
                        model->radius / (1 << l), s.either, c);
            }
            if (c.score < s.minScore) continue;
            if (!refinePose(*image, *model, s.either, c) || c.score < s.minScore) continue;
            if (c.x < s.x0 || c.y < s.y0 || c.x >= s.x1 || c.y >= s.y1) continue;
            found.push_back(c);
        }
        suppress(found, s.minDistance, static_cast<size_t>(s.maxInstances));
        for (const Pose& f : found)
            instances[(*count)++] = {f.x, f.y, degrees(f.angle), f.score, f.ux, f.uy, f.uangle * 180 / M_PI};
        return *count ? QG_OK : QG_NOT_FOUND;
    } catch (const std::bad_alloc&) {
        return QG_ERR_MEMORY;
    }
}
