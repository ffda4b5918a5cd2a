#include "cadfile/path.h"

#include <algorithm>
#include <cmath>

namespace orvane::cadfile {
namespace {
constexpr double kPi = 3.14159265358979323846;
}  // namespace

void Piece::At(double s, double* x, double* y, double* tx, double* ty) const {
  if (!arc()) {
    const double f = length > 0 ? s / length : 0.0;
    *x = ax + f * (bx - ax);
    *y = ay + f * (by - ay);
    *tx = length > 0 ? (bx - ax) / length : 1.0;
    *ty = length > 0 ? (by - ay) / length : 0.0;
    return;
  }
  const double dir = sweep > 0 ? 1.0 : -1.0;
  const double t = start + dir * s / r;
  *x = cx + r * std::cos(t);
  *y = cy + r * std::sin(t);
  *tx = -dir * std::sin(t);
  *ty = dir * std::cos(t);
}

Piece PieceOf(const Vertex& a, const Vertex& b) {
  Piece p;
  p.ax = a.x;
  p.ay = a.y;
  p.bx = b.x;
  p.by = b.y;
  const double chord = std::hypot(b.x - a.x, b.y - a.y);
  p.length = chord;
  if (a.bulge == 0 || chord == 0) return p;
  p.sweep = 4 * std::atan(a.bulge);
  p.r = chord / (2 * std::fabs(std::sin(p.sweep / 2)));
  // The centre lies left of the chord for a counter-clockwise arc of less
  // than half a turn.
  const double h = p.r * std::cos(p.sweep / 2) * (p.sweep > 0 ? 1 : -1);
  p.cx = 0.5 * (a.x + b.x) - h * (b.y - a.y) / chord;
  p.cy = 0.5 * (a.y + b.y) + h * (b.x - a.x) / chord;
  p.start = std::atan2(a.y - p.cy, a.x - p.cx);
  p.length = p.r * std::fabs(p.sweep);
  return p;
}

size_t PieceCount(const Entity& e) {
  if (e.path.size() < 2) return 0;
  return e.closed ? e.path.size() : e.path.size() - 1;
}

Piece PieceAt(const Entity& e, size_t i) { return PieceOf(e.path[i], e.path[(i + 1) % e.path.size()]); }

double PathLength(const Entity& e) {
  double sum = 0;
  for (size_t i = 0; i < PieceCount(e); ++i) sum += PieceAt(e, i).length;
  return sum;
}

double SignedArea(const Entity& e) {
  if (!e.closed) return 0.0;
  double twice = 0;
  for (size_t i = 0; i < PieceCount(e); ++i) {
    const Piece p = PieceAt(e, i);
    twice += p.ax * p.by - p.bx * p.ay;
    if (p.arc()) twice += p.r * p.r * (p.sweep - std::sin(p.sweep));
  }
  return twice / 2;
}

std::array<double, 4> PathBox(const Entity& e) {
  std::array<double, 4> box{HUGE_VAL, HUGE_VAL, -HUGE_VAL, -HUGE_VAL};
  auto take = [&box](double x, double y) {
    box = {std::min(box[0], x), std::min(box[1], y), std::max(box[2], x), std::max(box[3], y)};
  };
  for (const Vertex& v : e.path) take(v.x, v.y);
  for (size_t i = 0; i < PieceCount(e); ++i) {
    const Piece p = PieceAt(e, i);
    if (!p.arc()) continue;
    // The quarter-turn points the sweep passes.
    for (int k = -8; k <= 8; ++k) {
      const double a = k * kPi / 2;
      const double into = p.sweep > 0 ? a - p.start : p.start - a;
      if (into > 0 && into < std::fabs(p.sweep)) take(p.cx + p.r * std::cos(a), p.cy + p.r * std::sin(a));
    }
  }
  return box;
}

}  // namespace orvane::cadfile
