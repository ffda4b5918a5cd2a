// Laying the drawing on the picture: the placement (image pose and scale),
// the sub-pixel edges found along the nominal normals with the gauge
// library's caliper, the coarse placing by the material's moments, the rigid
// best fit (never a scale), and the deviations.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "cadfit/nominal.h"
#include "qgauge.h"

namespace orvane::cad {

// Drawing point (x, y) (y up) lies in the picture at
// (px, py) + R(angle) (scale x, -scale y): the drawing turned by `angle`
// (radians, +x towards +y, so clockwise on the screen) about its origin.
struct Placement {
  double scale = 1.0;  // pixels per drawing unit; never fitted
  double px = 0.0, py = 0.0;
  double angle = 0.0;
  void ToImage(double x, double y, double* ix, double* iy) const;
  void NormalToImage(double nx, double ny, double* ix, double* iy) const;
};

struct MeasureSettings {
  double search = 8.0;       // edges looked for within +-search px of the nominal
  double width = 5.0;        // caliper rows across the normal, px
  double threshold = 10.0;   // weakest edge, grey levels
  bool bright_object = false; // the part is brighter than its background
};

// One nominal point measured: its signed deviation in pixels (+ where the
// material reaches beyond the nominal outline), corrected for the pull of a
// curved edge towards its centre; found false when no edge of the right
// polarity lies within the search.
struct Measured {
  bool found = false;
  double deviation = 0.0;
  double ex = 0.0, ey = 0.0;  // the edge in the picture
  double spread = 0.0;        // the edge's blur, px
};

// Measures the points listed in `which` (all when empty) into out (sized to
// every point; the others left not found).
void MeasurePoints(const qgImage& image, const Placement& placement, const Nominal& nominal,
                   const std::vector<uint32_t>& which, const MeasureSettings& settings,
                   std::vector<Measured>& out);

// Entities whose material side the outlines leave open take the side the
// picture shows most often along them (their normals turned to match).
void ResolveSides(const qgImage& image, const Placement& placement, Nominal& nominal,
                  const MeasureSettings& settings);

// A feature of the drawing a fit may be fixed on: a whole entity (a hole),
// or one piece of its path (a straight edge).
struct DatumRef {
  uint32_t entity = 0;
  int32_t piece = -1;  // -1: the whole entity
  bool Holds(const NominalPoint& q) const {
    return q.entity == entity && (piece < 0 || q.piece == static_cast<uint32_t>(piece));
  }
};

struct FitSettings {
  bool minmax = false;        // least squares first, then the smallest largest deviation
  // The pose is fixed on these features as far as they hold it (two holes:
  // wholly; an edge: its turn and its normal offset), the rest of the
  // outline settling what they leave free.
  std::vector<DatumRef> datum;
  size_t fit_points = 1500;   // points of the outline the fit uses at most
  int rounds = 3;             // measure-then-fit rounds
};

struct FitResult {
  bool ok = false;
  std::string why;           // when not ok
  Placement placement;
  double residual = 0.0;     // RMS deviation of the points the fit kept, px
  double largest = 0.0;      // their largest |deviation|, px
  size_t used = 0, measured = 0;
};

// The drawing's material centred on the picture's object (dark, or bright
// with settings.bright_object) with the principal axes along each other,
// trying the turns the drawing's shape leaves open; the best after a short
// fit. `scale` is pixels per drawing unit.
FitResult CoarsePlace(const qgImage& image, Nominal& nominal, double scale, const MeasureSettings& settings);

// Rigid least-squares fit (Tukey weights, so that missing or damaged edges
// drop out) from `start`, re-measuring each round.
FitResult FitPlacement(const qgImage& image, const Nominal& nominal, const Placement& start,
                       const MeasureSettings& settings, const FitSettings& fit);

struct Deviation {
  double max = 0.0, min = 0.0, rms = 0.0;  // px; max >= 0 >= min when any point was measured
  uint32_t points = 0;   // profile points measured (corners apart)
  uint32_t missing = 0;  // profile points without an edge
  uint32_t corners = 0;  // corner points (measured or not), not in the figures
  int64_t worst = -1;    // index of the point of largest |deviation|
};

struct Comparison {
  std::vector<Measured> points;
  std::vector<Deviation> entities;
  Deviation all;
};

Comparison Compare(const qgImage& image, const Nominal& nominal, const Placement& placement,
                   const MeasureSettings& settings);

// Whether every profile point was measured and lies within +-half_px.
bool Passes(const Deviation& d, double half_px);

// `v` with `decimals` decimals; a value that rounds to zero has no sign.
std::string Fixed(double v, int decimals);
// "+0.0123" / "-0.0045": a deviation with its sign, 4 decimals.
std::string SignedNumber(double value);
// "max +A min -B rms C": the figures in drawing units, `unit_px` pixels a unit.
std::string FiguresText(const Deviation& d, double unit_px);

}  // namespace orvane::cad
