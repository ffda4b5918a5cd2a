// Robust fits to edge points: total least squares lines and geometric
// circles, reweighted with Tukey's biweight, with M-estimator covariances.
#include "internal.h"

#include <algorithm>
#include <limits>
#include <new>

namespace qg {

namespace {

constexpr double kInf = std::numeric_limits<double>::infinity();

// Coordinates are bounded (|x|, |y| <= 1e9), so the plain formula neither
// overflows nor loses precision that matters.
inline double dist(double dx, double dy) { return std::sqrt(dx * dx + dy * dy); }

double median(std::vector<double> v) {
    if (v.empty()) return 0;
    auto mid = v.begin() + static_cast<long>(v.size() / 2);
    std::nth_element(v.begin(), mid, v.end());
    return *mid;
}

// Tukey's biweight from residuals; returns the largest weight change.
double reweight(const std::vector<double>& r, const qgFitParams& fit, std::vector<double>& w) {
    std::vector<double> a(r.size());
    for (size_t i = 0; i < r.size(); ++i) a[i] = std::fabs(r[i]);
    double scale = std::max(1.4826 * median(a), fit.minScale);
    double c = fit.tuning * scale, change = 0;
    for (size_t i = 0; i < r.size(); ++i) {
        double u = r[i] / c;
        double nw = std::fabs(u) < 1 ? (1 - u * u) * (1 - u * u) : 0.0;
        change = std::max(change, std::fabs(nw - w[i]));
        w[i] = nw;
    }
    return change;
}

// Huber's covariance of an M-estimate: kappa^2 * (Sum psi^2 / (m - p)) /
// (mean psi')^2 * (X'X)^-1 over the inliers. Returns the variance factor
// (to multiply (X'X)^-1), or +inf without redundant points.
double varianceFactor(const std::vector<double>& r, const std::vector<double>& w,
                      const qgFitParams& fit, int p, int& inliers, double& rms) {
    std::vector<double> a(r.size());
    for (size_t i = 0; i < r.size(); ++i) a[i] = std::fabs(r[i]);
    double scale = std::max(1.4826 * median(a), fit.minScale);
    double c = fit.tuning * scale;
    double spsi2 = 0, spsid = 0, spsid2 = 0, sr2 = 0;
    int m = 0;
    for (size_t i = 0; i < r.size(); ++i) {
        if (w[i] <= 0) continue;
        ++m;
        sr2 += r[i] * r[i];
        double psi, dpsi;
        if (fit.robust) {
            double u = r[i] / c;
            psi = r[i] * (1 - u * u) * (1 - u * u);
            dpsi = (1 - u * u) * (1 - 5 * u * u);
        } else {
            psi = r[i];
            dpsi = 1;
        }
        spsi2 += psi * psi;
        spsid += dpsi;
        spsid2 += dpsi * dpsi;
    }
    inliers = m;
    rms = m > 0 ? std::sqrt(sr2 / m) : 0;
    if (m <= p) return kInf;
    double mean = spsid / m;
    if (mean <= 0) return kInf;
    double var = spsid2 / m - mean * mean;
    double kappa = 1 + static_cast<double>(p) / m * std::max(var, 0.0) / (mean * mean);
    return kappa * kappa * (spsi2 / (m - p)) / (mean * mean);
}

// Solves the symmetric 3 x 3 system A x = b; false when singular.
bool solve3(const double A[3][3], const double b[3], double x[3]) {
    double det = A[0][0] * (A[1][1] * A[2][2] - A[1][2] * A[2][1]) -
                 A[0][1] * (A[1][0] * A[2][2] - A[1][2] * A[2][0]) +
                 A[0][2] * (A[1][0] * A[2][1] - A[1][1] * A[2][0]);
    double scale = std::fabs(A[0][0] * A[1][1] * A[2][2]) + 1e-300;
    if (!std::isfinite(det) || std::fabs(det) < 1e-14 * scale) return false;
    for (int k = 0; k < 3; ++k) {
        double M[3][3];
        for (int i = 0; i < 3; ++i)
            for (int j = 0; j < 3; ++j) M[i][j] = j == k ? b[i] : A[i][j];
        x[k] = (M[0][0] * (M[1][1] * M[2][2] - M[1][2] * M[2][1]) -
                M[0][1] * (M[1][0] * M[2][2] - M[1][2] * M[2][0]) +
                M[0][2] * (M[1][0] * M[2][1] - M[1][1] * M[2][0])) / det;
    }
    return true;
}

int32_t checkPoints(const qgPoint* points, int32_t count, int32_t minimum) {
    if (!points) return QG_ERR_NULL;
    if (count > QG_MAX_POINTS) return QG_ERR_TOO_LARGE;
    if (count < minimum) return QG_ERR_TOO_FEW;
    for (int32_t i = 0; i < count; ++i)
        if (!finite(points[i].x) || !finite(points[i].y) || std::fabs(points[i].x) > 1e9 ||
            std::fabs(points[i].y) > 1e9)
            return QG_ERR_ARGUMENT;
    return QG_OK;
}

// Weighted algebraic (Kasa) circle in coordinates centred and scaled for
// conditioning.
bool algebraicCircle(const std::vector<qgPoint>& p, const std::vector<double>& w, qgCircle& c) {
    double sw = 0, mx = 0, my = 0;
    for (size_t i = 0; i < p.size(); ++i) { sw += w[i]; mx += w[i] * p[i].x; my += w[i] * p[i].y; }
    if (sw <= 0) return false;
    mx /= sw; my /= sw;
    double s = 0;
    for (size_t i = 0; i < p.size(); ++i)
        s += w[i] * ((p[i].x - mx) * (p[i].x - mx) + (p[i].y - my) * (p[i].y - my));
    s = std::sqrt(s / sw);
    if (!(s > 0)) return false;
    double A[3][3] = {}, b[3] = {};
    for (size_t i = 0; i < p.size(); ++i) {
        double x = (p[i].x - mx) / s, y = (p[i].y - my) / s, z = x * x + y * y;
        double row[3] = {x, y, 1};
        for (int r = 0; r < 3; ++r) {
            for (int k = 0; k < 3; ++k) A[r][k] += w[i] * row[r] * row[k];
            b[r] -= w[i] * row[r] * z;
        }
    }
    double sol[3];
    if (!solve3(A, b, sol)) return false;
    double cx = -sol[0] / 2, cy = -sol[1] / 2, r2 = cx * cx + cy * cy - sol[2];
    if (!(r2 > 0) || r2 > 1e12) return false;
    c.cx = mx + cx * s;
    c.cy = my + cy * s;
    c.r = std::sqrt(r2) * s;
    return true;
}

// Weighted geometric least squares from c, Gauss-Newton.
bool geometricCircle(const std::vector<qgPoint>& p, const std::vector<double>& w, qgCircle& c,
                     int steps = 50) {
    for (int it = 0; it < steps; ++it) {
        double A[3][3] = {}, b[3] = {};
        for (size_t i = 0; i < p.size(); ++i) {
            if (w[i] <= 0) continue;
            double dx = p[i].x - c.cx, dy = p[i].y - c.cy, d = dist(dx, dy);
            if (d == 0) continue;
            double row[3] = {dx / d, dy / d, 1}, r = d - c.r;
            for (int a = 0; a < 3; ++a) {
                for (int k = 0; k < 3; ++k) A[a][k] += w[i] * row[a] * row[k];
                b[a] += w[i] * row[a] * r;
            }
        }
        double step[3];
        if (!solve3(A, b, step)) return false;
        c.cx += step[0];
        c.cy += step[1];
        c.r += step[2];
        if (!finite(c.cx) || !finite(c.cy) || !finite(c.r) || c.r > 1e12) return false;
        if (std::fabs(step[0]) + std::fabs(step[1]) + std::fabs(step[2]) < 1e-12 * (1 + std::fabs(c.r)))
            break;
    }
    if (c.r < 0) c.r = -c.r;
    return c.r > 0;
}

}  // namespace

int32_t resolveFit(const qgFitParams* in, qgFitParams& out) {
    out.robust = 1;
    out.tuning = 4.685;
    out.minScale = 0.01;
    if (!in) return QG_OK;
    if (in->robust != 0 && in->robust != 1) return QG_ERR_ARGUMENT;
    if (!finite(in->tuning) || (in->tuning != 0 && in->tuning < 1) || in->tuning > 1e6)
        return QG_ERR_ARGUMENT;
    if (!finite(in->minScale) || in->minScale < 0 || in->minScale > 1e6) return QG_ERR_ARGUMENT;
    out.robust = in->robust;
    if (in->tuning != 0) out.tuning = in->tuning;
    if (in->minScale != 0) out.minScale = in->minScale;
    return QG_OK;
}

int32_t fitCircle(const std::vector<qgPoint>& p, const qgFitParams& fit, const qgCircle* start,
                  qgCircle& out, std::vector<double>& w, double* unitVariance) {
    // From a start circle, its weights (when given for these points) are the
    // first guess too.
    if (!start || w.size() != p.size()) w.assign(p.size(), 1.0);
    qgCircle c{};
    if (start) {
        c = *start;
    } else if (!algebraicCircle(p, w, c)) {
        return QG_ERR_DEGENERATE;
    }
    std::vector<double> r(p.size());
    auto residuals = [&] {
        for (size_t i = 0; i < p.size(); ++i) r[i] = dist(p[i].x - c.cx, p[i].y - c.cy) - c.r;
    };
    if (!geometricCircle(p, w, c)) return QG_ERR_DEGENERATE;
    if (fit.robust) {
        for (int it = 0; it < 50; ++it) {
            residuals();
            double change = reweight(r, fit, w);
            // A few Gauss-Newton steps a reweighting: both settle together.
            qgCircle next = c;
            if (!geometricCircle(p, w, next, 3)) return QG_ERR_DEGENERATE;
            c = next;
            if (change < 1e-4) break;
        }
        if (!geometricCircle(p, w, c)) return QG_ERR_DEGENERATE;
    }
    residuals();
    int inliers = 0;
    double rms = 0;
    double f = varianceFactor(r, w, fit, 3, inliers, rms);
    if (inliers < 3) return QG_ERR_DEGENERATE;
    double A[3][3] = {};
    for (size_t i = 0; i < p.size(); ++i) {
        if (w[i] <= 0) continue;
        double dx = p[i].x - c.cx, dy = p[i].y - c.cy, d = dist(dx, dy);
        if (d == 0) continue;
        double row[3] = {dx / d, dy / d, 1};
        for (int a = 0; a < 3; ++a)
            for (int k = 0; k < 3; ++k) A[a][k] += row[a] * row[k];
    }
    double u[3];
    for (int k = 0; k < 3; ++k) {
        double e[3] = {0, 0, 0}, col[3];
        e[k] = 1;
        if (!solve3(A, e, col)) return QG_ERR_DEGENERATE;
        u[k] = std::isinf(f) ? kInf : std::sqrt(std::max(col[k], 0.0) * f);
        if (unitVariance) unitVariance[k] = std::max(col[k], 0.0);
    }
    c.uCx = u[0];
    c.uCy = u[1];
    c.uR = u[2];
    c.rms = rms;
    c.inliers = inliers;
    out = c;
    return QG_OK;
}

}  // namespace qg

extern "C" QG_API int32_t qgFitLine(const qgPoint* points, int32_t count, const qgFitParams* fitIn,
                                    qgLine* line, double* weightsOut) {
    if (!line) return QG_ERR_NULL;
    int32_t rc = qg::checkPoints(points, count, 2);
    if (rc != QG_OK) return rc;
    qgFitParams fit;
    if ((rc = qg::resolveFit(fitIn, fit)) != QG_OK) return rc;
    try {
        const size_t n = static_cast<size_t>(count);
        std::vector<double> w(n, 1.0), r(n);
        double cx = 0, cy = 0, dx = 1, dy = 0;
        auto solve = [&]() -> bool {
            double sw = 0;
            cx = cy = 0;
            for (size_t i = 0; i < n; ++i) { sw += w[i]; cx += w[i] * points[i].x; cy += w[i] * points[i].y; }
            if (sw <= 0) return false;
            cx /= sw; cy /= sw;
            double sxx = 0, sxy = 0, syy = 0;
            for (size_t i = 0; i < n; ++i) {
                double x = points[i].x - cx, y = points[i].y - cy;
                sxx += w[i] * x * x; sxy += w[i] * x * y; syy += w[i] * y * y;
            }
            if (sxx + syy <= 0) return false;
            // Direction of the larger eigenvalue of the scatter matrix.
            double angle = 0.5 * std::atan2(2 * sxy, sxx - syy);
            dx = std::cos(angle); dy = std::sin(angle);
            for (size_t i = 0; i < n; ++i)
                r[i] = -(points[i].x - cx) * dy + (points[i].y - cy) * dx;
            return true;
        };
        if (!solve()) return QG_ERR_DEGENERATE;
        if (fit.robust) {
            for (int it = 0; it < 50; ++it) {
                double change = qg::reweight(r, fit, w);
                if (!solve()) return QG_ERR_DEGENERATE;
                if (change < 1e-6) break;
            }
        }
        int inliers = 0;
        double rms = 0;
        double f = qg::varianceFactor(r, w, fit, 2, inliers, rms);
        if (inliers < 2) return QG_ERR_DEGENERATE;
        double m = 0, sa = 0, saa = 0;
        for (size_t i = 0; i < n; ++i) {
            if (w[i] <= 0) continue;
            double a = (points[i].x - cx) * dx + (points[i].y - cy) * dy;
            m += 1; sa += a; saa += a * a;
        }
        double det = m * saa - sa * sa;
        if (!(det > 0)) return QG_ERR_DEGENERATE;
        qgLine out;
        if (dx < 0 || (dx == 0 && dy < 0)) { dx = -dx; dy = -dy; }
        out.x = cx;
        out.y = cy;
        out.angle = std::atan2(dy, dx);
        if (out.angle <= -M_PI / 2) out.angle += M_PI;
        out.uPosition = std::isinf(f) ? f : std::sqrt(saa / det * f);
        out.uAngle = std::isinf(f) ? f : std::sqrt(m / det * f);
        out.rms = rms;
        out.inliers = inliers;
        *line = out;
        if (weightsOut) std::copy(w.begin(), w.end(), weightsOut);
        return QG_OK;
    } catch (const std::bad_alloc&) {
        return QG_ERR_MEMORY;
    }
}

extern "C" QG_API int32_t qgFitCircle(const qgPoint* points, int32_t count, const qgFitParams* fitIn,
                                      qgCircle* circle, double* weightsOut) {
    if (!circle) return QG_ERR_NULL;
    int32_t rc = qg::checkPoints(points, count, 3);
    if (rc != QG_OK) return rc;
    qgFitParams fit;
    if ((rc = qg::resolveFit(fitIn, fit)) != QG_OK) return rc;
    try {
        std::vector<qgPoint> p(points, points + count);
        std::vector<double> w;
        qgCircle c;
        rc = qg::fitCircle(p, fit, nullptr, c, w);
        if (rc != QG_OK) return rc;
        *circle = c;
        if (weightsOut) std::copy(w.begin(), w.end(), weightsOut);
        return QG_OK;
    } catch (const std::bad_alloc&) {
        return QG_ERR_MEMORY;
    }
}
