// The drawing's nominal outline as points to measure: evenly spaced along
// every curve, each with the normal that points away from the part's
// material, the curve's radius there, and whether it lies near a sharp
// corner. Also the material's area moments, for the coarse placing.
#pragma once

#include <cstdint>
#include <vector>

#include "cadfile/dxf_read.h"

namespace orvane::cad {

struct NominalPoint {
  double x = 0, y = 0;    // drawing units, y up
  double nx = 0, ny = 0;  // unit normal, away from the material (or from the right of travel while unknown)
  uint32_t entity = 0;    // index in the drawing's entities
  uint32_t piece = 0;     // index of the piece of the entity's path it lies on
  double radius = 0;      // of the arc it lies on, drawing units; 0 on a straight piece
  // +1 when the arc's centre lies on the material's side, -1 when not.
  int32_t centre_side = 0;
  bool corner = false;    // within the corner gap of a sharp corner or a free end
};

// Area moments of the material (closed outlines, holes taken away):
// area, centroid, and the central second moments.
struct Moments {
  double area = 0, cx = 0, cy = 0, sxx = 0, syy = 0, sxy = 0;
};

// The central moments from raw sums over a weight `w` (the sums of x, y,
// xx, yy, xy), with `area` as the area; none when w is not above 0.
Moments CentralMoments(double area, double w, double sx, double sy, double xx, double yy, double xy);

struct Nominal {
  std::vector<NominalPoint> points;
  // Per entity: +1 or -1 when its material side is known from the closed
  // outlines (the normals already point away from it), 0 when not.
  std::vector<int32_t> side;
  Moments moments;           // zero area when the drawing has no closed outline
  double extent = 0;         // the drawing's larger side, drawing units
};

// Points no more than `step` apart (drawing units) along every curve;
// those within `corner_gap` (drawing units) of a corner are marked. At most
// `max_points`: a longer outline is refused (empty result).
Nominal BuildNominal(const cadfile::Drawing& drawing, double step, double corner_gap, size_t max_points);

// Curves are flattened to within this of the drawing, in picture pixels.
inline constexpr double kFlatnessPx = 0.01;
// Points this near a corner are set apart, in picture pixels.
inline constexpr double kCornerGapPx = 5.0;
// The most points an outline is measured at.
inline constexpr size_t kMaxNominalPoints = 2000000;

// The points a picture at `px_per_unit` pixels a drawing unit is measured
// at: a pixel apart, corners set apart kCornerGapPx.
Nominal NominalAtScale(const cadfile::Drawing& drawing, double px_per_unit);

}  // namespace orvane::cad
