// Shared internals of the gauge library: argument checks, the caliper's
// profile and edge locator, and the robust fits, for the exported wrappers.
#pragma once

#include "include/qgauge.h"

#include <cmath>
#include <cstdint>
#include <vector>

namespace qg {

inline bool finite(double v) { return std::isfinite(v); }

// QG_OK or the error code for an unusable image.
int32_t checkImage(const qgImage* image);
// QG_OK or QG_ERR_ARGUMENT for caliper settings out of range.
int32_t checkCaliper(const qgCaliperParams& params, bool allowAll);
// Fit settings with the zero fields replaced by their defaults, or
// QG_ERR_ARGUMENT.
int32_t resolveFit(const qgFitParams* in, qgFitParams& out);

// The samples of one rectangle averaged across its axis.
struct Profile {
    qgRect rect{};
    double ux = 1, uy = 0;          // axis direction
    double tFirst = 0;              // axis position of profile[0]; one pixel a step
    int rows = 0;                   // samples across
    double meanW2 = 0;              // mean squared offset of the rows from the axis
    std::vector<double> values;
    std::vector<int64_t> sums;      // fixed-point row sums while sampling
};

// QG_OK, QG_ERR_ARGUMENT, QG_ERR_OUTSIDE or QG_ERR_TOO_LARGE (image checked).
int32_t checkRect(const qgImage& image, const qgRect& rect);
// Samples a checked rectangle of a checked image.
void sampleProfile(const qgImage& image, const qgRect& rect, Profile& profile);

// One located edge, in profile units, with the linear weights that map the
// profile onto its position (for the uncertainty of widths).
struct Located {
    double t = 0;         // axis position
    double contrast = 0;  // b - a
    double spread = 0;    // edge blur sigma
    double strength = 0;  // detector peak, grey levels, signed
    int first = 0;        // index of weights[0] in the profile
    std::vector<double> weights;
};

// A stretch of a profile, sample indices from..to inclusive.
struct Stretch {
    int from, to;
};

// Every edge of the profile above the threshold of the requested polarity,
// in axis order. The plateau levels leave out the `skip` stretches (where
// clutter is known to lie) while enough samples remain.
void locateEdges(const Profile& profile, const qgCaliperParams& params,
                 std::vector<Located>& edges, const std::vector<Stretch>* skip = nullptr);

// Appends robust noise samples |r| (a second-difference mask, Sum r^2 = 36
// sigma^2) of the pixels under the rectangle, away from the given edges; at
// most cap of them.
void collectNoise(const qgImage& image, const qgRect& rect,
                  const std::vector<Located>& edges, int cap,
                  std::vector<double>& out);
// Pixel noise sigma from collected samples (never below 8-bit quantisation).
double noiseFromSamples(std::vector<double>& samples);

// Standard uncertainty of a linear combination of profile samples, with
// profile noise of sigmaProfile each.
double combinedUncertainty(const Located& a, const Located* b, double sigmaProfile);

// Fills a public edge record from a located edge.
void toEdge(const Profile& profile, const Located& e, double sigmaProfile, qgEdge& out);

// Robust circle fit with optional starting circle (and then `weights`, if
// sized for the points, as the starting weights); QG_OK or a fit error.
// unitVariance, when given, receives the diagonal of (J'J)^-1 over the
// inliers (cx, cy, r): the parameters' variances for points of unit
// variance each.
int32_t fitCircle(const std::vector<qgPoint>& points, const qgFitParams& fit,
                  const qgCircle* start, qgCircle& out, std::vector<double>& weights,
                  double* unitVariance = nullptr);

}  // namespace qg
