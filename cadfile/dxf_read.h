// Reading an ASCII DXF drawing into plain 2-D geometry: every curve of the
// drawing as a path of vertices joined by straight or circular pieces (the
// bulge of a polyline), in drawing units, with the blocks' inserts expanded.
//
// Lines, arcs, circles and polylines keep their exact shape (arcs as
// bulges); ellipses, splines, and arcs that an insert scales unevenly are
// flattened into straight pieces no farther than `flatness` from the curve.
// Entities of any other kind are counted by kind and left out. The reader
// trusts nothing in the text: counts, nesting and numbers are bounded, and a
// drawing past a bound is refused whole with a reason.
#pragma once

#include <cstddef>
#include <cstdint>
#include <map>
#include <optional>
#include <set>
#include <string>
#include <string_view>
#include <vector>

namespace orvane::cadfile {

// A vertex of a path; `bulge` shapes the piece from this vertex to the next
// one: 0 straight, otherwise a circular arc whose sweep is 4 atan(bulge),
// positive counter-clockwise (y up, as in the drawing).
struct Vertex {
  double x = 0.0;
  double y = 0.0;
  double bulge = 0.0;
  bool operator==(const Vertex&) const = default;
};

// One curve of the drawing. A closed path also runs from its last vertex to
// its first (with the last vertex's bulge); a circle is a closed path of two
// half-circle pieces.
struct Entity {
  std::string kind;  // the DXF kind it came from: LINE, ARC, CIRCLE, ...
  std::string layer;
  std::vector<Vertex> path;
  bool closed = false;
};

struct ReadOptions {
  // Largest distance, in drawing units, between a flattened curve and its
  // straight pieces; at least 1e-9.
  double flatness = 1e-3;
  // Only entities on these layers (after inserts pass their layer to the
  // entities of layer "0" in their block); empty: every layer.
  std::set<std::string> layers;
  // Bounds on hostile drawings.
  size_t max_bytes = size_t{64} << 20;
  size_t max_entities = 200000;  // curves in the result, inserts expanded
  size_t max_vertices = 4000000; // vertices in the result, all paths together
  uint32_t max_nesting = 16;     // inserts within inserts
};

struct Drawing {
  int32_t insunits = 0;  // the header's $INSUNITS; 0 when missing or unitless
  std::vector<Entity> entities;
  // Entities of kinds the reader does not take, by kind.
  std::map<std::string, uint32_t> left_out;
  // Curves on each layer, before the choice of layers.
  std::map<std::string, uint32_t> layers;
};

// Reads the text of a DXF file. Nothing, and the reason in *error, for a
// text that is not an ASCII DXF drawing or passes a bound.
std::optional<Drawing> ReadDxf(std::string_view text, const ReadOptions& options,
                               std::string* error);
// The same for a file (only a regular file, at most options.max_bytes).
std::optional<Drawing> ReadDxfFile(const std::string& path, const ReadOptions& options,
                                   std::string* error);

// Millimetres in one unit of $INSUNITS `code`; 0 for unitless or unknown.
double MillimetresPerUnit(int32_t code);
// The unit's short name ("mm", "in", ...); empty for 0 or unknown codes.
std::string UnitName(int32_t code);
// The $INSUNITS code of a short name ("mm", "cm", "m", "in", "ft", "um",
// "mil"); 0 for a name it does not know.
int32_t UnitCode(std::string_view name);

// "left out: 2 TEXT, 1 HATCH" for what the reader did not take; empty when
// nothing was left out.
std::string LeftOutText(const Drawing& drawing);

}  // namespace orvane::cadfile
