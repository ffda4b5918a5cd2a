// Circle gauge: radial calipers around an approximate circle, then the
// robust circle fit, with the edge points moved for the curvature.
#include "internal.h"

#include <algorithm>
#include <new>

namespace {

constexpr double kTwoPi = 6.283185307179586;

}  // namespace

extern "C" QG_API int32_t qgCircleGauge(const qgImage* image, const qgCircleGaugeParams* params,
                                        qgCircle* circle, qgSpoke* spokesOut) {
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
    qgFitParams fit;
    if ((rc = qg::resolveFit(&g.fit, fit)) != QG_OK) return rc;
    const int n = g.spokes;
    std::vector<qgRect> rects(static_cast<size_t>(n));
    for (int i = 0; i < n; ++i) {
        double a = kTwoPi * i / n;
        rects[static_cast<size_t>(i)] = {g.cx + g.r * std::cos(a), g.cy + g.r * std::sin(a),
                                         g.spokeLength, g.spokeWidth, a};
        if ((rc = qg::checkRect(*image, rects[static_cast<size_t>(i)])) != QG_OK) return rc;
    }
    try {
        struct Found {
            int spoke;
            qg::Profile profile;
            qg::Located edge;
        };
        std::vector<Found> found;
        found.reserve(static_cast<size_t>(n));
        // Every edge every spoke met (axis position, blur, image point), for
        // the clutter beside each spoke.
        struct Mark {
            int spoke;
            double t, spread, x, y;
        };
        std::vector<Mark> marks;
        marks.reserve(static_cast<size_t>(n));
        std::vector<qg::Located> edges;
        std::vector<double> noiseSamples;
        qg::Profile pr;
        for (int i = 0; i < n; ++i) {
            qg::sampleProfile(*image, rects[static_cast<size_t>(i)], pr);
            qg::locateEdges(pr, g.caliper, edges);
            if (edges.empty()) continue;
            for (const qg::Located& e : edges)
                marks.push_back({i, e.t, e.spread, pr.rect.cx + e.t * pr.ux, pr.rect.cy + e.t * pr.uy});
            size_t pick = 0;
            if (g.caliper.select == QG_SELECT_LAST) pick = edges.size() - 1;
            if (g.caliper.select == QG_SELECT_STRONGEST)
                for (size_t k = 1; k < edges.size(); ++k)
                    if (std::fabs(edges[k].strength) > std::fabs(edges[pick].strength)) pick = k;
            // The pixel noise only serves the spokes' own uncertainties.
            if (g.caliper.noise == 0 && spokesOut)
                qg::collectNoise(*image, rects[static_cast<size_t>(i)], edges, 32, noiseSamples);
            Found& f = found.emplace_back();
            f.spoke = i;
            // The geometry only: the samples are not needed again.
            f.profile.rect = pr.rect;
            f.profile.ux = pr.ux;
            f.profile.uy = pr.uy;
            f.profile.tFirst = pr.tFirst;
            f.profile.rows = pr.rows;
            f.profile.meanW2 = pr.meanW2;
            f.edge = std::move(edges[pick]);
        }
        if (found.size() < 3) return QG_NOT_FOUND;
        std::vector<qgPoint> points(found.size());
        for (size_t k = 0; k < found.size(); ++k) {
            const Found& f = found[k];
            points[k] = {f.profile.rect.cx + f.edge.t * f.profile.ux,
                         f.profile.rect.cy + f.edge.t * f.profile.uy};
        }
        std::vector<double> weights;
        qgCircle first;
        rc = qg::fitCircle(points, fit, nullptr, first, weights);
        if (rc != QG_OK) return rc == QG_ERR_DEGENERATE ? QG_NOT_FOUND : rc;
        // Clutter a spoke meets (an edge off the circle) usually reaches into
        // the spokes beside it too, too faint there to be an edge but enough
        // to lift or lower their plateau levels and so move their edges. A
        // spoke beside such an edge measures its levels without that stretch.
        std::vector<size_t> clutterBegin(static_cast<size_t>(n) + 1, 0);
        std::vector<Mark> clutter;
        for (const Mark& m : marks) {
            const double dx = m.x - first.cx, dy = m.y - first.cy;
            if (std::fabs(std::sqrt(dx * dx + dy * dy) - first.r) > 3 * m.spread + 2) {
                clutter.push_back(m);
                ++clutterBegin[static_cast<size_t>(m.spoke) + 1];
            }
        }
        if (!clutter.empty()) {
            for (int i = 0; i < n; ++i) clutterBegin[static_cast<size_t>(i) + 1] += clutterBegin[static_cast<size_t>(i)];
            // The rim's polarity: the one most spokes the first fit kept found.
            int rising = 0;
            for (size_t k = 0; k < found.size(); ++k)
                if (weights[k] > 0) rising += found[k].edge.contrast > 0 ? 1 : -1;
            auto offRim = [&](double x, double y) {
                return std::fabs(std::hypot(x - first.cx, y - first.cy) - first.r);
            };
            std::vector<qg::Stretch> skip;
            for (size_t k = 0; k < found.size(); ++k) {
                Found& f = found[k];
                // A spoke whose own edge is clutter takes the rim edge behind
                // it instead, if it has one near the circle: its rim
                // information is not lost with the clutter.
                const bool onClutter = offRim(points[k].x, points[k].y) > 3 * f.edge.spread + 2;
                if (!onClutter && !(weights[k] > 0)) continue;
                skip.clear();
                for (int side : {0, n - 1, 1}) {
                    if (side == 0 && !onClutter) continue;
                    const size_t j = static_cast<size_t>((f.spoke + side) % n);
                    // Spokes share their axis positions: the same distance
                    // from the gauge's centre.
                    for (size_t c = clutterBegin[j]; c < clutterBegin[j + 1]; ++c) {
                        // As far as its blur carries it.
                        const double reach = 3 * clutter[c].spread;
                        skip.push_back({static_cast<int>(std::floor(clutter[c].t - reach - f.profile.tFirst)),
                                        static_cast<int>(std::ceil(clutter[c].t + reach - f.profile.tFirst))});
                    }
                }
                if (skip.empty() && !onClutter) continue;
                qg::sampleProfile(*image, rects[static_cast<size_t>(f.spoke)], pr);
                qg::locateEdges(pr, g.caliper, edges, &skip);
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
                if (onClutter) weights[k] = 1;
                points[k] = {f.profile.rect.cx + f.edge.t * f.profile.ux,
                             f.profile.rect.cy + f.edge.t * f.profile.uy};
            }
        }
        // A profile averaged across a curved edge, and a blurred curved edge,
        // both put the edge nearer the centre of curvature by about
        // (mean squared offset across + blur^2) / (2 r); move each point out
        // along its spoke by that much and fit again.
        std::vector<double> spreads;
        for (size_t k = 0; k < found.size(); ++k)
            if (weights[k] > 0) spreads.push_back(found[k].edge.spread * found[k].edge.spread);
        double blur2 = 0;
        if (!spreads.empty()) {
            auto mid = spreads.begin() + static_cast<long>(spreads.size() / 2);
            std::nth_element(spreads.begin(), mid, spreads.end());
            blur2 = *mid;
        }
        for (size_t k = 0; k < found.size(); ++k) {
            Found& f = found[k];
            double shift = (f.profile.meanW2 + blur2) / (2 * first.r);
            f.edge.t += shift;
            points[k] = {f.profile.rect.cx + f.edge.t * f.profile.ux,
                         f.profile.rect.cy + f.edge.t * f.profile.uy};
        }
        qgCircle result;
        rc = qg::fitCircle(points, fit, &first, result, weights);
        if (rc != QG_OK) return rc == QG_ERR_DEGENERATE ? QG_NOT_FOUND : rc;
        // Spokes closer than their footprint (the rows and the pixel the
        // interpolation reaches beyond them) share pixels, so their errors
        // are correlated over about `overlap` spokes: the fitted circle
        // averages overlap times fewer independent errors than points, and
        // its three parameters, which vary slowly around the rim, absorb
        // overlap times as much of the residual scatter (the residuals'
        // expected sum of squares is sigma^2 (m - 3 overlap), not
        // sigma^2 (m - 3), for m inliers).
        const double overlap = n * (g.spokeWidth + 1) / (kTwoPi * result.r);
        if (overlap > 1) {
            const double m = result.inliers;
            const double f = std::sqrt(overlap * (m - 3) / std::max(m - 3 * overlap, 1.0));
            result.uCx *= f;
            result.uCy *= f;
            result.uR *= f;
        }
        if (spokesOut) {
            double noise = g.caliper.noise > 0 ? g.caliper.noise : qg::noiseFromSamples(noiseSamples);
            for (int i = 0; i < n; ++i) spokesOut[i] = qgSpoke{};
            for (size_t k = 0; k < found.size(); ++k) {
                const Found& f = found[k];
                qgSpoke& s = spokesOut[f.spoke];
                qg::toEdge(f.profile, f.edge, noise / std::sqrt(static_cast<double>(f.profile.rows)), s.edge);
                s.found = 1;
                s.weight = weights[k];
            }
        }
        *circle = result;
        return QG_OK;
    } catch (const std::bad_alloc&) {
        return QG_ERR_MEMORY;
    }
}
