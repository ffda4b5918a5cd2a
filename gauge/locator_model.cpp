// Teaching a part model from a box of a picture, its warnings and its
// serialised form.
#include "locator.h"

#include <algorithm>
#include <cstring>
#include <memory>
#include <new>
#include <unordered_set>

namespace qg {

namespace {

struct Candidate {
    int x, y;
    double mag, gx, gy;
};

// Edge pixels of the box: Sobel gradient maxima along their direction.
// Whether the mask (may be null) leaves pixel (x, y) to the model.
bool cares(const qgImage* mask, int x, int y) {
    return !mask || mask->pixels[static_cast<size_t>(y) * static_cast<size_t>(mask->stride) + static_cast<size_t>(x)] == 0;
}

// Whether the mask leaves every pixel a caliper reads (each sample's 2 x 2
// neighbours) to the model.
bool caresAbout(const qgImage* mask, const qgRect& r) {
    if (!mask) return true;
    const double ux = std::cos(r.angle), uy = std::sin(r.angle);
    const double half = r.length / 2, across = (r.width - 1) / 2;
    for (double t = -half; t <= half; t += 0.5)
        for (double w = -across; w <= across; w += 0.5) {
            const int x = static_cast<int>(std::floor(r.cx + t * ux - w * uy - 0.5));
            const int y = static_cast<int>(std::floor(r.cy + t * uy + w * ux - 0.5));
            for (int dy = 0; dy <= 1; ++dy)
                for (int dx = 0; dx <= 1; ++dx) {
                    const int xx = std::clamp(x + dx, 0, mask->width - 1), yy = std::clamp(y + dy, 0, mask->height - 1);
                    if (!cares(mask, xx, yy)) return false;
                }
        }
    return true;
}

std::vector<Candidate> edgePixels(const Level& lv, const qgImage* mask, int i0, int j0, int i1, int j1,
                                  double threshold) {
    auto g = [&](int x, int y) { return static_cast<double>(lv.grey[static_cast<size_t>(y) * lv.w + x]); };
    auto grad = [&](int x, int y, double& gx, double& gy) {
        gx = (g(x + 1, y - 1) + 2 * g(x + 1, y) + g(x + 1, y + 1) - g(x - 1, y - 1) - 2 * g(x - 1, y) - g(x - 1, y + 1)) / 8;
        gy = (g(x - 1, y + 1) + 2 * g(x, y + 1) + g(x + 1, y + 1) - g(x - 1, y - 1) - 2 * g(x, y - 1) - g(x + 1, y - 1)) / 8;
        return std::hypot(gx, gy);
    };
    std::vector<Candidate> out;
    for (int y = j0 + 2; y < j1 - 2; ++y)
        for (int x = i0 + 2; x < i1 - 2; ++x) {
            double gx, gy, ax, ay;
            const double m = grad(x, y, gx, gy);
            if (m < threshold || !cares(mask, x, y)) continue;
            // Neighbours along the gradient, its direction rounded to 45 degrees.
            const int sx = std::abs(gx) > 0.414 * m ? (gx > 0 ? 1 : -1) : 0;
            const int sy = std::abs(gy) > 0.414 * m ? (gy > 0 ? 1 : -1) : 0;
            if (grad(x + sx, y + sy, ax, ay) > m || grad(x - sx, y - sy, ax, ay) >= m) continue;
            out.push_back({x, y, m, gx, gy});
        }
    return out;
}

// At most `cap` candidates, strongest first, none nearer to another than a
// spacing that grows until few enough remain. The spacing starts where the
// refinement's calipers (three rows, each read through its 2 x 2 pixels)
// stop sharing pixels, so that neighbouring points' errors are independent
// and the fit's covariance holds.
std::vector<Candidate> thin(std::vector<Candidate> c, size_t cap) {
    if (c.size() <= 1) return c;
    std::stable_sort(c.begin(), c.end(), [](const Candidate& a, const Candidate& b) { return a.mag > b.mag; });
    int minx = 1 << 30, miny = 1 << 30, maxx = 0, maxy = 0;
    for (const Candidate& k : c) {
        minx = std::min(minx, k.x); miny = std::min(miny, k.y);
        maxx = std::max(maxx, k.x); maxy = std::max(maxy, k.y);
    }
    for (double spacing = 4;; spacing *= 1.2) {
        // Kept candidates by grid cell of the spacing's size: the near ones
        // lie in the 3 x 3 cells around.
        const int cell = static_cast<int>(std::ceil(spacing));
        const int cw = (maxx - minx) / cell + 1, ch = (maxy - miny) / cell + 1;
        std::vector<std::vector<uint32_t>> grid(static_cast<size_t>(cw) * ch);
        std::vector<Candidate> kept;
        for (const Candidate& k : c) {
            const int gx = (k.x - minx) / cell, gy = (k.y - miny) / cell;
            bool near = false;
            for (int dy = -1; dy <= 1 && !near; ++dy)
                for (int dx = -1; dx <= 1 && !near; ++dx) {
                    if (gx + dx < 0 || gy + dy < 0 || gx + dx >= cw || gy + dy >= ch) continue;
                    for (uint32_t i : grid[static_cast<size_t>(gy + dy) * cw + gx + dx])
                        near = near || std::hypot(kept[i].x - k.x, kept[i].y - k.y) < spacing;
                }
            if (near) continue;
            grid[static_cast<size_t>(gy) * cw + gx].push_back(static_cast<uint32_t>(kept.size()));
            kept.push_back(k);
        }
        if (kept.size() <= cap) return kept;
    }
}

// The sub-pixel edge of a candidate by a caliper along its gradient.
bool locatePoint(const qgImage& image, const qgImage* mask, const Candidate& k, Profile& pr,
                 std::vector<Located>& edges, double& px, double& py, double& nx, double& ny, double& contrast) {
    const double a = std::atan2(k.gy, k.gx);
    const qgRect r{k.x + 0.5, k.y + 0.5, 3 + 2 * kPlateauReach, 3, a};
    if (checkRect(image, r) != QG_OK || !caresAbout(mask, r)) return false;
    sampleProfile(image, r, pr);
    const qgCaliperParams cp{1.0, 0.5 * k.mag, QG_POLARITY_DARK_TO_LIGHT, QG_SELECT_ALL, 0};
    locateEdges(pr, cp, edges);
    const Located* best = nullptr;
    for (const Located& e : edges)
        if (std::abs(e.t) <= 1 && (!best || std::abs(e.t) < std::abs(best->t))) best = &e;
    if (!best) return false;
    nx = std::cos(a); ny = std::sin(a);
    px = r.cx + best->t * nx;
    py = r.cy + best->t * ny;
    contrast = best->contrast;
    return true;
}

// The points scaled to a coarser level, one a cell, the cells grown until
// at most kScanPoints remain: the coarse scan's cost grows with the count.
std::vector<qgPartModel::Point> coarsePoints(const std::vector<qgPartModel::Point>& pts, double scale) {
    for (double cell = 1;; cell *= 1.25) {
        std::vector<qgPartModel::Point> out;
        std::unordered_set<uint64_t> cells;
        for (const auto& p : pts) {
            // Loaded points lie within 2e5 pixels: the cells fit 32 bits each.
            const auto cx = static_cast<uint32_t>(static_cast<int32_t>(std::floor(p.x * scale / cell)));
            const auto cy = static_cast<uint32_t>(static_cast<int32_t>(std::floor(p.y * scale / cell)));
            if (!cells.insert(uint64_t{cx} << 32 | cy).second) continue;
            out.push_back({p.x * scale, p.y * scale, p.nx, p.ny, p.theta});
        }
        if (out.size() <= kScanPoints) return out;
    }
}

}  // namespace

void finishModel(qgPartModel& m) {
    double r2 = 0, a00 = 0, a01 = 0, a11 = 0, m02 = 0, m12 = 0, m22 = 0;
    size_t grid = 0;
    for (auto& p : m.points) {
        p.theta = std::atan2(p.ny, p.nx);
        m.radius = std::max(m.radius, std::hypot(p.x, p.y));
        r2 += p.x * p.x + p.y * p.y;
        const double j3 = p.x * p.ny - p.y * p.nx;
        a00 += p.nx * p.nx; a01 += p.nx * p.ny; a11 += p.ny * p.ny;
        m02 += p.nx * j3; m12 += p.ny * j3; m22 += j3 * j3;
        if (std::min(std::abs(p.nx), std::abs(p.ny)) < 0.0524) ++grid;  // 3 degrees: above the noise
    }
    const double n = static_cast<double>(m.points.size());
    const double tr = a00 + a11, det = a00 * a11 - a01 * a01;
    const double lmin = tr / 2 - std::sqrt(std::max(0.0, tr * tr / 4 - det));
    m.flags = 0;
    if (lmin < 0.02 * n) m.flags |= QG_PART_NO_POSITION;
    // What the angle adds beyond what the position explains (the Schur
    // complement), against the points' spread about the origin.
    const double schur = det > 1e-9 * n * n
                             ? m22 - (a11 * m02 * m02 - 2 * a01 * m02 * m12 + a00 * m12 * m12) / det
                             : m22;
    if (schur < 0.01 * r2) m.flags |= QG_PART_NO_ANGLE;
    if (grid > 0.9 * n) m.flags |= QG_PART_GRID_ALIGNED;
    m.levels.assign(1, coarsePoints(m.points, 1));
    for (int l = 1; l <= 3 && m.radius / (1 << l) >= 12; ++l) {
        std::vector<qgPartModel::Point> lv = coarsePoints(m.points, 1.0 / (1 << l));
        if (lv.size() < 12) break;
        m.levels.push_back(std::move(lv));
    }
}

}  // namespace qg

using namespace qg;

extern "C" QG_API int32_t qgPartTrainDefaults(qgPartTrainParams* params) {
    if (!params) return QG_ERR_NULL;
    params->maxPoints = 300;
    params->threshold = 0;
    return QG_OK;
}

namespace {

// The edge threshold derived from the box: a quarter of the strong edges'
// gradient, above the noise; 0 without any edge.
double derivedThreshold(const Level& lv, const qgImage* mask, int i0, int j0, int i1, int j1) {
    std::vector<Candidate> all = edgePixels(lv, mask, i0, j0, i1, j1, 4);
    if (all.empty()) return 0;
    std::vector<double> mags;
    for (const Candidate& c : all) mags.push_back(c.mag);
    std::nth_element(mags.begin(), mags.begin() + static_cast<long>(mags.size() * 9 / 10), mags.end());
    return std::max(4.0, 0.25 * mags[mags.size() * 9 / 10]);
}

int32_t train(const qgImage* image, const qgBox* box, const qgImage* mask, const qgPartTrainParams* params,
              qgPartModel** model) {
    if (int32_t rc = checkImage(image)) return rc;
    if (!box || !model) return QG_ERR_NULL;
    qgPartTrainParams p;
    qgPartTrainDefaults(&p);
    if (params) p = *params;
    if (p.maxPoints < 16 || p.maxPoints > QG_PART_MAX_POINTS || !qg::finite(p.threshold) || p.threshold < 0)
        return QG_ERR_ARGUMENT;
    if (!qg::finite(box->x0) || !qg::finite(box->y0) || !qg::finite(box->x1) || !qg::finite(box->y1)) return QG_ERR_ARGUMENT;
    if (box->x0 < 0 || box->y0 < 0 || box->x1 > image->width || box->y1 > image->height) return QG_ERR_OUTSIDE;
    // Pixels whose centres lie in the box.
    const int i0 = static_cast<int>(std::ceil(box->x0 - 0.5)), i1 = static_cast<int>(std::ceil(box->x1 - 0.5));
    const int j0 = static_cast<int>(std::ceil(box->y0 - 0.5)), j1 = static_cast<int>(std::ceil(box->y1 - 0.5));
    if (i1 - i0 < 8 || j1 - j0 < 8) return QG_ERR_ARGUMENT;
    try {
        Level lv;
        levelWindow(*image, 0, 0, 0, image->width, image->height, lv);
        const double threshold = p.threshold > 0 ? p.threshold : derivedThreshold(lv, mask, i0, j0, i1, j1);
        if (threshold == 0) return QG_NOT_FOUND;
        std::vector<Candidate> cands = thin(edgePixels(lv, mask, i0, j0, i1, j1, threshold),
                                            static_cast<size_t>(p.maxPoints));
        auto m = std::make_unique<qgPartModel>();
        m->width = box->x1 - box->x0;
        m->height = box->y1 - box->y0;
        const double ox = (box->x0 + box->x1) / 2, oy = (box->y0 + box->y1) / 2;
        Profile pr;
        std::vector<Located> edges;
        std::vector<double> contrasts;
        for (const Candidate& k : cands) {
            double px, py, nx, ny, c;
            if (!locatePoint(*image, mask, k, pr, edges, px, py, nx, ny, c)) continue;
            m->points.push_back({px - ox, py - oy, nx, ny});
            contrasts.push_back(c);
        }
        if (m->points.size() < 16) return QG_NOT_FOUND;
        std::nth_element(contrasts.begin(), contrasts.begin() + static_cast<long>(contrasts.size() / 2), contrasts.end());
        m->contrast = contrasts[contrasts.size() / 2];
        finishModel(*m);
        *model = m.release();
        return QG_OK;
    } catch (const std::bad_alloc&) {
        return QG_ERR_MEMORY;
    }
}

}  // namespace

extern "C" QG_API int32_t qgPartTrain(const qgImage* image, const qgBox* box,
                                      const qgPartTrainParams* params, qgPartModel** model) {
    return train(image, box, nullptr, params, model);
}

extern "C" QG_API int32_t qgPartTrainMasked(const qgImage* image, const qgBox* box, const qgImage* mask,
                                            const qgPartTrainParams* params, qgPartModel** model) {
    if (int32_t rc = checkImage(image)) return rc;
    if (!mask) return QG_ERR_NULL;
    if (int32_t rc = checkImage(mask)) return rc;
    if (mask->bytesPerPixel != 1 || mask->width != image->width || mask->height != image->height)
        return QG_ERR_IMAGE;
    return train(image, box, mask, params, model);
}

extern "C" QG_API void qgPartModelFree(qgPartModel* model) { delete model; }

extern "C" QG_API int32_t qgPartModelInfo(const qgPartModel* model, int32_t* points, int32_t* flags,
                                          double* width, double* height) {
    if (!model) return QG_ERR_NULL;
    if (points) *points = static_cast<int32_t>(model->points.size());
    if (flags) *flags = model->flags;
    if (width) *width = model->width;
    if (height) *height = model->height;
    return QG_OK;
}

extern "C" QG_API int32_t qgPartModelPoint(const qgPartModel* model, int32_t i, qgPoint* position,
                                           qgPoint* normal) {
    if (!model || !position || !normal) return QG_ERR_NULL;
    if (i < 0 || static_cast<size_t>(i) >= model->points.size()) return QG_ERR_ARGUMENT;
    const auto& p = model->points[static_cast<size_t>(i)];
    *position = {p.x, p.y};
    *normal = {p.nx, p.ny};
    return QG_OK;
}

// Serialised form, little-endian: "QGPM", version (u32), point count (u32),
// width, height, contrast (f64), then x, y, nx, ny (f64) a point, then the
// CRC-32 of everything before it (u32).
namespace {

constexpr uint32_t kFormat = 1;
constexpr size_t kHeader = 4 + 4 + 4 + 3 * 8;

uint32_t crc32(const uint8_t* p, size_t n) {
    uint32_t c = 0xffffffffu;
    for (size_t i = 0; i < n; ++i) {
        c ^= p[i];
        for (int k = 0; k < 8; ++k) c = (c >> 1) ^ (0xedb88320u & (0u - (c & 1)));
    }
    return ~c;
}

void putU32(uint8_t*& o, uint32_t v) {
    for (int i = 0; i < 4; ++i) *o++ = static_cast<uint8_t>(v >> (8 * i));
}
void putF64(uint8_t*& o, double d) {
    uint64_t v;
    std::memcpy(&v, &d, 8);
    for (int i = 0; i < 8; ++i) *o++ = static_cast<uint8_t>(v >> (8 * i));
}
uint32_t getU32(const uint8_t*& p) {
    uint32_t v = 0;
    for (int i = 0; i < 4; ++i) v |= static_cast<uint32_t>(*p++) << (8 * i);
    return v;
}
double getF64(const uint8_t*& p) {
    uint64_t v = 0;
    for (int i = 0; i < 8; ++i) v |= static_cast<uint64_t>(*p++) << (8 * i);
    double d;
    std::memcpy(&d, &v, 8);
    return d;
}

}  // namespace

extern "C" QG_API int32_t qgPartModelSize(const qgPartModel* model, size_t* size) {
    if (!model || !size) return QG_ERR_NULL;
    *size = kHeader + model->points.size() * 32 + 4;
    return QG_OK;
}

extern "C" QG_API int32_t qgPartModelSave(const qgPartModel* model, uint8_t* bytes, size_t capacity) {
    size_t need;
    if (int32_t rc = qgPartModelSize(model, &need)) return rc;
    if (!bytes) return QG_ERR_NULL;
    if (capacity < need) return QG_ERR_ARGUMENT;
    uint8_t* o = bytes;
    std::memcpy(o, "QGPM", 4);
    o += 4;
    putU32(o, kFormat);
    putU32(o, static_cast<uint32_t>(model->points.size()));
    for (double v : {model->width, model->height, model->contrast}) putF64(o, v);
    for (const auto& p : model->points)
        for (double v : {p.x, p.y, p.nx, p.ny}) putF64(o, v);
    putU32(o, crc32(bytes, need - 4));
    return QG_OK;
}

extern "C" QG_API int32_t qgPartModelLoad(const uint8_t* bytes, size_t size, qgPartModel** model) {
    if (!bytes || !model) return QG_ERR_NULL;
    if (size < kHeader + 4 || std::memcmp(bytes, "QGPM", 4) != 0) return QG_ERR_DAMAGED;
    const uint8_t* p = bytes + 4;
    const uint32_t version = getU32(p), count = getU32(p);
    if (version != kFormat || count < 16 || count > QG_PART_MAX_POINTS) return QG_ERR_DAMAGED;
    if (size != kHeader + count * 32 + 4) return QG_ERR_DAMAGED;
    const uint8_t* q = bytes + size - 4;
    if (getU32(q) != crc32(bytes, size - 4)) return QG_ERR_DAMAGED;
    try {
        auto m = std::make_unique<qgPartModel>();
        m->width = getF64(p);
        m->height = getF64(p);
        m->contrast = getF64(p);
        auto bad = [](double v, double lim) { return !qg::finite(v) || std::abs(v) > lim; };
        if (bad(m->width, 1e5) || bad(m->height, 1e5) || bad(m->contrast, 1e4) || m->width < 8 ||
            m->height < 8 || m->contrast <= 0)
            return QG_ERR_DAMAGED;
        const double reach = m->width + m->height;
        for (uint32_t i = 0; i < count; ++i) {
            qgPartModel::Point pt;
            pt.x = getF64(p); pt.y = getF64(p); pt.nx = getF64(p); pt.ny = getF64(p);
            if (bad(pt.x, reach) || bad(pt.y, reach) || bad(pt.nx, 1.01) || bad(pt.ny, 1.01) ||
                std::abs(std::hypot(pt.nx, pt.ny) - 1) > 1e-6)
                return QG_ERR_DAMAGED;
            m->points.push_back(pt);
        }
        finishModel(*m);
        *model = m.release();
        return QG_OK;
    } catch (const std::bad_alloc&) {
        return QG_ERR_MEMORY;
    }
}
