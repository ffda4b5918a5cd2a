// The DXF reader's back half: entities as read, in their own frame, and
// their expansion into the drawing's curves (inserts placed, arcs as bulges,
// ellipses and splines flattened).
#pragma once

#include <map>
#include <string>
#include <vector>

#include "cadfile/dxf_read.h"

namespace orvane::cadfile {

// Most control points (or fit points) a spline may have, and its highest
// degree.
inline constexpr size_t kMaxSplinePoints = 100000;
inline constexpr int32_t kMaxSplineDegree = 15;

struct Point2 {
  double x = 0.0;
  double y = 0.0;
};

// One entity's groups as read. The fields are shared by the kinds: `p` is
// the first point, centre or insertion point; `q` the second point or an
// ellipse's major axis; `r` a radius or the ellipse's axis ratio; a0/a1 the
// start and end angles (degrees) or ellipse parameters (radians).
struct Shape {
  std::string kind;
  std::string layer = "0";
  std::string name;  // INSERT: the block
  Point2 p, q;
  double r = 0.0, a0 = 0.0, a1 = 0.0;
  double sx = 1.0, sy = 1.0, rotation = 0.0, dc = 0.0, dr = 0.0;  // INSERT
  double bulge = 0.0;                                              // VERTEX
  int32_t flags = 0;   // 70: closed, mesh, spline flags; INSERT columns
  int32_t degree = 0;  // 71: spline degree; INSERT rows
  bool mirror = false; // extrusion towards -z: x mirrored in the entity's frame
  std::vector<Vertex> vertices; // polyline vertices, spline control points
  std::vector<Vertex> fit;      // spline fit points
  std::vector<double> knots, weights;
};

struct Block {
  Point2 base;
  std::vector<Shape> shapes;
};
using Blocks = std::map<std::string, Block>;

// Places every shape (inserts expanded through their blocks) into the
// drawing's entities, left-out counts and layer counts. False, with the
// reason, when a bound is passed, a block inserts itself or a curve is
// damaged.
bool ExpandShapes(const std::vector<Shape>& top, const Blocks& blocks, const ReadOptions& options,
                  Drawing& drawing, std::string* why);

}  // namespace orvane::cadfile
