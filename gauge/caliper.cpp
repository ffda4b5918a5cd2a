// Edge caliper and edge pair: a rotated rectangle sampled into a profile
// along its axis, edges detected with a Gaussian derivative and located
// where the Gaussian-smoothed profile crosses the middle of its two levels.
#include "internal.h"

#include <algorithm>
#include <cstring>
#include <new>

namespace qg {

namespace {

constexpr double kSqrt2Pi = 2.5066282746310002;

inline double intensity(const qgImage& im, int x, int y) {
    const uint8_t* p = im.pixels + static_cast<size_t>(y) * static_cast<size_t>(im.stride) +
                       static_cast<size_t>(x) * static_cast<size_t>(im.bytesPerPixel);
    return im.bytesPerPixel == 1 ? p[0] : p[2];
}

// Bilinear interpolation between pixel centres, clamped at the border.
inline double bilinear(const qgImage& im, double x, double y) {
    double fx = x - 0.5, fy = y - 0.5;
    int x0 = static_cast<int>(std::floor(fx)), y0 = static_cast<int>(std::floor(fy));
    double ax = fx - x0, ay = fy - y0;
    int x1 = x0 + 1, y1 = y0 + 1;
    if (x0 < 0) { x0 = x1 = 0; ax = 0; }
    if (x1 > im.width - 1) { x1 = im.width - 1; if (x0 > x1) x0 = x1; if (x0 == x1) ax = 0; }
    if (y0 < 0) { y0 = y1 = 0; ay = 0; }
    if (y1 > im.height - 1) { y1 = im.height - 1; if (y0 > y1) y0 = y1; if (y0 == y1) ay = 0; }
    const size_t bpp = static_cast<size_t>(im.bytesPerPixel);
    const size_t off = bpp == 1 ? 0 : 2;
    const uint8_t* r0 = im.pixels + static_cast<size_t>(y0) * static_cast<size_t>(im.stride) + off;
    const uint8_t* r1 = im.pixels + static_cast<size_t>(y1) * static_cast<size_t>(im.stride) + off;
    double top = r0[x0 * bpp] + ax * (r0[x1 * bpp] - r0[x0 * bpp]);
    double bottom = r1[x0 * bpp] + ax * (r1[x1 * bpp] - r1[x0 * bpp]);
    return top + ay * (bottom - top);
}

// First grid offset in [-half, -half + 1) that puts samples on pixel centres
// along the direction's dominant image axis.
double alignedStart(double centre, double dx, double dy, double cy, double half) {
    double along = std::fabs(dx) >= std::fabs(dy) ? dx : dy;
    double origin = std::fabs(dx) >= std::fabs(dy) ? centre : cy;
    double at = origin - half * along;  // coordinate of the grid's lowest end
    double m = (0.5 - at) / along;
    m -= std::floor(m);
    if (m > 1.0 - 1e-9) m = 0;
    return -half + m;
}

// Smoothed profile at x (index units) with Gaussian weights of sigma w over
// [lo, hi], normalised so that a flat profile gives its level; also its
// derivative.
void smoothed(const std::vector<double>& p, int lo, int hi, double x, double w,
              double& value, double& slope) {
    double inv = 1.0 / (w * w);
    // Gaussian weights by recurrence: g(k+1) = g(k) * a(k), a(k+1) = a(k) * b.
    double d = lo - x;
    double g = std::exp(-0.5 * d * d * inv);
    double a = std::exp(-(d + 0.5) * inv);
    const double b = std::exp(-inv);
    double sg = 0, sgp = 0, sgd = 0, sgpd = 0;
    for (int k = lo; k <= hi; ++k) {
        double dk = k - x;
        sg += g;
        sgp += g * p[k];
        sgd += g * dk;
        sgpd += g * p[k] * dk;
        g *= a;
        a *= b;
    }
    if (sg <= 0) { value = p[lo]; slope = 0; return; }
    value = sgp / sg;
    slope = (sgpd - value * sgd) * inv / sg;
}

double plateauMean(const std::vector<double>& p, int from, int to) {
    double s = 0;
    for (int k = from; k <= to; ++k) s += p[k];
    return s / (to - from + 1);
}

}  // namespace

int32_t checkImage(const qgImage* image) {
    if (!image || !image->pixels) return QG_ERR_NULL;
    if (image->width < 1 || image->height < 1) return QG_ERR_IMAGE;
    if (image->bytesPerPixel != 1 && image->bytesPerPixel != 3 && image->bytesPerPixel != 4)
        return QG_ERR_IMAGE;
    if (static_cast<int64_t>(image->stride) <
        static_cast<int64_t>(image->width) * image->bytesPerPixel)
        return QG_ERR_IMAGE;
    return QG_OK;
}

int32_t checkCaliper(const qgCaliperParams& p, bool allowAll) {
    if (!finite(p.sigma) || p.sigma < 0.5 || p.sigma > 20) return QG_ERR_ARGUMENT;
    if (!finite(p.threshold) || p.threshold < 0) return QG_ERR_ARGUMENT;
    if (!finite(p.noise) || p.noise < 0) return QG_ERR_ARGUMENT;
    if (p.polarity < QG_POLARITY_EITHER || p.polarity > QG_POLARITY_LIGHT_TO_DARK)
        return QG_ERR_ARGUMENT;
    if (p.select < QG_SELECT_FIRST || p.select > (allowAll ? QG_SELECT_ALL : QG_SELECT_STRONGEST))
        return QG_ERR_ARGUMENT;
    return QG_OK;
}

int32_t checkRect(const qgImage& image, const qgRect& r) {
    if (!finite(r.cx) || !finite(r.cy) || !finite(r.length) || !finite(r.width) || !finite(r.angle))
        return QG_ERR_ARGUMENT;
    if (r.length < 1 || r.width < 1) return QG_ERR_ARGUMENT;
    if (r.length > 1e6 || r.width > 1e6) return QG_ERR_TOO_LARGE;
    if ((std::floor(r.length) + 1) * (std::floor(r.width) + 1) > QG_MAX_SAMPLES)
        return QG_ERR_TOO_LARGE;
    const double ux = std::cos(r.angle), uy = std::sin(r.angle);
    const double eps = 1e-9;
    for (int i = 0; i < 4; ++i) {
        double sa = (i & 1) ? 0.5 : -0.5, sb = (i & 2) ? 0.5 : -0.5;
        double x = r.cx + sa * r.length * ux - sb * r.width * uy;
        double y = r.cy + sa * r.length * uy + sb * r.width * ux;
        if (x < -eps || y < -eps || x > image.width + eps || y > image.height + eps)
            return QG_ERR_OUTSIDE;
    }
    return QG_OK;
}

void sampleProfile(const qgImage& image, const qgRect& r, Profile& pr) {
    pr.rect = r;
    pr.ux = std::cos(r.angle);
    pr.uy = std::sin(r.angle);
    const double vx = -pr.uy, vy = pr.ux;
    const double halfL = r.length / 2;
    pr.tFirst = alignedStart(r.cx, pr.ux, pr.uy, r.cy, halfL);
    const int n = static_cast<int>(std::floor(halfL - pr.tFirst + 1e-9)) + 1;
    // Rows symmetric about the axis, so that an edge oblique to the axis is
    // averaged to its position on the axis.
    pr.rows = std::max(1, static_cast<int>(std::lround(r.width)));
    const double wFirst = -0.5 * (pr.rows - 1);
    pr.values.assign(static_cast<size_t>(n), 0.0);
    double w2 = 0;
    for (int j = 0; j < pr.rows; ++j) {
        const double w = wFirst + j;
        w2 += w * w;
        double x = r.cx + pr.tFirst * pr.ux + w * vx;
        double y = r.cy + pr.tFirst * pr.uy + w * vy;
        for (int k = 0; k < n; ++k) {
            pr.values[static_cast<size_t>(k)] += bilinear(image, x + k * pr.ux, y + k * pr.uy);
        }
    }
    pr.meanW2 = w2 / pr.rows;
    const double inv = 1.0 / pr.rows;
    for (double& v : pr.values) v *= inv;
}

void locateEdges(const Profile& pr, const qgCaliperParams& params, std::vector<Located>& out) {
    out.clear();
    const std::vector<double>& p = pr.values;
    const int n = static_cast<int>(p.size());
    if (n < 3) return;
    // Derivative of Gaussian, scaled so that a unit ramp gives 1; times
    // sqrt(2 pi) sigma a sharp step of contrast C peaks at C.
    const double s = params.sigma;
    const int R = static_cast<int>(std::ceil(4 * s));
    std::vector<double> kernel(static_cast<size_t>(2 * R + 1));
    double norm = 0;
    for (int j = -R; j <= R; ++j) {
        double v = j * std::exp(-0.5 * j * j / (s * s));
        kernel[static_cast<size_t>(j + R)] = v;
        norm += j * v;
    }
    const double scale = kSqrt2Pi * s / norm;
    std::vector<double> strength(static_cast<size_t>(n));
    for (int k = 0; k < n; ++k) {
        double acc = 0;
        for (int j = -R; j <= R; ++j) {
            int i = std::clamp(k + j, 0, n - 1);
            acc += kernel[static_cast<size_t>(j + R)] * p[static_cast<size_t>(i)];
        }
        strength[static_cast<size_t>(k)] = acc * scale;
    }
    // Extrema above the threshold, of either polarity: they bound each
    // other's windows.
    std::vector<int> peaks;
    for (int k = 1; k < n - 1; ++k) {
        double a = std::fabs(strength[k]);
        if (a < params.threshold || a == 0) continue;
        if (a >= std::fabs(strength[k - 1]) && a > std::fabs(strength[k + 1]) &&
            (strength[k - 1] * strength[k] >= 0 || std::fabs(strength[k - 1]) < a))
            peaks.push_back(k);
    }
    for (size_t i = 0; i < peaks.size(); ++i) {
        const int k0 = peaks[i];
        const double sk = strength[static_cast<size_t>(k0)];
        const int pol = sk > 0 ? QG_POLARITY_DARK_TO_LIGHT : QG_POLARITY_LIGHT_TO_DARK;
        if (params.polarity != QG_POLARITY_EITHER && params.polarity != pol) continue;
        const int lo = i == 0 ? 0 : (peaks[i - 1] + k0 + 1) / 2;
        const int hi = i + 1 == peaks.size() ? n - 1 : (k0 + peaks[i + 1]) / 2;
        if (k0 - lo < 1 || hi - k0 < 1) continue;
        // Peak height between samples (parabola through three strengths).
        double s0 = std::fabs(strength[k0 - 1]), s1 = std::fabs(sk), s2 = std::fabs(strength[k0 + 1]);
        double den = s0 - 2 * s1 + s2;
        double peak = s1;
        if (den < 0) {
            double d = 0.5 * (s0 - s2) / den;
            peak = s1 - 0.25 * (s0 - s2) * d;
        }
        // Levels on either side, then the blur from the peak height; twice,
        // since the plateau windows depend on the blur.
        double spread = 1.0, a = 0, b = 0;
        int aFrom = lo, aTo = lo, bFrom = hi, bTo = hi;
        for (int pass = 0; pass < 2; ++pass) {
            int h1 = static_cast<int>(std::ceil(3 * spread)) + 1;
            int h2 = h1 + std::max(4, static_cast<int>(std::ceil(3 * spread)));
            aTo = std::max(lo, k0 - h1);
            aFrom = std::max(lo, k0 - h2);
            bFrom = std::min(hi, k0 + h1);
            bTo = std::min(hi, k0 + h2);
            a = plateauMean(p, aFrom, aTo);
            b = plateauMean(p, bFrom, bTo);
            double c = std::fabs(b - a);
            double ratio = peak > 0 ? c * s / peak : 0;
            double s2e = ratio * ratio - s * s;
            spread = std::sqrt(std::clamp(s2e, 0.25, 100.0));
        }
        if ((b - a) * sk <= 0) continue;
        const double mid = 0.5 * (a + b);
        const double w = std::max(spread, 0.5);
        const int Hq = static_cast<int>(std::ceil(4 * w));
        const int qlo = std::max(lo, k0 - Hq), qhi = std::min(hi, k0 + Hq);
        // Bracket the crossing of the middle level, then regula falsi
        // (Illinois).
        double xa = k0 - 1.5, xb = k0 + 1.5, fa, fb, slope;
        smoothed(p, qlo, qhi, xa, w, fa, slope);
        smoothed(p, qlo, qhi, xb, w, fb, slope);
        fa -= mid;
        fb -= mid;
        if (fa * fb > 0) {
            xa = k0 - 3;
            xb = k0 + 3;
            smoothed(p, qlo, qhi, xa, w, fa, slope);
            smoothed(p, qlo, qhi, xb, w, fb, slope);
            fa -= mid;
            fb -= mid;
            if (fa * fb > 0) continue;
        }
        double x = xa;
        int side = 0;
        for (int it = 0; it < 60; ++it) {
            x = (fa * xb - fb * xa) / (fa - fb);
            double fx;
            smoothed(p, qlo, qhi, x, w, fx, slope);
            fx -= mid;
            if (std::fabs(fx) < 1e-10 * (std::fabs(b - a) + 1) || std::fabs(xb - xa) < 1e-9) break;
            if (fx * fb > 0) {
                xb = x; fb = fx;
                if (side == -1) fa *= 0.5;
                side = -1;
            } else {
                xa = x; fa = fx;
                if (side == 1) fb *= 0.5;
                side = 1;
            }
        }
        double value;
        smoothed(p, qlo, qhi, x, w, value, slope);
        if (slope == 0 || !finite(slope)) continue;
        // Linear weights of the position on the profile samples:
        // dx = (dq(x) - dmid) / q'(x).
        Located e;
        e.first = std::min(aFrom, qlo);
        const int last = std::max(bTo, qhi);
        e.weights.assign(static_cast<size_t>(last - e.first + 1), 0.0);
        double sg = 0;
        for (int k = qlo; k <= qhi; ++k) sg += std::exp(-0.5 * (k - x) * (k - x) / (w * w));
        for (int k = qlo; k <= qhi; ++k)
            e.weights[static_cast<size_t>(k - e.first)] +=
                std::exp(-0.5 * (k - x) * (k - x) / (w * w)) / sg / slope;
        for (int k = aFrom; k <= aTo; ++k)
            e.weights[static_cast<size_t>(k - e.first)] -= 0.5 / (aTo - aFrom + 1) / slope;
        for (int k = bFrom; k <= bTo; ++k)
            e.weights[static_cast<size_t>(k - e.first)] -= 0.5 / (bTo - bFrom + 1) / slope;
        e.t = pr.tFirst + x;
        e.contrast = b - a;
        e.spread = spread;
        e.strength = sk;
        out.push_back(std::move(e));
    }
}

void collectNoise(const qgImage& image, const qgRect& r, const std::vector<Located>& edges,
                  int cap, std::vector<double>& out) {
    const double ux = std::cos(r.angle), uy = std::sin(r.angle);
    const double hl = r.length / 2, hw = r.width / 2;
    const double ex = std::fabs(hl * ux) + std::fabs(hw * uy), ey = std::fabs(hl * uy) + std::fabs(hw * ux);
    int x0 = std::max(1, static_cast<int>(std::floor(r.cx - ex))), x1 = std::min(image.width - 2, static_cast<int>(std::ceil(r.cx + ex)));
    int y0 = std::max(1, static_cast<int>(std::floor(r.cy - ey))), y1 = std::min(image.height - 2, static_cast<int>(std::ceil(r.cy + ey)));
    if (x1 < x0 || y1 < y0) return;
    double area = r.length * r.width;
    int step = std::max(1, static_cast<int>(std::ceil(std::sqrt(area / std::max(cap, 1)))));
    int taken = 0;
    for (int y = y0; y <= y1; y += step) {
        for (int x = x0; x <= x1; x += step) {
            double dx = x + 0.5 - r.cx, dy = y + 0.5 - r.cy;
            double t = dx * ux + dy * uy, w = -dx * uy + dy * ux;
            if (std::fabs(t) > hl || std::fabs(w) > hw) continue;
            bool near = false;
            for (const Located& e : edges)
                if (std::fabs(t - e.t) < 3 * e.spread + 3) { near = true; break; }
            if (near) continue;
            double v = 4 * intensity(image, x, y) -
                       2 * (intensity(image, x - 1, y) + intensity(image, x + 1, y) +
                            intensity(image, x, y - 1) + intensity(image, x, y + 1)) +
                       intensity(image, x - 1, y - 1) + intensity(image, x + 1, y - 1) +
                       intensity(image, x - 1, y + 1) + intensity(image, x + 1, y + 1);
            out.push_back(std::fabs(v));
            if (++taken >= cap) return;
        }
    }
}

double noiseFromSamples(std::vector<double>& s) {
    const double quantisation = 1.0 / std::sqrt(12.0);
    if (s.empty()) return quantisation;
    auto mid = s.begin() + static_cast<long>(s.size() / 2);
    std::nth_element(s.begin(), mid, s.end());
    double sigma = *mid / (0.6744897501960817 * 6.0);
    return std::max(sigma, quantisation);
}

double combinedUncertainty(const Located& a, const Located* b, double sigmaProfile) {
    // b's weights count with a minus sign: the width is b - a.
    int first = a.first, last = a.first + static_cast<int>(a.weights.size()) - 1;
    if (b) {
        first = std::min(first, b->first);
        last = std::max(last, b->first + static_cast<int>(b->weights.size()) - 1);
    }
    double sum = 0;
    for (int k = first; k <= last; ++k) {
        double c = 0;
        int ia = k - a.first;
        if (ia >= 0 && ia < static_cast<int>(a.weights.size())) c -= a.weights[static_cast<size_t>(ia)];
        if (b) {
            int ib = k - b->first;
            if (ib >= 0 && ib < static_cast<int>(b->weights.size())) c += b->weights[static_cast<size_t>(ib)];
        }
        sum += c * c;
    }
    return sigmaProfile * std::sqrt(sum);
}

void toEdge(const Profile& pr, const Located& e, double sigmaProfile, qgEdge& out) {
    out.position = e.t;
    out.x = pr.rect.cx + e.t * pr.ux;
    out.y = pr.rect.cy + e.t * pr.uy;
    out.uncertainty = combinedUncertainty(e, nullptr, sigmaProfile);
    out.contrast = e.contrast;
    out.spread = e.spread;
    out.polarity = e.contrast > 0 ? QG_POLARITY_DARK_TO_LIGHT : QG_POLARITY_LIGHT_TO_DARK;
}

}  // namespace qg

namespace {

// Profile, edges and the profile noise of one caliper call.
int32_t runCaliper(const qgImage* image, const qgRect* rect, const qgCaliperParams* params,
                   bool allowAll, qg::Profile& pr, std::vector<qg::Located>& edges,
                   double& sigmaProfile) {
    int32_t rc = qg::checkImage(image);
    if (rc != QG_OK) return rc;
    if (!rect || !params) return QG_ERR_NULL;
    if ((rc = qg::checkCaliper(*params, allowAll)) != QG_OK) return rc;
    if ((rc = qg::checkRect(*image, *rect)) != QG_OK) return rc;
    qg::sampleProfile(*image, *rect, pr);
    qg::locateEdges(pr, *params, edges);
    double noise = params->noise;
    if (noise == 0 && !edges.empty()) {
        std::vector<double> samples;
        qg::collectNoise(*image, *rect, edges, 2048, samples);
        noise = qg::noiseFromSamples(samples);
    }
    sigmaProfile = noise / std::sqrt(static_cast<double>(pr.rows));
    return QG_OK;
}

}  // namespace

extern "C" QG_API int32_t qgEdgeCaliper(const qgImage* image, const qgRect* rect,
                                        const qgCaliperParams* params, qgEdge* edges,
                                        int32_t capacity, int32_t* count) {
    if (!edges || !count) return QG_ERR_NULL;
    if (capacity < 1) return QG_ERR_ARGUMENT;
    try {
        qg::Profile pr;
        std::vector<qg::Located> found;
        double sp = 0;
        int32_t rc = runCaliper(image, rect, params, true, pr, found, sp);
        if (rc != QG_OK) return rc;
        if (found.empty()) {
            *count = 0;
            return QG_NOT_FOUND;
        }
        size_t pick = 0;
        switch (params->select) {
        case QG_SELECT_LAST: pick = found.size() - 1; break;
        case QG_SELECT_STRONGEST:
            for (size_t i = 1; i < found.size(); ++i)
                if (std::fabs(found[i].strength) > std::fabs(found[pick].strength)) pick = i;
            break;
        default: break;
        }
        if (params->select == QG_SELECT_ALL) {
            size_t n = std::min(found.size(), static_cast<size_t>(capacity));
            for (size_t i = 0; i < n; ++i) qg::toEdge(pr, found[i], sp, edges[i]);
            *count = static_cast<int32_t>(std::min<size_t>(found.size(), INT32_MAX));
        } else {
            qg::toEdge(pr, found[pick], sp, edges[0]);
            *count = 1;
        }
        return QG_OK;
    } catch (const std::bad_alloc&) {
        return QG_ERR_MEMORY;
    }
}

extern "C" QG_API int32_t qgEdgePair(const qgImage* image, const qgRect* rect,
                                     const qgCaliperParams* params, qgEdgePairResult* result) {
    if (!result) return QG_ERR_NULL;
    try {
        qg::Profile pr;
        std::vector<qg::Located> found;
        double sp = 0;
        if (!params) return QG_ERR_NULL;
        int32_t rc = qg::checkCaliper(*params, false);
        if (rc != QG_OK) return rc;
        // Every edge is needed to pair them; the pair's own polarity and
        // choice are applied below.
        qgCaliperParams all = *params;
        all.polarity = QG_POLARITY_EITHER;
        all.select = QG_SELECT_ALL;
        rc = runCaliper(image, rect, &all, true, pr, found, sp);
        if (rc != QG_OK) return rc;
        long pick = -1;
        double best = -1;
        for (size_t i = 0; i + 1 < found.size(); ++i) {
            const qg::Located &a = found[i], &b = found[i + 1];
            if (a.contrast * b.contrast >= 0) continue;
            int pol = a.contrast > 0 ? QG_POLARITY_DARK_TO_LIGHT : QG_POLARITY_LIGHT_TO_DARK;
            if (params->polarity != QG_POLARITY_EITHER && params->polarity != pol) continue;
            double strength = std::min(std::fabs(a.strength), std::fabs(b.strength));
            if (params->select == QG_SELECT_FIRST) { pick = static_cast<long>(i); break; }
            if (params->select == QG_SELECT_LAST || strength > best) {
                pick = static_cast<long>(i);
                best = strength;
            }
        }
        if (pick < 0) return QG_NOT_FOUND;
        const qg::Located &a = found[static_cast<size_t>(pick)], &b = found[static_cast<size_t>(pick) + 1];
        qgEdgePairResult r;
        qg::toEdge(pr, a, sp, r.first);
        qg::toEdge(pr, b, sp, r.second);
        r.width = b.t - a.t;
        r.uncertainty = qg::combinedUncertainty(a, &b, sp);
        *result = r;
        return QG_OK;
    } catch (const std::bad_alloc&) {
        return QG_ERR_MEMORY;
    }
}
