// Circle gauge: radial calipers around an approximate circle, then the
// robust circle fit, with the edge points moved for the curvature. The gauge
// runs in stages: sample the spokes, fit a first circle, set clutter aside,
// correct for the curvature and fit again, then widen the uncertainties for
// spokes that share pixels.
#include "internal.h"

#include <algorithm>
#include <new>

namespace {

constexpr double kTwoPi = 6.283185307179586;

// A spoke that found an edge: its geometry (the samples are not kept) and
// the edge it selected.
struct Found {
    int spoke;
    qg::Profile profile;
    qg::Located edge;
};

// Every edge every spoke met (axis position, blur, image point), for the
// clutter beside each spoke.
struct Mark {
    int spoke;
    double t, spread, x, y;
};

struct Spokes {
    std::vector<qgRect> rects;
    std::vector<Found> found;
    std::vector<Mark> marks;
    std::vector<double> noiseSamples;
    std::vector<qgPoint> points;  // of the found spokes' edges, in their order
    std::vector<double> weights;  // the fit's robust weights of those points
};

qgPoint pointOf(const Found& f) {
    return {f.profile.rect.cx + f.edge.t * f.profile.ux, f.profile.rect.cy + f.edge.t * f.profile.uy};
}

int32_t checkParams(const qgImage* image, const qgCircleGaugeParams* params, qgCircle* circle,
                    qgFitParams& fit) {
    int32_t rc = qg::checkImage(image);
    if (rc != QG_OK) return rc;
    if (!params || !circle) return QG_ERR_NULL;
    const qgCircleGaugeParams& g = *params;
    if (!qg::finite(g.cx) || !qg::finite(g.cy) || !qg::finite(g.r) || !(g.r > 0) ||
        !qg::finite(g.spokeLength) || !qg::finite(g.spokeWidth))
        return QG_ERR_ARGUMENT;
    if (g.spokes < 3) return QG_ERR_ARGUMENT;
    if (g.spokes > QG_MAX_SPOKES) return QG_ERR_TOO_LARGE;
    if ((rc = qg::checkCaliper(g.caliper, false)) != QG_OK) return rc;
    return qg::resolveFit(&g.fit, fit);
}

int32_t placeSpokes(const qgImage& image, const qgCircleGaugeParams& g, std::vector<qgRect>& rects) {
    const int n = g.spokes;
    rects.resize(static_cast<size_t>(n));
    for (int i = 0; i < n; ++i) {
        double a = kTwoPi * i / n;
        rects[static_cast<size_t>(i)] = {g.cx + g.r * std::cos(a), g.cy + g.r * std::sin(a),
                                         g.spokeLength, g.spokeWidth, a};
        const int32_t rc = qg::checkRect(image, rects[static_cast<size_t>(i)]);
        if (rc != QG_OK) return rc;
    }
    return QG_OK;
}

// Runs every spoke's caliper: each spoke keeps the edge its selection picks,
// and every edge it met is marked for the clutter step.
void sampleSpokes(const qgImage& image, const qgCaliperParams& caliper, bool wantNoise, Spokes& s) {
    const int n = static_cast<int>(s.rects.size());
    s.found.reserve(static_cast<size_t>(n));
    s.marks.reserve(static_cast<size_t>(n));
    std::vector<qg::Located> edges;
    qg::Profile pr;
    for (int i = 0; i < n; ++i) {
        qg::sampleProfile(image, s.rects[static_cast<size_t>(i)], pr);
        qg::locateEdges(pr, caliper, edges);
        if (edges.empty()) continue;
        for (const qg::Located& e : edges)
            s.marks.push_back({i, e.t, e.spread, pr.rect.cx + e.t * pr.ux, pr.rect.cy + e.t * pr.uy});
        size_t pick = 0;
        if (caliper.select == QG_SELECT_LAST) pick = edges.size() - 1;
        if (caliper.select == QG_SELECT_STRONGEST)
            for (size_t k = 1; k < edges.size(); ++k)
                if (std::fabs(edges[k].strength) > std::fabs(edges[pick].strength)) pick = k;
        // The pixel noise serves the spokes' own uncertainties.
        if (wantNoise) qg::collectNoise(image, s.rects[static_cast<size_t>(i)], edges, 32, s.noiseSamples);
        Found& f = s.found.emplace_back();
        f.spoke = i;
        f.profile.rect = pr.rect;
        f.profile.ux = pr.ux;
        f.profile.uy = pr.uy;
        f.profile.tFirst = pr.tFirst;
        f.profile.rows = pr.rows;
        f.profile.meanW2 = pr.meanW2;
        f.edge = std::move(edges[pick]);
    }
}

// The marks off the first circle, grouped by spoke: clutter[begin[j] ..
// begin[j + 1]) are spoke j's. Empty when there is none.
std::vector<Mark> clutterOf(const Spokes& s, const qgCircle& first, std::vector<size_t>& begin) {
    const size_t n = s.rects.size();
    begin.assign(n + 1, 0);
    std::vector<Mark> clutter;
    for (const Mark& m : s.marks) {
        const double dx = m.x - first.cx, dy = m.y - first.cy;
        if (std::fabs(std::sqrt(dx * dx + dy * dy) - first.r) > 3 * m.spread + 2) {
            clutter.push_back(m);
            ++begin[static_cast<size_t>(m.spoke) + 1];
        }
    }
    if (!clutter.empty())
        for (size_t i = 0; i < n; ++i) begin[i + 1] += begin[i];
    return clutter;
}

// The stretches of spoke k's profile that clutter reaches: that of the
// spokes beside it, and its own when its edge is clutter.
void clutterStretches(const Found& f, bool onClutter, int n, const std::vector<Mark>& clutter,
                      const std::vector<size_t>& begin, std::vector<qg::Stretch>& skip) {
    skip.clear();
    for (int side : {0, n - 1, 1}) {
        if (side == 0 && !onClutter) continue;
        const size_t j = static_cast<size_t>((f.spoke + side) % n);
        // Spokes share their axis positions: the same distance from the
        // gauge's centre.
        for (size_t c = begin[j]; c < begin[j + 1]; ++c) {
            // As far as its blur carries it.
            const double reach = 3 * clutter[c].spread;
            skip.push_back({static_cast<int>(std::floor(clutter[c].t - reach - f.profile.tFirst)),
                            static_cast<int>(std::ceil(clutter[c].t + reach - f.profile.tFirst))});
        }
    }
}

// Clutter a spoke meets (an edge off the circle) usually reaches into the
// spokes beside it too, too faint there to be an edge but enough to lift or
// lower their plateau levels and so move their edges. A spoke beside such an
// edge measures its levels without that stretch.
void setClutterAside(const qgImage& image, const qgCaliperParams& caliper, const qgCircle& first, Spokes& s) {
    std::vector<size_t> begin;
    const std::vector<Mark> clutter = clutterOf(s, first, begin);
    if (clutter.empty()) return;
    const int n = static_cast<int>(s.rects.size());
    // The rim's polarity: the one most spokes the first fit kept found.
    int rising = 0;
    for (size_t k = 0; k < s.found.size(); ++k)
        if (s.weights[k] > 0) rising += s.found[k].edge.contrast > 0 ? 1 : -1;
    auto offRim = [&](double x, double y) { return std::fabs(std::hypot(x - first.cx, y - first.cy) - first.r); };
    std::vector<qg::Stretch> skip;
    std::vector<qg::Located> edges;
    qg::Profile pr;
    for (size_t k = 0; k < s.found.size(); ++k) {
        Found& f = s.found[k];
        // A spoke whose own edge is clutter takes the rim edge behind it
        // instead, if it has one near the circle: its rim information is not
        // lost with the clutter.
        const bool onClutter = offRim(s.points[k].x, s.points[k].y) > 3 * f.edge.spread + 2;
        if (!onClutter && !(s.weights[k] > 0)) continue;
        clutterStretches(f, onClutter, n, clutter, begin, skip);
        if (skip.empty() && !onClutter) continue;
        qg::sampleProfile(image, s.rects[static_cast<size_t>(f.spoke)], pr);
        qg::locateEdges(pr, caliper, edges, &skip);
        const qg::Located* best = nullptr;
        double bestOff = 0;
        for (const qg::Located& e : edges) {
            double off;
            if (onClutter) {
                if ((e.contrast > 0) != (rising > 0)) continue;
                off = offRim(f.profile.rect.cx + e.t * f.profile.ux, f.profile.rect.cy + e.t * f.profile.uy);
                if (off > 3 * e.spread + 2) continue;
            } else {
                off = std::fabs(e.t - f.edge.t);
                if (off >= 1) continue;
            }
            if (!best || off < bestOff) {
                best = &e;
                bestOff = off;
            }
        }
        if (!best) continue;
        f.edge = *best;
        if (onClutter) s.weights[k] = 1;
        s.points[k] = pointOf(f);
    }
}

// A profile averaged across a curved edge, and a blurred curved edge, both
// put the edge nearer the centre of curvature by about (mean squared offset
// across + blur^2) / (2 r); moves each point out along its spoke by that much.
void correctCurvature(double r, Spokes& s) {
    std::vector<double> spreads;
    for (size_t k = 0; k < s.found.size(); ++k)
        if (s.weights[k] > 0) spreads.push_back(s.found[k].edge.spread * s.found[k].edge.spread);
    double blur2 = 0;
    if (!spreads.empty()) {
        auto mid = spreads.begin() + static_cast<long>(spreads.size() / 2);
        std::nth_element(spreads.begin(), mid, spreads.end());
        blur2 = *mid;
    }
    for (size_t k = 0; k < s.found.size(); ++k) {
        Found& f = s.found[k];
        double shift = (f.profile.meanW2 + blur2) / (2 * r);
        f.edge.t += shift;
        s.points[k] = pointOf(f);
    }
}

// Spokes closer than their footprint (the rows and the pixel the
// interpolation reaches beyond them) share pixels, so their errors are
// correlated over about `overlap` spokes: the fitted circle averages overlap
// times fewer independent errors than points, and its three parameters,
// which vary slowly around the rim, absorb overlap times as much of the
// residual scatter (the residuals' expected sum of squares is
// sigma^2 (m - 3 overlap), not sigma^2 (m - 3), for m inliers). With three
// inliers nothing measures the scatter: the uncertainties stay infinite.
double overlapOf(const qgCircleGaugeParams& g, const qgCircle& c) {
    return g.spokes * (g.spokeWidth + 1) / (kTwoPi * c.r);
}

void widenForOverlap(const qgCircleGaugeParams& g, qgCircle& result) {
    const double overlap = overlapOf(g, result);
    if (overlap > 1 && result.inliers > 3) {
        const double m = result.inliers;
        const double f = std::sqrt(overlap * (m - 3) / std::max(m - 3 * overlap, 1.0));
        result.uCx *= f;
        result.uCy *= f;
        result.uR *= f;
    }
}

// The mean square of the spokes' edge uncertainties from the pixel noise
// (of the fit's inliers only when `inliers`); 0 without spokes.
double meanSquareU(const Spokes& s, double noise, bool inliers) {
    double sum = 0;
    int m = 0;
    for (size_t k = 0; k < s.found.size(); ++k) {
        if (inliers && !(s.weights[k] > 0)) continue;
        const Found& f = s.found[k];
        const double u = qg::combinedUncertainty(f.edge, nullptr, noise / std::sqrt(static_cast<double>(f.profile.rows)));
        sum += u * u;
        ++m;
    }
    return m > 0 ? sum / m : 0;
}

// The scatter of a dozen or two residuals is itself uncertain by a fifth
// or more, and the pixel noise, read on hundreds of pixels, predicts each
// spoke's edge scatter steadily: with the scatter alone, +-2u covers
// clearly less than 95 % on small circles. The circle's uncertainties are
// the larger of the two estimates: the noise's where the residuals happen
// to lie close, the residuals' where more than noise (a rough rim, clutter
// half set aside) spreads the points. Spokes that share pixels share their
// noise too, as in widenForOverlap.
void floorByNoise(const qgCircleGaugeParams& g, const Spokes& s, double noise, const double unit[3],
                  qgCircle& result) {
    if (!std::isfinite(result.uR)) return;
    const double v = meanSquareU(s, noise, true) * std::max(overlapOf(g, result), 1.0);
    if (!(v > 0)) return;
    result.uCx = std::max(result.uCx, std::sqrt(unit[0] * v));
    result.uCy = std::max(result.uCy, std::sqrt(unit[1] * v));
    result.uR = std::max(result.uR, std::sqrt(unit[2] * v));
}

void reportSpokes(const qgCircleGaugeParams& g, Spokes& s, double noise, qgSpoke* spokesOut) {
    for (int i = 0; i < g.spokes; ++i) spokesOut[i] = qgSpoke{};
    for (size_t k = 0; k < s.found.size(); ++k) {
        const Found& f = s.found[k];
        qgSpoke& out = spokesOut[f.spoke];
        qg::toEdge(f.profile, f.edge, noise / std::sqrt(static_cast<double>(f.profile.rows)), out.edge);
        out.found = 1;
        out.weight = s.weights[k];
    }
}

}  // namespace

extern "C" QG_API int32_t qgCircleGauge(const qgImage* image, const qgCircleGaugeParams* params,
                                        qgCircle* circle, qgSpoke* spokesOut) {
    qgFitParams fit;
    int32_t rc = checkParams(image, params, circle, fit);
    if (rc != QG_OK) return rc;
    const qgCircleGaugeParams& g = *params;
    try {
        Spokes s;
        if ((rc = placeSpokes(*image, g, s.rects)) != QG_OK) return rc;
        sampleSpokes(*image, g.caliper, g.caliper.noise == 0, s);
        if (s.found.size() < 3) return QG_NOT_FOUND;
        s.points.resize(s.found.size());
        for (size_t k = 0; k < s.found.size(); ++k) s.points[k] = pointOf(s.found[k]);
        const double noise = g.caliper.noise > 0 ? g.caliper.noise : qg::noiseFromSamples(s.noiseSamples);
        // A robust scale from a dozen residuals can happen to be a fraction
        // of the edges' own scatter, and then sound rim points fall out as
        // outliers (and the few kept claim too small an uncertainty): the
        // scale is never below the spokes' noise.
        fit.minScale = std::max(fit.minScale, std::sqrt(meanSquareU(s, noise, false)));
        qgCircle first;
        rc = qg::fitCircle(s.points, fit, nullptr, first, s.weights);
        if (rc != QG_OK) return rc == QG_ERR_DEGENERATE ? QG_NOT_FOUND : rc;
        setClutterAside(*image, g.caliper, first, s);
        correctCurvature(first.r, s);
        qgCircle result;
        double unit[3];
        rc = qg::fitCircle(s.points, fit, &first, result, s.weights, unit);
        if (rc != QG_OK) return rc == QG_ERR_DEGENERATE ? QG_NOT_FOUND : rc;
        widenForOverlap(g, result);
        floorByNoise(g, s, noise, unit, result);
        if (spokesOut) reportSpokes(g, s, noise, spokesOut);
        *circle = result;
        return QG_OK;
    } catch (const std::bad_alloc&) {
        return QG_ERR_MEMORY;
    }
}
