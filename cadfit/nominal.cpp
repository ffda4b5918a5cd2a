#include "cadfit/nominal.h"

#include <algorithm>
#include <cmath>
#include <unordered_map>

#include "cadfile/path.h"

namespace orvane::cad {
namespace {

using cadfile::Entity;
using cadfile::Piece;

constexpr double kPi = 3.14159265358979323846;
// Tangents that turn by more than this make a corner.
const double kCornerCos = std::cos(10.0 * kPi / 180.0);

struct Tangent {
  double x = 0, y = 0, tx = 1, ty = 0;
};
// The point and unit direction of travel at the start or the end of an
// entity.
Tangent EndOf(const Entity& e, bool end) {
  const size_t n = cadfile::PieceCount(e);
  Tangent t;
  if (n == 0) return t;
  const Piece p = cadfile::PieceAt(e, end ? n - 1 : 0);
  p.At(end ? p.length : 0.0, &t.x, &t.y, &t.tx, &t.ty);
  return t;
}

// Cells of `size` over the plane, for finding nearby points.
struct Grid {
  double size = 1;
  std::unordered_map<uint64_t, std::vector<uint32_t>> cells;
  static uint64_t Key(int64_t i, int64_t j) { return (static_cast<uint64_t>(i) << 32) ^ static_cast<uint32_t>(j); }
  int64_t Cell(double v) const { return static_cast<int64_t>(std::floor(v / size)); }
  void Add(double x, double y, uint32_t id) { cells[Key(Cell(x), Cell(y))].push_back(id); }
  template <class F>
  void Near(double x, double y, F f) const {
    for (int64_t i = Cell(x) - 1; i <= Cell(x) + 1; ++i)
      for (int64_t j = Cell(y) - 1; j <= Cell(y) + 1; ++j) {
        auto it = cells.find(Key(i, j));
        if (it != cells.end())
          for (uint32_t id : it->second) f(id);
      }
  }
};

// The open entities joined end to end: node of each end, and the entities
// at each node.
struct Joints {
  std::vector<uint32_t> node;  // 2 per entity: start, end (closed entities: none)
  std::vector<std::vector<uint32_t>> at;  // node -> entity ends (2 e + end)
};

Joints Join(const std::vector<Entity>& es, double eps) {
  Joints j;
  j.node.assign(2 * es.size(), UINT32_MAX);
  Grid grid{eps, {}};
  std::vector<std::pair<double, double>> where;
  for (uint32_t e = 0; e < es.size(); ++e) {
    if (es[e].closed || es[e].path.size() < 2) continue;
    for (int end = 0; end < 2; ++end) {
      const Tangent t = EndOf(es[e], end == 1);
      uint32_t found = UINT32_MAX;
      grid.Near(t.x, t.y, [&](uint32_t n) {
        if (found == UINT32_MAX && std::hypot(where[n].first - t.x, where[n].second - t.y) <= eps) found = n;
      });
      if (found == UINT32_MAX) {
        found = static_cast<uint32_t>(where.size());
        where.emplace_back(t.x, t.y);
        grid.Add(t.x, t.y, found);
        j.at.emplace_back();
      }
      j.node[2 * e + end] = found;
      j.at[found].push_back(2 * e + end);
    }
  }
  return j;
}

struct Loop {
  std::vector<std::pair<uint32_t, int32_t>> members;  // entity, direction (+1 as drawn)
  std::vector<std::pair<double, double>> polygon;
  double area = 0;  // signed
  int depth = 0;    // loops around it
};

void AddPolygon(const Entity& e, int32_t dir, std::vector<std::pair<double, double>>& poly) {
  const size_t n = cadfile::PieceCount(e);
  for (size_t k = 0; k < n; ++k) {
    const Piece p = cadfile::PieceAt(e, dir > 0 ? k : n - 1 - k);
    const int steps = p.arc() ? std::max(2, static_cast<int>(std::ceil(std::fabs(p.sweep) * 16 / kPi))) : 1;
    for (int s = 0; s < steps; ++s) {
      double x, y, tx, ty;
      const double along = dir > 0 ? p.length * s / steps : p.length * (steps - s) / steps;
      p.At(along, &x, &y, &tx, &ty);
      poly.emplace_back(x, y);
    }
  }
}

// Closed entities, and chains of open ones whose every joint joins two.
std::vector<Loop> FindLoops(const std::vector<Entity>& es, const Joints& j) {
  std::vector<Loop> loops;
  std::vector<bool> used(es.size(), false);
  for (uint32_t e = 0; e < es.size(); ++e) {
    if (es[e].closed && es[e].path.size() >= 2) loops.push_back({{{e, 1}}, {}, 0, 0});
  }
  for (uint32_t e = 0; e < es.size(); ++e) {
    if (used[e] || es[e].closed || j.node[2 * e] == UINT32_MAX) continue;
    Loop loop;
    uint32_t cur = e;
    int32_t dir = 1;
    bool closed = false;
    while (true) {
      used[cur] = true;
      loop.members.emplace_back(cur, dir);
      const uint32_t node = j.node[2 * cur + (dir > 0 ? 1 : 0)];
      if (j.at[node].size() != 2) break;
      const uint32_t mine = 2 * cur + (dir > 0 ? 1 : 0);
      const uint32_t other = j.at[node][0] == mine ? j.at[node][1] : j.at[node][0];
      if (other / 2 == e && other % 2 == 0) { closed = true; break; }
      if (used[other / 2]) break;
      cur = other / 2;
      dir = other % 2 == 0 ? 1 : -1;
    }
    if (closed) loops.push_back(std::move(loop));
  }
  for (Loop& l : loops) {
    for (auto [e, dir] : l.members) AddPolygon(es[e], dir, l.polygon);
    double twice = 0;
    for (size_t i = 0; i < l.polygon.size(); ++i) {
      const auto& a = l.polygon[i];
      const auto& b = l.polygon[(i + 1) % l.polygon.size()];
      twice += a.first * b.second - b.first * a.second;
    }
    l.area = twice / 2;
  }
  return loops;
}

bool Inside(const std::vector<std::pair<double, double>>& poly, double x, double y) {
  bool in = false;
  for (size_t i = 0, k = poly.size() - 1; i < poly.size(); k = i++) {
    const auto& a = poly[i];
    const auto& b = poly[k];
    if ((a.second > y) != (b.second > y) &&
        x < (b.first - a.first) * (y - a.second) / (b.second - a.second) + a.first) {
      in = !in;
    }
  }
  return in;
}

void Depths(std::vector<Loop>& loops) {
  for (Loop& l : loops) {
    // The middle of the first edge: a vertex may be shared with another loop.
    const auto& a = l.polygon[0];
    const auto& b = l.polygon[1 % l.polygon.size()];
    const double x = 0.5 * (a.first + b.first), y = 0.5 * (a.second + b.second);
    for (const Loop& m : loops) {
      if (&m != &l && std::fabs(m.area) > std::fabs(l.area) && Inside(m.polygon, x, y)) ++l.depth;
    }
  }
}

// Raw moments of the material: each loop counted positive when the material
// lies inside it, negative when it is a hole.
Moments MaterialMoments(const std::vector<Loop>& loops) {
  double a = 0, mx = 0, my = 0, xx = 0, yy = 0, xy = 0;
  for (const Loop& l : loops) {
    const double sign = (l.area > 0 ? 1 : -1) * (l.depth % 2 == 0 ? 1 : -1);
    const auto& p = l.polygon;
    for (size_t i = 0; i < p.size(); ++i) {
      const double x0 = p[i].first, y0 = p[i].second;
      const double x1 = p[(i + 1) % p.size()].first, y1 = p[(i + 1) % p.size()].second;
      const double c = (x0 * y1 - x1 * y0) * sign;
      a += c / 2;
      mx += (x0 + x1) * c / 6;
      my += (y0 + y1) * c / 6;
      xx += (x0 * x0 + x0 * x1 + x1 * x1) * c / 12;
      yy += (y0 * y0 + y0 * y1 + y1 * y1) * c / 12;
      xy += (x0 * y1 + 2 * x0 * y0 + 2 * x1 * y1 + x1 * y0) * c / 24;
    }
  }
  return CentralMoments(a, a, mx, my, xx, yy, xy);
}

// Corners: vertices where the path turns sharply, joints of entities that
// meet at an angle, and free ends.
std::vector<std::pair<double, double>> Corners(const std::vector<Entity>& es, const Joints& j) {
  std::vector<std::pair<double, double>> out;
  for (uint32_t e = 0; e < es.size(); ++e) {
    const size_t n = cadfile::PieceCount(es[e]);
    for (size_t k = 0; k < n; ++k) {
      if (k == 0 && !es[e].closed) continue;
      const Piece in = cadfile::PieceAt(es[e], (k + n - 1) % n), out_piece = cadfile::PieceAt(es[e], k);
      double x, y, ax, ay, bx, by;
      in.At(in.length, &x, &y, &ax, &ay);
      out_piece.At(0, &x, &y, &bx, &by);
      if (ax * bx + ay * by < kCornerCos) out.emplace_back(x, y);
    }
  }
  for (const std::vector<uint32_t>& ends : j.at) {
    const Tangent a = EndOf(es[ends[0] / 2], ends[0] % 2 == 1);
    bool smooth = false;
    if (ends.size() == 2) {
      const Tangent b = EndOf(es[ends[1] / 2], ends[1] % 2 == 1);
      // Travel into the joint along one, out along the other.
      const double sa = ends[0] % 2 == 1 ? 1 : -1, sb = ends[1] % 2 == 1 ? -1 : 1;
      smooth = (sa * a.tx) * (sb * b.tx) + (sa * a.ty) * (sb * b.ty) >= kCornerCos;
    }
    if (!smooth) out.emplace_back(a.x, a.y);
  }
  return out;
}

void SidesFromLoops(const std::vector<Loop>& loops, std::vector<int32_t>& side) {
  for (const Loop& l : loops) {
    const int32_t outward = l.area > 0 ? 1 : -1, inside = l.depth % 2 == 0 ? 1 : -1;
    for (auto [e, dir] : l.members) side[e] = dir * outward * inside;
  }
}

void Sample(const std::vector<Entity>& es, const std::vector<int32_t>& side, double step, Nominal& out) {
  for (uint32_t e = 0; e < es.size(); ++e) {
    const double s = side[e] == 0 ? 1.0 : side[e];
    for (size_t k = 0; k < cadfile::PieceCount(es[e]); ++k) {
      const Piece p = cadfile::PieceAt(es[e], k);
      const size_t n = std::max<size_t>(1, static_cast<size_t>(std::ceil(p.length / step)));
      for (size_t i = 0; i < n && p.length > 0; ++i) {
        NominalPoint q;
        double tx, ty;
        p.At((i + 0.5) * p.length / n, &q.x, &q.y, &tx, &ty);
        q.nx = s * ty;
        q.ny = -s * tx;
        q.entity = e;
        q.piece = static_cast<uint32_t>(k);
        if (p.arc()) {
          q.radius = p.r;
          q.centre_side = q.nx * (p.cx - q.x) + q.ny * (p.cy - q.y) < 0 ? 1 : -1;
        }
        out.points.push_back(q);
      }
    }
  }
}

}  // namespace

Nominal BuildNominal(const cadfile::Drawing& d, double step, double corner_gap, size_t max_points) {
  Nominal out;
  const std::vector<Entity>& es = d.entities;
  double total = 0, x0 = HUGE_VAL, y0 = HUGE_VAL, x1 = -HUGE_VAL, y1 = -HUGE_VAL;
  for (const Entity& e : es) {
    total += cadfile::PathLength(e);
    const auto b = cadfile::PathBox(e);
    x0 = std::min(x0, b[0]), y0 = std::min(y0, b[1]), x1 = std::max(x1, b[2]), y1 = std::max(y1, b[3]);
  }
  if (es.empty() || !(step > 0) || total / step + es.size() > static_cast<double>(max_points)) return out;
  out.extent = std::max(x1 - x0, y1 - y0);
  const Joints joints = Join(es, std::max(1e-9, 1e-6 * out.extent));
  std::vector<Loop> loops = FindLoops(es, joints);
  Depths(loops);
  out.moments = MaterialMoments(loops);
  out.side.assign(es.size(), 0);
  SidesFromLoops(loops, out.side);
  Sample(es, out.side, step, out);
  Grid grid{std::max(corner_gap, 1e-12), {}};
  const auto corners = Corners(es, joints);
  for (uint32_t i = 0; i < corners.size(); ++i) grid.Add(corners[i].first, corners[i].second, i);
  for (NominalPoint& q : out.points) {
    grid.Near(q.x, q.y, [&](uint32_t i) {
      if (std::hypot(corners[i].first - q.x, corners[i].second - q.y) <= corner_gap) q.corner = true;
    });
  }
  return out;
}

Moments CentralMoments(double area, double w, double sx, double sy, double xx, double yy, double xy) {
  Moments m;
  if (!(w > 0)) return m;
  m.area = area;
  m.cx = sx / w;
  m.cy = sy / w;
  m.sxx = xx / w - m.cx * m.cx;
  m.syy = yy / w - m.cy * m.cy;
  m.sxy = xy / w - m.cx * m.cy;
  return m;
}

Nominal NominalAtScale(const cadfile::Drawing& drawing, double px_per_unit) {
  return BuildNominal(drawing, 1.0 / px_per_unit, kCornerGapPx / px_per_unit, kMaxNominalPoints);
}

}  // namespace orvane::cad
