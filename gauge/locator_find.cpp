// qgPartFind: settings, the coarse scan at the pyramid's top, the descent
// down the levels and the instances reported.
#include "locator.h"

#include <algorithm>
#include <new>

namespace qg {

namespace {

// The descent stops at this level: the refinement's calipers reach over the
// pose's remaining error. Candidates whose orientation score falls below
// kKeep times the minimum score on the way down are given up.
constexpr int kLastDescent = 1;
constexpr double kKeep = 0.9;

struct Search {
    double x0, y0, x1, y1;      // where the origin may lie, full resolution
    double a0, a1;              // angle range, radians
    double minScore, minDistance;
    bool either;
    int maxInstances;
    double s0 = 1, s1 = 1;  // scale range
    bool fitScale = false;
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

// The pose moved to its best neighbour in position (a level pixel), angle
// (the level's angle step) and, when searched, scale (as much again) until
// none is better.
void descend(const Level& lv, const std::vector<qgPartModel::Point>& pts, double radius, const Search& s,
             Pose& p) {
    const double step = 1.0 / std::max(radius * p.scale, 1.0);
    const int grow = s.fitScale ? 1 : 0;
    Pose best = p;
    best.score = scorePose(lv, pts, p, s.either, true);
    // Climb while a neighbour is better (a few level pixels at most).
    for (int round = 0; round < 6; ++round) {
        const Pose from = best;
        for (int g = -grow; g <= grow; ++g)
            for (int k = -2; k <= 2; ++k)
                for (int dy = -1; dy <= 1; ++dy)
                    for (int dx = -1; dx <= 1; ++dx) {
                        Pose q = from;
                        q.x += dx;
                        q.y += dy;
                        q.angle += k * step;
                        q.scale = std::clamp(from.scale * (1 + g * step), s.s0, s.s1);
                        q.score = scorePose(lv, pts, q, s.either, true);
                        if (q.score > best.score) best = q;
                    }
        if (best.x == from.x && best.y == from.y && best.angle == from.angle && best.scale == from.scale) break;
    }
    best.score = scorePose(lv, pts, best, s.either);
    p = best;
}

// The pose descended from level l + 1 to level l: twice its position, then
// climbed on a window of level l about it.
void descendTo(const qgImage& image, const qgPartModel& m, int l, double threshold, const Search& s, Pose& c) {
    c.x *= 2;
    c.y *= 2;
    const double radius = m.radius / (1 << l);
    const int half = static_cast<int>(std::ceil(radius * c.scale)) + 8;
    const int cx = static_cast<int>(std::floor(c.x)), cy = static_cast<int>(std::floor(c.y));
    Level lv;
    levelWindow(image, l, cx - half, cy - half, cx + half + 1, cy + half + 1, lv);
    if (lv.w < 3 || lv.h < 3) {
        c.score = 0;
        return;
    }
    orientations(lv, threshold);
    descend(lv, m.levels[static_cast<size_t>(l)], radius, s, c);
}

// The top level's candidates over the scale steps (each growing the model's
// reach by about a level pixel), the best apart from each other.
std::vector<Pose> topCandidates(const Level& lv, const qgPartModel& m, int top, const Search& s) {
    const double f = 1.0 / (1 << top), radius = m.radius * f;
    const ScanArea area{std::max(0, static_cast<int>(std::floor(s.x0 * f))),
                        std::min(lv.w, static_cast<int>(std::ceil(s.x1 * f))),
                        std::max(0, static_cast<int>(std::floor(s.y0 * f))),
                        std::min(lv.h, static_cast<int>(std::ceil(s.y1 * f))),
                        s.a0, s.a1, s.either};
    const double reach = std::clamp(radius * s.s0, 1.0, std::hypot(lv.w, lv.h));
    const int steps = s.fitScale ? static_cast<int>(std::ceil(std::log(s.s1 / s.s0) / std::log1p(1 / reach))) : 0;
    std::vector<Pose> out;
    for (int k = 0; k <= steps; ++k) {
        const double scale = steps ? s.s0 * std::pow(s.s1 / s.s0, static_cast<double>(k) / steps) : s.s0;
        const std::vector<Pose> at = coarseScan(lv, m.levels[static_cast<size_t>(top)], radius, scale, area,
                                                0.7 * s.minScore);
        out.insert(out.end(), at.begin(), at.end());
    }
    suppress(out, s.minDistance * f, static_cast<size_t>(s.maxInstances) + 8);
    return out;
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

namespace {

// The candidates followed down the pyramid and refined: the parts found.
std::vector<Pose> locate(const qgImage& image, const qgPartModel& m, const Search& s) {
    const int top = static_cast<int>(m.levels.size()) - 1;
    const double threshold = 0.12 * m.contrast;
    Level lv;
    levelWindow(image, top, 0, 0, image.width, image.height, lv);
    if (lv.w < 3 || lv.h < 3) return {};
    orientations(lv, threshold);
    std::vector<Pose> found;
    for (Pose c : topCandidates(lv, m, top, s)) {
        descend(lv, m.levels[static_cast<size_t>(top)], m.radius / (1 << top), s, c);
        for (int l = top - 1; l >= kLastDescent && c.score >= kKeep * s.minScore; --l)
            descendTo(image, m, l, threshold, s, c);
        if (c.score < kKeep * s.minScore) continue;
        for (int l = std::min(top, kLastDescent); l > 0; --l) {
            c.x *= 2;
            c.y *= 2;
        }
        if (!refinePose(image, m, s.either, s.fitScale, c) || c.score < s.minScore) continue;
        if (c.x < s.x0 || c.y < s.y0 || c.x >= s.x1 || c.y >= s.y1) continue;
        if (c.scale < s.s0 * 0.99 || c.scale > s.s1 * 1.01) continue;
        found.push_back(c);
    }
    suppress(found, s.minDistance, static_cast<size_t>(s.maxInstances));
    return found;
}

int32_t find(const qgImage* image, const qgPartModel* model, const qgPartFindParams* params, double s0, double s1,
             qgPartInstance* instances, qgPartScale* scales, int32_t capacity, int32_t* count) {
    if (int32_t rc = checkImage(image)) return rc;
    if (!model || !instances || !count) return QG_ERR_NULL;
    *count = 0;
    qgPartFindParams p;
    qgPartFindDefaults(&p);
    if (params) p = *params;
    Search s;
    if (int32_t rc = resolveFind(*image, *model, p, s)) return rc;
    if (capacity < s.maxInstances) return QG_ERR_ARGUMENT;
    if (!(s0 >= 0.5 && s0 <= s1 && s1 <= 2)) return QG_ERR_ARGUMENT;
    s.s0 = s0;
    s.s1 = s1;
    s.fitScale = s0 < s1;
    try {
        for (const Pose& f : locate(*image, *model, s)) {
            if (scales) scales[*count] = {f.scale, f.uscale};
            instances[(*count)++] = {f.x, f.y, degrees(f.angle), f.score, f.ux, f.uy, f.uangle * 180 / M_PI};
        }
        return *count ? QG_OK : QG_NOT_FOUND;
    } catch (const std::bad_alloc&) {
        return QG_ERR_MEMORY;
    }
}

}  // namespace

extern "C" QG_API int32_t qgPartFind(const qgImage* image, const qgPartModel* model,
                                     const qgPartFindParams* params, qgPartInstance* instances,
                                     int32_t capacity, int32_t* count) {
    return find(image, model, params, 1, 1, instances, nullptr, capacity, count);
}

extern "C" QG_API int32_t qgPartFindScaled(const qgImage* image, const qgPartModel* model,
                                           const qgPartFindParams* params, double scaleMin, double scaleMax,
                                           qgPartInstance* instances, qgPartScale* scales, int32_t capacity,
                                           int32_t* count) {
    return find(image, model, params, scaleMin, scaleMax, instances, scales, capacity, count);
}
