#include "cadfit/fit.h"
#include "cadfit/chebyshev.h"

#include <algorithm>
#include <array>
#include <cmath>

namespace orvane::cad {
namespace {

constexpr double kPi = 3.14159265358979323846;
// Profile beyond the search on either side, for the caliper's two levels.
constexpr double kLevelMargin = 12.0;
constexpr int kMaxEdges = 16;
// Deviations this far from the least-squares pose (px) still count in the
// min-max fit.
constexpr double kMinMaxReach = 1.0;
// A datum point's weight against another point's: the datum decides what
// it can hold, to a millionth.
constexpr double kDatumWeight = 1e6;

double Median(std::vector<double> v) {
  if (v.empty()) return 0.0;
  auto mid = v.begin() + static_cast<long>(v.size() / 2);
  std::nth_element(v.begin(), mid, v.end());
  return *mid;
}

// The edge nearest the nominal point along its normal, position in px
// along the normal (0 when none: found stays false).
Measured MeasureOne(const qgImage& image, const Placement& pl, const NominalPoint& q, bool side_known,
                    const MeasureSettings& s) {
  Measured m;
  double ix, iy, ux, uy;
  pl.ToImage(q.x, q.y, &ix, &iy);
  pl.NormalToImage(q.nx, q.ny, &ux, &uy);
  const qgRect rect{ix, iy, 2 * (s.search + kLevelMargin), s.width, std::atan2(uy, ux)};
  qgCaliperParams params;
  qgCaliperDefaults(&params);
  params.threshold = s.threshold;
  params.select = QG_SELECT_ALL;
  params.noise = 1.0;  // uncertainties are not used: no noise estimate per caliper
  // The normal points away from the material: out of a dark part the
  // intensity rises.
  params.polarity = !side_known ? QG_POLARITY_EITHER
                    : s.bright_object ? QG_POLARITY_LIGHT_TO_DARK
                                      : QG_POLARITY_DARK_TO_LIGHT;
  std::array<qgEdge, kMaxEdges> edges;
  int32_t count = 0;
  if (qgEdgeCaliper(&image, &rect, &params, edges.data(), kMaxEdges, &count) != QG_OK) return m;
  const qgEdge* best = nullptr;
  for (int32_t i = 0; i < std::min(count, kMaxEdges); ++i) {
    if (std::fabs(edges[i].position) <= s.search && (!best || std::fabs(edges[i].position) < std::fabs(best->position))) {
      best = &edges[i];
    }
  }
  if (!best) return m;
  m.found = true;
  m.deviation = best->position;
  m.ex = best->x;
  m.ey = best->y;
  m.spread = best->spread;
  // With either polarity, a rise along the normal says the dark side is
  // behind it; the sign then follows the side the picture shows.
  if (!side_known && ((best->contrast > 0) == s.bright_object)) m.deviation = -m.deviation;
  return m;
}

// The fit's unknowns: a move (tx, ty) and a turn about the picture's origin.
struct Step {
  double tx = 0, ty = 0, turn = 0;
};

struct Observation {
  double ex, ey;  // the edge found
  double qx, qy;  // the nominal point, scaled and mirrored, before the turn
  double mx, my;  // its normal, mirrored, before the turn
};

double DeviationOf(const Observation& o, const Placement& pl) {
  const double c = std::cos(pl.angle), s = std::sin(pl.angle);
  const double nx = c * o.mx - s * o.my, ny = s * o.mx + c * o.my;
  const double px = pl.px + c * o.qx - s * o.qy, py = pl.py + s * o.qx + c * o.qy;
  return nx * (o.ex - px) + ny * (o.ey - py);
}

// Tukey biweight of each residual with a robust scale (never below 0.02 px).
void TukeyWeights(const std::vector<double>& d, std::vector<double>& w) {
  std::vector<double> a(d.size());
  for (size_t i = 0; i < d.size(); ++i) a[i] = std::fabs(d[i]);
  const double c = 4.685 * std::max(0.02, 1.4826 * Median(a));
  w.resize(d.size());
  for (size_t i = 0; i < d.size(); ++i) {
    const double u = d[i] / c;
    w[i] = std::fabs(u) < 1 ? (1 - u * u) * (1 - u * u) : 0.0;
  }
}

// How the deviation changes with the pose's move and turn:
// d = n.(e - T) - m.q, so dd/dT = -n, dd/dturn = perp(n).(e - T).
std::array<double, 3> Gradient(const Observation& o, const Placement& pl) {
  const double c = std::cos(pl.angle), s = std::sin(pl.angle);
  const double nx = c * o.mx - s * o.my, ny = s * o.mx + c * o.my;
  return {-nx, -ny, -ny * (o.ex - pl.px) + nx * (o.ey - pl.py)};
}

// One weighted Gauss-Newton step of the pose; false when the points do not
// hold the pose (too few, or all along one line through the turn).
bool Solve(const std::vector<Observation>& obs, const std::vector<double>& d, const std::vector<double>& w,
           Placement& pl) {
  double A[3][3] = {}, b[3] = {};
  for (size_t i = 0; i < obs.size(); ++i) {
    if (w[i] <= 0) continue;
    const std::array<double, 3> g = Gradient(obs[i], pl);
    for (int r = 0; r < 3; ++r) {
      b[r] -= w[i] * g[r] * d[i];
      for (int k = 0; k < 3; ++k) A[r][k] += w[i] * g[r] * g[k];
    }
  }
  // Cramer's rule on the 3 x 3 system.
  auto det3 = [](double m[3][3]) {
    return m[0][0] * (m[1][1] * m[2][2] - m[1][2] * m[2][1]) - m[0][1] * (m[1][0] * m[2][2] - m[1][2] * m[2][0]) +
           m[0][2] * (m[1][0] * m[2][1] - m[1][1] * m[2][0]);
  };
  const double D = det3(A);
  const double scale = A[0][0] * A[1][1] * A[2][2];
  if (!(std::fabs(D) > 1e-12 * std::fabs(scale)) || !std::isfinite(D)) return false;
  double x[3];
  for (int k = 0; k < 3; ++k) {
    double M[3][3];
    for (int r = 0; r < 3; ++r)
      for (int q = 0; q < 3; ++q) M[r][q] = q == k ? b[r] : A[r][q];
    x[k] = det3(M) / D;
  }
  // The turn is about the drawing's origin (px, py), which the move shifts.
  pl.px += x[0];
  pl.py += x[1];
  pl.angle += x[2];
  return true;
}

std::vector<uint32_t> FitSubset(const Nominal& n, size_t most) {
  std::vector<uint32_t> all;
  for (uint32_t i = 0; i < n.points.size(); ++i) {
    if (!n.points[i].corner) all.push_back(i);
  }
  if (all.size() <= most || most == 0) return all;
  std::vector<uint32_t> some;
  for (size_t k = 0; k < most; ++k) some.push_back(all[k * all.size() / most]);
  return some;
}

// The smallest largest deviation (Chebyshev): the linear program of the
// pose's step solved exactly, a few times over as the turn bends the
// deviations. Points farther from the least-squares pose than a missing
// edge could be are left out (marked false in `keep`); a real bump is not,
// unlike in the robust fit. The pose stays when the program fails.
void MinMax(const std::vector<Observation>& obs, FitResult& r, std::vector<bool>& keep) {
  std::vector<double> a(obs.size());
  for (size_t i = 0; i < obs.size(); ++i) a[i] = std::fabs(DeviationOf(obs[i], r.placement));
  const double reach = std::max(kMinMaxReach, 6 * 1.4826 * Median(a));
  std::vector<Observation> kept;
  for (size_t i = 0; i < obs.size(); ++i) {
    keep[i] = a[i] <= reach;
    if (keep[i]) kept.push_back(obs[i]);
  }
  if (kept.size() < 4) return;
  std::vector<std::array<double, 3>> g(kept.size());
  std::vector<double> d(kept.size());
  for (int round = 0; round < 4; ++round) {
    Placement& pl = r.placement;
    for (size_t i = 0; i < kept.size(); ++i) {
      g[i] = Gradient(kept[i], pl);
      d[i] = DeviationOf(kept[i], pl);
    }
    std::array<double, 3> x{};
    double t = 0;
    if (!ChebyshevStep(g, d, &x, &t)) return;
    pl.px += x[0];
    pl.py += x[1];
    pl.angle += x[2];
    if (std::hypot(x[0], x[1]) < 1e-7 && std::fabs(x[2]) < 1e-10) break;
  }
}

// The residual (RMS) and the largest |deviation| of the points kept.
void Summarise(const std::vector<Observation>& obs, const std::vector<bool>& keep, FitResult& r) {
  double sum = 0;
  r.used = 0;
  r.largest = 0;
  for (size_t i = 0; i < obs.size(); ++i) {
    if (!keep[i]) continue;
    const double dev = DeviationOf(obs[i], r.placement);
    sum += dev * dev;
    r.largest = std::max(r.largest, std::fabs(dev));
    ++r.used;
  }
  r.residual = r.used > 0 ? std::sqrt(sum / static_cast<double>(r.used)) : 0.0;
}

bool InDatum(const std::vector<DatumRef>& datum, const NominalPoint& q) {
  for (const DatumRef& ref : datum) {
    if (ref.Holds(q)) return true;
  }
  return false;
}

}  // namespace

void Placement::ToImage(double x, double y, double* ix, double* iy) const {
  const double c = std::cos(angle), s = std::sin(angle);
  *ix = px + scale * (c * x + s * y);
  *iy = py + scale * (s * x - c * y);
}

void Placement::NormalToImage(double nx, double ny, double* ix, double* iy) const {
  const double c = std::cos(angle), s = std::sin(angle);
  *ix = c * nx + s * ny;
  *iy = s * nx - c * ny;
}

void MeasurePoints(const qgImage& image, const Placement& pl, const Nominal& n, const std::vector<uint32_t>& which,
                   const MeasureSettings& s, std::vector<Measured>& out) {
  out.assign(n.points.size(), Measured{});
  auto one = [&](uint32_t i) {
    const NominalPoint& q = n.points[i];
    out[i] = MeasureOne(image, pl, q, n.side.empty() || n.side[q.entity] != 0, s);
  };
  if (which.empty()) {
    for (uint32_t i = 0; i < n.points.size(); ++i) one(i);
  } else {
    for (uint32_t i : which) one(i);
  }
  // A curved edge is found nearer its centre than it lies, by (rows'
  // mean squared offset + blur^2) / (2 r); the blur is the edges' median.
  std::vector<double> spreads;
  for (const Measured& m : out) {
    if (m.found) spreads.push_back(m.spread);
  }
  const double blur = Median(spreads);
  const double rows = std::max(1.0, std::round(s.width));
  const double w2 = (rows * rows - 1) / 12;
  for (size_t i = 0; i < out.size(); ++i) {
    const NominalPoint& q = n.points[i];
    if (out[i].found && q.radius > 0) out[i].deviation += q.centre_side * (w2 + blur * blur) / (2 * q.radius * pl.scale);
  }
}

void ResolveSides(const qgImage& image, const Placement& pl, Nominal& n, const MeasureSettings& s) {
  std::vector<int64_t> votes(n.side.size(), 0);
  for (const NominalPoint& q : n.points) {
    if (n.side[q.entity] != 0) continue;
    Measured plain = MeasureOne(image, pl, q, true, s);
    NominalPoint flipped = q;
    flipped.nx = -q.nx;
    flipped.ny = -q.ny;
    Measured turned = MeasureOne(image, pl, flipped, true, s);
    votes[q.entity] += (plain.found ? 1 : 0) - (turned.found ? 1 : 0);
  }
  for (uint32_t e = 0; e < n.side.size(); ++e) {
    if (n.side[e] == 0 && votes[e] != 0) n.side[e] = votes[e] > 0 ? 1 : -1;
  }
  for (NominalPoint& q : n.points) {
    if (n.side[q.entity] >= 0 || votes[q.entity] == 0) continue;
    q.nx = -q.nx;
    q.ny = -q.ny;
    q.centre_side = -q.centre_side;
  }
}

FitResult FitPlacement(const qgImage& image, const Nominal& n, const Placement& start, const MeasureSettings& s,
                       const FitSettings& f) {
  FitResult r;
  r.placement = start;
  const std::vector<uint32_t> subset = FitSubset(n, f.fit_points);
  std::vector<Measured> measured;
  std::vector<Observation> obs;
  std::vector<bool> datum;
  std::vector<double> d, w;
  for (int round = 0; round < f.rounds; ++round) {
    MeasurePoints(image, r.placement, n, subset, s, measured);
    obs.clear();
    datum.clear();
    const Placement& pl = r.placement;
    for (uint32_t i : subset) {
      if (!measured[i].found) continue;
      const NominalPoint& q = n.points[i];
      // The edge where the (curvature-corrected) deviation puts it.
      double ux, uy;
      pl.NormalToImage(q.nx, q.ny, &ux, &uy);
      double ix, iy;
      pl.ToImage(q.x, q.y, &ix, &iy);
      obs.push_back({ix + ux * measured[i].deviation, iy + uy * measured[i].deviation, pl.scale * q.x,
                     -pl.scale * q.y, q.nx, -q.ny});
      datum.push_back(InDatum(f.datum, q));
    }
    r.measured = obs.size();
    if (obs.size() < 3) {
      r.why = "too few edges found along the drawing's outline";
      return r;
    }
    if (!f.datum.empty() && std::count(datum.begin(), datum.end(), true) < 3) {
      r.why = "too few edges found along the datum";
      return r;
    }
    for (int it = 0; it < 8; ++it) {
      d.resize(obs.size());
      for (size_t i = 0; i < obs.size(); ++i) d[i] = DeviationOf(obs[i], r.placement);
      TukeyWeights(d, w);
      for (size_t i = 0; i < obs.size(); ++i) w[i] *= datum[i] ? kDatumWeight : 1.0;
      const Placement before = r.placement;
      if (!Solve(obs, d, w, r.placement)) {
        r.why = "the edges found do not hold the drawing's position";
        return r;
      }
      if (std::hypot(r.placement.px - before.px, r.placement.py - before.py) < 1e-6 &&
          std::fabs(r.placement.angle - before.angle) < 1e-9) {
        break;
      }
    }
  }
  std::vector<bool> keep(obs.size());
  for (size_t i = 0; i < obs.size(); ++i) keep[i] = w[i] > 0;
  if (f.minmax) MinMax(obs, r, keep);
  Summarise(obs, keep, r);
  r.ok = true;
  return r;
}

}  // namespace orvane::cad
