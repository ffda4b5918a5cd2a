// The geometry of a drawing's paths: each piece between two vertices as a
// straight segment or a circular arc, its length, and a path's signed area.
#pragma once

#include <array>
#include <cstddef>

#include "cadfile/dxf_read.h"

namespace orvane::cadfile {

// The piece from a to b shaped by a.bulge. An arc has its centre, radius,
// the angle of a seen from the centre and the signed sweep to b (positive
// counter-clockwise); a straight piece has r = 0 and sweep = 0.
struct Piece {
  double ax = 0, ay = 0, bx = 0, by = 0;
  double cx = 0, cy = 0, r = 0, start = 0, sweep = 0;
  double length = 0;
  bool arc() const { return r > 0; }
  // The point at distance s along the piece (0 <= s <= length), and the
  // unit tangent there in the direction of travel.
  void At(double s, double* x, double* y, double* tx, double* ty) const;
};

Piece PieceOf(const Vertex& a, const Vertex& b);

// The number of pieces of a path: vertices - 1, or vertices when closed.
size_t PieceCount(const Entity& e);
Piece PieceAt(const Entity& e, size_t i);

double PathLength(const Entity& e);
// Shoelace area with each arc's circular segment, positive when the path
// runs counter-clockwise; 0 for an open path.
double SignedArea(const Entity& e);
// {xmin, ymin, xmax, ymax} of the path, arcs included exactly.
std::array<double, 4> PathBox(const Entity& e);

}  // namespace orvane::cadfile
