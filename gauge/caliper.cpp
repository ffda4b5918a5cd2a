// Edge caliper and edge pair: a rotated rectangle sampled into a profile
// along its axis, edges detected with a Gaussian derivative and located
// where the Gaussian-smoothed profile crosses the middle of its two levels.
#include "internal.h"

#include <algorithm>
#include <cstring>
#include <array>
#include <new>
#include <tuple>

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

// Nearest integer, halves away from zero (as llround, without the call);
// |v| < 2^62.
inline int64_t roundToInt(double v) { return static_cast<int64_t>(v < 0 ? v - 0.5 : v + 0.5); }

// One row of n fixed-point bilinear samples added to acc: positions in
// 32.32 from (fx, fy) in steps of (dx, dy), interpolation weights in 16
// bits, the sums exact in integers (each sample weighs 2^32). Every sample's
// four neighbours lie inside the image.
template <size_t Bpp>
void sampleRow(const uint8_t* base, size_t stride, int64_t fx, int64_t fy, int64_t dx, int64_t dy,
               int n, int64_t* acc) {
    for (int k = 0; k < n; ++k, fx += dx, fy += dy) {
        const size_t x0 = static_cast<size_t>(fx >> 32), y0 = static_cast<size_t>(fy >> 32);
        const int64_t ax = ((fx & 0xffffffff) + 0x8000) >> 16, ay = ((fy & 0xffffffff) + 0x8000) >> 16;
        const uint8_t* p0 = base + y0 * stride + x0 * Bpp;
        const uint8_t* p1 = p0 + stride;
        // a + w (b - a) in place of a (1 - w) + b w: the same integers.
        const int64_t top = (int64_t{p0[0]} << 16) + ax * (p0[Bpp] - p0[0]);
        const int64_t bottom = (int64_t{p1[0]} << 16) + ax * (p1[Bpp] - p1[0]);
        acc[k] += (top << 16) + ay * (bottom - top);
    }
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

// Level of a plateau: the mean of the two thirds of its samples nearest
// their median, so that a speck or a weak neighbouring edge in the window
// does not move it. Samples in a `skip` stretch are left out unless fewer
// than two would remain. Fills `used` with the indices averaged.
double plateauLevel(const std::vector<double>& p, int from, int to, const std::vector<Stretch>* skip,
                    std::vector<int>& used) {
    used.clear();
    int idx[64];
    double val[64], v[64], d[64];
    int count = 0;
    for (int k = from; k <= to && count < 64; ++k) {
        bool out = false;
        if (skip)
            for (const Stretch& st : *skip)
                if (k >= st.from && k <= st.to) { out = true; break; }
        if (!out) {
            idx[count] = k;
            val[count++] = p[static_cast<size_t>(k)];
        }
    }
    if (skip && count < 2 && to - from + 1 > count) return plateauLevel(p, from, to, nullptr, used);
    if (count < 4) {
        double s = 0;
        for (int i = 0; i < count; ++i) { s += val[i]; used.push_back(idx[i]); }
        return s / count;
    }
    std::copy(val, val + count, v);
    std::nth_element(v, v + count / 2, v + count);
    // An even count's median is the middle of its two central values: the
    // upper one alone would lift both levels by a fraction of the noise, and
    // with them the middle level, moving every edge towards its light side.
    const double med = count % 2 ? v[count / 2] : 0.5 * (v[count / 2] + *std::max_element(v, v + count / 2));
    for (int i = 0; i < count; ++i) d[i] = std::fabs(val[i] - med);
    const int keep = (2 * count + 2) / 3;
    std::copy(d, d + count, v);
    std::nth_element(v, v + keep - 1, v + count);
    const double limit = v[keep - 1];
    // Everything strictly nearer than the limit, then ties in axis order.
    double s = 0;
    for (int i = 0; i < count; ++i)
        if (d[i] < limit) { s += val[i]; used.push_back(idx[i]); }
    for (int i = 0; i < count && static_cast<int>(used.size()) < keep; ++i)
        if (d[i] == limit) { s += val[i]; used.push_back(idx[i]); }
    return s / static_cast<double>(used.size());
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
    // Far enough from the border, the four neighbours of every sample exist:
    // interpolate without clamping.
    double xmin = 1e300, xmax = -1e300, ymin = 1e300, ymax = -1e300;
    for (int j : {0, pr.rows - 1})
        for (int k : {0, n - 1}) {
            double x = r.cx + (pr.tFirst + k) * pr.ux + (wFirst + j) * vx;
            double y = r.cy + (pr.tFirst + k) * pr.uy + (wFirst + j) * vy;
            xmin = std::min(xmin, x); xmax = std::max(xmax, x);
            ymin = std::min(ymin, y); ymax = std::max(ymax, y);
        }
    // The margin holds the fixed-point stepping's rounding (below 2^-32 a
    // step).
    const double margin = 1e-6 + n * 2.4e-10;
    const bool interior = xmin >= 0.5 + margin && ymin >= 0.5 + margin &&
                          xmax < image.width - 0.5 - margin && ymax < image.height - 0.5 - margin;
    const size_t bpp = static_cast<size_t>(image.bytesPerPixel), stride = static_cast<size_t>(image.stride);
    const uint8_t* base = image.pixels + (bpp == 1 ? 0 : 2);
    pr.sums.assign(interior ? static_cast<size_t>(n) : 0, 0);
    int64_t* acc = pr.sums.data();
    double w2 = 0;
    for (int j = 0; j < pr.rows; ++j) {
        const double w = wFirst + j;
        w2 += w * w;
        double x = r.cx + pr.tFirst * pr.ux + w * vx;
        double y = r.cy + pr.tFirst * pr.uy + w * vy;
        double* out = pr.values.data();
        if (interior) {
            // Fixed point: positions in 32.32, interpolation weights in 16
            // bits, the row sums exact in integers. Samples on pixel centres
            // (axis-aligned rectangles) still read the pixels exactly.
            constexpr double kOne = 4294967296.0;
            const int64_t fx = roundToInt((x - 0.5) * kOne), fy = roundToInt((y - 0.5) * kOne);
            const int64_t dx = roundToInt(pr.ux * kOne), dy = roundToInt(pr.uy * kOne);
            switch (bpp) {
            case 1: sampleRow<1>(base, stride, fx, fy, dx, dy, n, acc); break;
            case 3: sampleRow<3>(base, stride, fx, fy, dx, dy, n, acc); break;
            default: sampleRow<4>(base, stride, fx, fy, dx, dy, n, acc); break;
            }
        } else {
            for (int k = 0; k < n; ++k) out[k] += bilinear(image, x + k * pr.ux, y + k * pr.uy);
        }
    }
    pr.meanW2 = w2 / pr.rows;
    const double inv = 1.0 / pr.rows;
    if (interior) {
        const double scale = inv / 4294967296.0;
        for (int k = 0; k < n; ++k) pr.values[static_cast<size_t>(k)] = static_cast<double>(acc[static_cast<size_t>(k)]) * scale;
    } else {
        for (double& v : pr.values) v *= inv;
    }
}

namespace {

// The detector's response along the profile: a derivative of Gaussian of
// sigma s, scaled so that a unit ramp gives 1; times sqrt(2 pi) s a sharp
// step of contrast C peaks at C.
std::vector<double> edgeStrength(const std::vector<double>& p, double s) {
    const int n = static_cast<int>(p.size());
    const int R = static_cast<int>(std::ceil(4 * s));
    std::array<double, 161> kernel;  // sigma <= 20: R <= 80
    double norm = 0;
    kernel[static_cast<size_t>(R)] = 0;
    for (int j = 1; j <= R; ++j) {
        double v = j * std::exp(-0.5 * j * j / (s * s));
        kernel[static_cast<size_t>(R + j)] = v;
        kernel[static_cast<size_t>(R - j)] = -v;
        norm += 2 * j * v;
    }
    const double scale = kSqrt2Pi * s / norm;
    std::vector<double> strength(static_cast<size_t>(n));
    for (int k = 0; k < n; ++k) {
        double acc = 0;
        if (k >= R && k + R < n) {
            // The kernel is odd: one product a pair of samples.
            const double* q = p.data() + k;
            const double* kr = kernel.data() + R;
            for (int j = 1; j <= R; ++j) acc += kr[j] * (q[j] - q[-j]);
        } else {
            for (int j = -R; j <= R; ++j)
                acc += kernel[static_cast<size_t>(j + R)] * p[static_cast<size_t>(std::clamp(k + j, 0, n - 1))];
        }
        strength[static_cast<size_t>(k)] = acc * scale;
    }
    return strength;
}

// Extrema of the strength at or above the threshold, of either polarity:
// they bound each other's windows.
std::vector<int> strengthPeaks(const std::vector<double>& strength, double threshold) {
    const int n = static_cast<int>(strength.size());
    std::vector<int> peaks;
    for (int k = 1; k < n - 1; ++k) {
        double a = std::fabs(strength[k]);
        if (a < threshold || a == 0) continue;
        if (a >= std::fabs(strength[k - 1]) && a > std::fabs(strength[k + 1]) &&
            (strength[k - 1] * strength[k] >= 0 || std::fabs(strength[k - 1]) < a))
            peaks.push_back(k);
    }
    return peaks;
}

// One edge being located: its peak k0 of strength sk within its stretch
// lo .. hi of the profile (halfway to the neighbouring peaks), its levels
// before (a) and after (b), its blur, and the plateau windows the levels
// were taken from.
struct EdgeFit {
    int k0, lo, hi;
    double sk;
    double a = 0, b = 0, spread = 1.0;
    int aFrom = 0, aTo = 0, bFrom = 0, bTo = 0;
};

// Levels on either side, then the blur from the peak height; again if the
// plateau windows, which depend on the blur, change. The first windows
// follow the blur the peak's width tells: the detector responds to a
// blurred step with a Gaussian of variance s^2 + blur^2, whose logarithm's
// second difference is -1 / variance. aUsed and bUsed receive the samples
// each level averaged.
void measureLevels(const std::vector<double>& p, const std::vector<double>& strength, double s,
                   const std::vector<Stretch>* skip, EdgeFit& f, std::vector<int>& aUsed,
                   std::vector<int>& bUsed) {
    const int k0 = f.k0;
    // Peak height between samples (parabola through three strengths).
    double s0 = std::fabs(strength[k0 - 1]), s1 = std::fabs(f.sk), s2 = std::fabs(strength[k0 + 1]);
    double den = s0 - 2 * s1 + s2;
    double peak = s1;
    if (den < 0) {
        double d = 0.5 * (s0 - s2) / den;
        peak = s1 - 0.25 * (s0 - s2) * d;
    }
    if (s0 > 0 && s2 > 0) {
        const double curvature = 2 * std::log(s1) - std::log(s0) - std::log(s2);
        if (curvature > 0) f.spread = std::sqrt(std::clamp(1 / curvature - s * s, 0.25, 100.0));
    }
    f.aFrom = f.aTo = f.lo;
    f.bFrom = f.bTo = f.hi;
    int lastH1 = -1;
    for (int pass = 0; pass < 2; ++pass) {
        int h1 = static_cast<int>(std::ceil(3 * f.spread)) + 1;
        if (h1 == lastH1) break;  // the same windows again
        lastH1 = h1;
        int h2 = h1 + 20;
        f.aTo = std::max(f.lo, k0 - h1);
        f.aFrom = std::max(f.lo, k0 - h2);
        f.bFrom = std::min(f.hi, k0 + h1);
        f.bTo = std::min(f.hi, k0 + h2);
        f.a = plateauLevel(p, f.aFrom, f.aTo, skip, aUsed);
        f.b = plateauLevel(p, f.bFrom, f.bTo, skip, bUsed);
        double c = std::fabs(f.b - f.a);
        double ratio = peak > 0 ? c * s / peak : 0;
        double s2e = ratio * ratio - s * s;
        f.spread = std::sqrt(std::clamp(s2e, 0.25, 100.0));
    }
}

// The profile smoothed with Gaussian weights of sigma w over qlo .. qhi,
// less the middle level mid.
struct Smoothed {
    const std::vector<double>& p;
    int qlo, qhi;
    double w, mid;
    double offset(double x, double& slope) const {
        double value;
        smoothed(p, qlo, qhi, x, w, value, slope);
        return value - mid;
    }
};

// Where the smoothed profile crosses the middle level, with its slope
// there: bracketed, then regula falsi (Illinois). The crossing stays inside
// the edge's own stretch of the profile (halfway to its neighbours), so
// edges keep their axis order. False when there is none, when it lies
// beyond the profile's ends (not an edge under the rectangle) or when the
// profile is flat there.
bool findCrossing(const Smoothed& sm, const EdgeFit& f, double& x, double& slope) {
    const int n = static_cast<int>(sm.p.size());
    double xa = std::max(f.k0 - 1.5, double(f.lo)), xb = std::min(f.k0 + 1.5, double(f.hi));
    double fa = sm.offset(xa, slope), fb = sm.offset(xb, slope);
    if (fa * fb > 0) {
        xa = std::max(f.k0 - 3.0, double(f.lo));
        xb = std::min(f.k0 + 3.0, double(f.hi));
        fa = sm.offset(xa, slope);
        fb = sm.offset(xb, slope);
        if (fa * fb > 0) return false;
    }
    // Newton steps from the secant point, kept inside the bracket
    // (bisection when a step would leave it).
    x = (fa * xb - fb * xa) / (fa - fb);
    bool settled = false;  // slope belongs to x
    for (int it = 0; it < 60; ++it) {
        const double fx = sm.offset(x, slope);
        if (std::fabs(fx) < 1e-10 * (std::fabs(f.b - f.a) + 1) || std::fabs(xb - xa) < 1e-9) {
            settled = true;
            break;
        }
        if (fx * fb > 0) { xb = x; fb = fx; } else { xa = x; fa = fx; }
        double next = slope != 0 ? x - fx / slope : xa;
        if (!(next > std::min(xa, xb) && next < std::max(xa, xb))) next = 0.5 * (xa + xb);
        x = next;
    }
    if (!(x >= 0 && x <= n - 1)) return false;
    if (!settled) sm.offset(x, slope);
    return slope != 0 && finite(slope);
}

// Linear weights of the position x on the profile samples:
// dx = (dq(x) - dmid) / q'(x).
void positionWeights(const Smoothed& sm, const EdgeFit& f, double x, double slope,
                     const std::vector<int>& aUsed, const std::vector<int>& bUsed, Located& e) {
    const int qlo = sm.qlo, qhi = sm.qhi;
    e.first = std::min(f.aFrom, qlo);
    const int last = std::max(f.bTo, qhi);
    e.weights.assign(static_cast<size_t>(last - e.first + 1), 0.0);
    // Gaussian weights by the same recurrence as in smoothed() (spread
    // <= 10, so at most 81 of them).
    std::array<double, 96> g;
    double sg = 0;
    {
        const double inv = 1.0 / (sm.w * sm.w), d = qlo - x, b2 = std::exp(-inv);
        double gk = std::exp(-0.5 * d * d * inv), ak = std::exp(-(d + 0.5) * inv);
        for (int k = qlo; k <= qhi; ++k) {
            g[static_cast<size_t>(k - qlo)] = gk;
            sg += gk;
            gk *= ak;
            ak *= b2;
        }
    }
    for (int k = qlo; k <= qhi; ++k)
        e.weights[static_cast<size_t>(k - e.first)] += g[static_cast<size_t>(k - qlo)] / sg / slope;
    for (int k : aUsed)
        e.weights[static_cast<size_t>(k - e.first)] -= 0.5 / static_cast<double>(aUsed.size()) / slope;
    for (int k : bUsed)
        e.weights[static_cast<size_t>(k - e.first)] -= 0.5 / static_cast<double>(bUsed.size()) / slope;
}

}  // namespace

void locateEdges(const Profile& pr, const qgCaliperParams& params, std::vector<Located>& out,
                 const std::vector<Stretch>* skip) {
    out.clear();
    const std::vector<double>& p = pr.values;
    const int n = static_cast<int>(p.size());
    if (n < 3) return;
    const double s = params.sigma;
    const std::vector<double> strength = edgeStrength(p, s);
    const std::vector<int> peaks = strengthPeaks(strength, params.threshold);
    std::vector<int> aUsed, bUsed;
    aUsed.reserve(64);
    bUsed.reserve(64);
    for (size_t i = 0; i < peaks.size(); ++i) {
        EdgeFit f;
        f.k0 = peaks[i];
        f.sk = strength[static_cast<size_t>(f.k0)];
        const int pol = f.sk > 0 ? QG_POLARITY_DARK_TO_LIGHT : QG_POLARITY_LIGHT_TO_DARK;
        if (params.polarity != QG_POLARITY_EITHER && params.polarity != pol) continue;
        f.lo = i == 0 ? 0 : (peaks[i - 1] + f.k0 + 1) / 2;
        f.hi = i + 1 == peaks.size() ? n - 1 : (f.k0 + peaks[i + 1]) / 2;
        if (f.k0 - f.lo < 1 || f.hi - f.k0 < 1) continue;
        measureLevels(p, strength, s, skip, f, aUsed, bUsed);
        if ((f.b - f.a) * f.sk <= 0) continue;
        const double w = std::max(f.spread, 0.5);
        const int Hq = static_cast<int>(std::ceil(4 * w));
        const Smoothed sm{p, std::max(f.lo, f.k0 - Hq), std::min(f.hi, f.k0 + Hq), w, 0.5 * (f.a + f.b)};
        double x, slope;
        if (!findCrossing(sm, f, x, slope)) continue;
        Located e;
        positionWeights(sm, f, x, slope, aUsed, bUsed, e);
        e.t = pr.tFirst + x;
        e.contrast = f.b - f.a;
        e.spread = f.spread;
        e.strength = f.sk;
        out.push_back(std::move(e));
    }
}

void collectNoise(const qgImage& image, const qgRect& r, const std::vector<Located>& edges,
                  int cap, std::vector<double>& out) {
    // The pixels nearest to a coarse grid over the rectangle, `step` pixels
    // apart along and across, away from the edges and the image border.
    const double ux = std::cos(r.angle), uy = std::sin(r.angle);
    const double hl = r.length / 2, hw = r.width / 2;
    const int step = std::max(1, static_cast<int>(std::ceil(std::sqrt(r.length * r.width / std::max(cap, 1)))));
    int taken = 0;
    for (double w = -hw; w <= hw; w += step) {
        for (double t = -hl; t <= hl; t += step) {
            bool near = false;
            for (const Located& e : edges)
                if (std::fabs(t - e.t) < 3 * e.spread + 3) { near = true; break; }
            if (near) continue;
            const int x = static_cast<int>(std::floor(r.cx + t * ux - w * uy));
            const int y = static_cast<int>(std::floor(r.cy + t * uy + w * ux));
            if (x < 1 || y < 1 || x > image.width - 2 || y > image.height - 2) continue;
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

// The pixels the profile samples lo..hi read (each sample is the mean over
// rows of bilinear reads of four pixels) that lie inside the image and
// under the rectangle: their
// indices, their centres' axis positions in profile steps (t) and offsets
// across the axis (w).
struct PixelSet {
    std::vector<double> t, w;
    std::vector<int> x, y;
};

PixelSet profilePixels(const qgImage& image, const Profile& pr, int lo, int hi) {
    std::vector<int64_t> keys;
    keys.reserve(static_cast<size_t>(hi - lo + 1) * static_cast<size_t>(pr.rows) * 4);
    const double vx = -pr.uy, vy = pr.ux, wFirst = -0.5 * (pr.rows - 1);
    constexpr int64_t kRow = int64_t{1} << 22, kBias = int64_t{1} << 20;
    for (int j = 0; j < pr.rows; ++j)
        for (int k = lo; k <= hi; ++k) {
            const double x = pr.rect.cx + (pr.tFirst + k) * pr.ux + (wFirst + j) * vx - 0.5;
            const double y = pr.rect.cy + (pr.tFirst + k) * pr.uy + (wFirst + j) * vy - 0.5;
            const double fx = std::floor(x), fy = std::floor(y), ax = x - fx, ay = y - fy;
            const int64_t key = (static_cast<int64_t>(fy) + kBias) * kRow + static_cast<int64_t>(fx) + kBias;
            // Pixels of zero weight were not read.
            keys.push_back(key);
            if (ax > 0) keys.push_back(key + 1);
            if (ay > 0) keys.push_back(key + kRow);
            if (ax > 0 && ay > 0) keys.push_back(key + kRow + 1);
        }
    std::sort(keys.begin(), keys.end());
    keys.erase(std::unique(keys.begin(), keys.end()), keys.end());
    PixelSet out;
    for (int64_t key : keys) {
        const int x = static_cast<int>(key % kRow - kBias), y = static_cast<int>(key / kRow - kBias);
        if (x < 0 || y < 0 || x >= image.width || y >= image.height) continue;
        const double dx = x + 0.5 - pr.rect.cx, dy = y + 0.5 - pr.rect.cy;
        const double t = dx * pr.ux + dy * pr.uy, w = -dx * pr.uy + dy * pr.ux;
        // Only pixels whose centres lie under the rectangle (the user drew
        // it to keep out what lies beside it).
        if (std::fabs(t) > 0.5 * pr.rect.length || std::fabs(w) > 0.5 * pr.rect.width) continue;
        out.t.push_back(t - pr.tFirst);
        out.w.push_back(w);
        out.x.push_back(x);
        out.y.push_back(y);
    }
    return out;
}

// A unit step at 0 blurred by a Gaussian of sigma s and averaged over one
// pixel (the sample at x integrates [x - 1/2, x + 1/2], as a pixel
// integrates its area), with its derivatives by x and by s.
struct BoxedStep {
    double value, dx, ds;
};
inline BoxedStep boxedStep(double x, double s) {
    // Beyond 8.5 sigmas the step is flat to double precision.
    if (x - 0.5 > 8.5 * s) return {1, 0, 0};
    if (x + 0.5 < -8.5 * s) return {0, 0, 0};
    const double zp = (x + 0.5) / s, zm = (x - 0.5) / s;
    const double Pp = 0.5 * std::erfc(-zp / M_SQRT2), Pm = 0.5 * std::erfc(-zm / M_SQRT2);
    const double fp = std::exp(-0.5 * zp * zp) / kSqrt2Pi, fm = std::exp(-0.5 * zm * zm) / kSqrt2Pi;
    // s (G(z+) - G(z-)) with G(z) = z Phi(z) + phi(z), the integral of Phi.
    return {s * (zp * Pp + fp - zm * Pm - fm), Pp - Pm, fp - fm};
}

namespace {

constexpr int kPairParams = 7;  // levels 3, positions 2, blur, tilt

// The pixels behind a pair's fit, with their values; tilt: they lie far
// enough across the axis to tell the edges' tilt (one row on pixel centres
// tells nothing of it, and it stays 0).
struct PairPixels {
    PixelSet reads;
    std::vector<double> val;
    bool tilt;
};

PairPixels pairPixels(const qgImage& image, const Profile& pr, int lo, int hi) {
    PairPixels d{profilePixels(image, pr, lo, hi), {}, false};
    const size_t np = d.reads.t.size();
    d.val.resize(np);
    double w2 = 0;
    for (size_t q = 0; q < np; ++q) {
        d.val[q] = intensity(image, d.reads.x[q], d.reads.y[q]);
        w2 += d.reads.w[q] * d.reads.w[q];
    }
    d.tilt = w2 > 0.05 * static_cast<double>(np);
    return d;
}

// The bar's value at pixel q for parameters t, and its derivatives by them
// in J when J is given.
inline double pairModel(const PairPixels& d, const double* t, size_t q, double* J) {
    const PixelSet& reads = d.reads;
    const double shift = reads.w[q] * t[6];
    const BoxedStep a = boxedStep(reads.t[q] - t[3] - shift, t[5]), b = boxedStep(reads.t[q] - t[4] - shift, t[5]);
    const double c1 = t[1] - t[0], c2 = t[2] - t[1];
    if (J) {
        J[0] = 1 - a.value; J[1] = a.value - b.value; J[2] = b.value;
        J[3] = -c1 * a.dx; J[4] = -c2 * b.dx;
        J[5] = c1 * a.ds + c2 * b.ds;
        J[6] = d.tilt ? -reads.w[q] * (c1 * a.dx + c2 * b.dx) : 0.0;
    }
    return t[0] + c1 * a.value + c2 * b.value;
}

struct Normal {
    double cost, JtJ[kPairParams][kPairParams], Jtr[kPairParams];
};

// Cost and normal equations in one pass (the steps are what cost).
void pairNormal(const PairPixels& d, const double* t, Normal& nm) {
    constexpr int P = kPairParams;
    std::memset(&nm, 0, sizeof nm);
    double J[P];
    for (size_t q = 0; q < d.val.size(); ++q) {
        const double r = d.val[q] - pairModel(d, t, q, J);
        nm.cost += r * r;
        for (int a = 0; a < P; ++a) {
            nm.Jtr[a] += J[a] * r;
            for (int b = 0; b < P; ++b) nm.JtJ[a][b] += J[a] * J[b];
        }
    }
    if (!d.tilt) nm.JtJ[6][6] = 1;
}

// Gauss-Jordan on a P x P system: A x = b, or with column >= 0 that column
// of A's inverse. False when singular.
bool solvePair(const double (&A)[kPairParams][kPairParams], const double* b, double* x, int column) {
    constexpr int P = kPairParams;
    double M[P][P + 1];
    for (int i = 0; i < P; ++i) {
        for (int j = 0; j < P; ++j) M[i][j] = A[i][j];
        M[i][P] = column < 0 ? b[i] : (i == column ? 1.0 : 0.0);
    }
    for (int c = 0; c < P; ++c) {
        int piv = c;
        for (int i = c + 1; i < P; ++i)
            if (std::fabs(M[i][c]) > std::fabs(M[piv][c])) piv = i;
        if (!(std::fabs(M[piv][c]) > 1e-300)) return false;
        for (int j = 0; j <= P; ++j) std::swap(M[c][j], M[piv][j]);
        for (int i = 0; i < P; ++i) {
            if (i == c) continue;
            double f = M[i][c] / M[c][c];
            for (int j = c; j <= P; ++j) M[i][j] -= f * M[c][j];
        }
    }
    for (int i = 0; i < P; ++i) x[i] = M[i][P] / M[i][i];
    return true;
}

// Levenberg-Marquardt from th, which receives the fit; cur its normal
// equations. False when a step's system is singular.
bool fitPair(const PairPixels& d, double (&th)[kPairParams], Normal& cur) {
    constexpr int P = kPairParams;
    Normal next;
    pairNormal(d, th, cur);
    double lambda = 1e-3;
    for (int it = 0; it < 40; ++it) {
        double A[P][P], step[P], trial[P];
        for (int a = 0; a < P; ++a)
            for (int b = 0; b < P; ++b) A[a][b] = cur.JtJ[a][b] + (a == b ? lambda * cur.JtJ[a][a] : 0);
        if (!solvePair(A, cur.Jtr, step, -1)) return false;
        for (int a = 0; a < P; ++a) trial[a] = th[a] + step[a];
        if (!(trial[5] > 0.2) || !(std::fabs(trial[6]) < 0.5)) { lambda *= 10; continue; }
        pairNormal(d, trial, next);
        if (next.cost <= cur.cost) {
            std::memcpy(th, trial, sizeof th);
            // Settled: the cost no longer falls, or the edges move by less
            // than a millionth of a pixel.
            bool done = cur.cost - next.cost <= 1e-12 * (cur.cost + 1e-12) ||
                        std::max(std::fabs(step[3]), std::fabs(step[4])) < 1e-6;
            cur = next;
            lambda = std::max(lambda / 10, 1e-9);
            if (done) break;
        } else {
            lambda *= 10;
            if (lambda > 1e8) break;
        }
    }
    return true;
}

}  // namespace

// A pair of edges refined together: least squares of the pixels behind the
// profile between lo and hi against a bar of two parallel blurred edges,
// three levels, a common blur and the edges' tilt against the axis
// (Levenberg-Marquardt). Narrow bars leave too little plateau between their
// edges for each edge to find its own middle level; the joint model shares
// it. Fitting the pixels, not the profile, keeps what averaging across a
// tilted edge would smear. False when the fit does not settle near the
// single-edge positions.
bool refinePair(const qgImage& image, const Profile& pr, const Located& e1, const Located& e2, int lo,
                int hi, double sigmaProfile, double& x1, double& x2, double& u1, double& u2, double& uw) {
    constexpr int P = kPairParams;
    const std::vector<double>& p = pr.values;
    const double i1 = e1.t - pr.tFirst, i2 = e2.t - pr.tFirst;
    if (hi - lo < 8) return false;
    double th[P] = {p[static_cast<size_t>(lo)], p[static_cast<size_t>(std::lround(0.5 * (i1 + i2)))],
                    p[static_cast<size_t>(hi)], i1, i2, std::max(0.5, 0.5 * (e1.spread + e2.spread)), 0.0};
    const PairPixels d = pairPixels(image, pr, lo, hi);
    Normal cur;
    if (!fitPair(d, th, cur)) return false;
    if (!(std::fabs(th[3] - i1) < 1.5 && std::fabs(th[4] - i2) < 1.5 && th[5] < 10 && th[3] < th[4]))
        return false;
    double c3[P], c4[P];
    if (!solvePair(cur.JtJ, nullptr, c3, 3) || !solvePair(cur.JtJ, nullptr, c4, 4)) return false;
    // Pixel noise: the profile's times the square root of its rows.
    const double v2 = sigmaProfile * sigmaProfile * pr.rows;
    x1 = pr.tFirst + th[3];
    x2 = pr.tFirst + th[4];
    u1 = std::sqrt(std::max(c3[3], 0.0) * v2);
    u2 = std::sqrt(std::max(c4[4], 0.0) * v2);
    uw = std::sqrt(std::max(c3[3] + c4[4] - 2 * c3[4], 0.0) * v2);
    return std::isfinite(uw);
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
        qg::collectNoise(*image, *rect, edges, 512, samples);
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
        if (!(found[static_cast<size_t>(pick) + 1].t > found[static_cast<size_t>(pick)].t)) return QG_NOT_FOUND;
        const qg::Located &a = found[static_cast<size_t>(pick)], &b = found[static_cast<size_t>(pick) + 1];
        qgEdgePairResult r;
        qg::toEdge(pr, a, sp, r.first);
        qg::toEdge(pr, b, sp, r.second);
        r.width = b.t - a.t;
        r.uncertainty = qg::combinedUncertainty(a, &b, sp);
        // The fit spans the pair and the plateaus outside it, up to halfway
        // to the neighbouring edges.
        const int n = static_cast<int>(pr.values.size());
        const size_t ia = static_cast<size_t>(pick);
        int lo = std::max(0, static_cast<int>(std::floor(a.t - pr.tFirst)) - 14);
        int hi = std::min(n - 1, static_cast<int>(std::ceil(b.t - pr.tFirst)) + 14);
        if (ia > 0) lo = std::max(lo, static_cast<int>(std::ceil(0.5 * (found[ia - 1].t + a.t) - pr.tFirst)));
        if (ia + 2 < found.size())
            hi = std::min(hi, static_cast<int>(std::floor(0.5 * (b.t + found[ia + 2].t) - pr.tFirst)));
        double x1, x2, u1, u2, uw;
        if (qg::refinePair(*image, pr, a, b, lo, hi, sp, x1, x2, u1, u2, uw)) {
            for (auto [e, x, u] : {std::tuple{&r.first, x1, u1}, std::tuple{&r.second, x2, u2}}) {
                e->position = x;
                e->x = pr.rect.cx + x * pr.ux;
                e->y = pr.rect.cy + x * pr.uy;
                e->uncertainty = u;
            }
            r.width = x2 - x1;
            r.uncertainty = uw;
        }
        *result = r;
        return QG_OK;
    } catch (const std::bad_alloc&) {
        return QG_ERR_MEMORY;
    }
}
