#include "cadfile/dxf_shapes.h"

#include <algorithm>
#include <cmath>
#include <functional>

namespace orvane::cadfile {
namespace {

constexpr double kPi = 3.14159265358979323846;
constexpr double kDegree = kPi / 180.0;

// x' = a x + b y + e, y' = c x + d y + f.
struct Affine {
  double a = 1, b = 0, c = 0, d = 1, e = 0, f = 0;
  Point2 operator()(Point2 p) const { return {a * p.x + b * p.y + e, c * p.x + d * p.y + f}; }
  Affine operator*(const Affine& o) const {
    return {a * o.a + b * o.c, a * o.b + b * o.d, c * o.a + d * o.c, c * o.b + d * o.d,
            a * o.e + b * o.f + e, c * o.e + d * o.f + f};
  }
  double det() const { return a * d - b * c; }
  // The largest factor by which a length grows.
  double stretch() const {
    const double p = a * a + c * c, q = b * b + d * d, r = a * b + c * d;
    return std::sqrt(0.5 * (p + q) + std::sqrt(0.25 * (p - q) * (p - q) + r * r));
  }
  // Angles and circles kept: both columns equally long and square.
  bool similar() const {
    const double p = std::hypot(a, c), q = std::hypot(b, d);
    return std::fabs(p - q) <= 1e-12 * (p + q) && std::fabs(a * b + c * d) <= 1e-12 * (p * q + 1e-300);
  }
};

Affine Mirror() { return {-1, 0, 0, 1, 0, 0}; }

// The frame of an insert: block base to the origin, scale, turn, move.
Affine InsertFrame(const Shape& s, Point2 base, double dx, double dy) {
  const double co = std::cos(s.rotation * kDegree), si = std::sin(s.rotation * kDegree);
  Affine m{co * s.sx, -si * s.sy, si * s.sx, co * s.sy, 0, 0};
  const Point2 off{dx - base.x * s.sx, dy - base.y * s.sy};
  m.e = s.p.x + co * off.x - si * off.y;
  m.f = s.p.y + si * off.x + co * off.y;
  return m;
}

class Expander {
 public:
  Expander(const Blocks& blocks, const ReadOptions& o, Drawing& d) : blocks_(blocks), o_(o), d_(d) {}

  bool Run(const std::vector<Shape>& top, std::string* why) {
    for (const Shape& s : top) {
      if (!error_.empty()) break;
      Place(s, Affine{}, s.layer, 0);
    }
    if (!error_.empty()) *why = error_;
    return error_.empty();
  }

 private:
  void Fail(std::string why) {
    if (error_.empty()) error_ = std::move(why);
  }

  void Place(const Shape& s, const Affine& outer, const std::string& layer, uint32_t depth) {
    if (!error_.empty()) return;
    if (++visits_ > 10 * o_.max_entities) return Fail("the drawing's inserts expand past what the reader takes");
    // LINE, ELLIPSE and SPLINE give world coordinates; the others their own
    // frame's, which a negative extrusion mirrors.
    const bool own_frame = s.kind != "LINE" && s.kind != "ELLIPSE" && s.kind != "SPLINE";
    const Affine m = s.mirror && own_frame ? outer * Mirror() : outer;
    const std::string& where = s.layer == "0" && depth > 0 ? layer : s.layer;
    if (s.kind == "INSERT") return Insert(s, m, where, depth);
    Entity e;
    e.kind = s.kind;
    e.layer = where;
    if (s.kind == "LINE") {
      e.path = {{s.p.x, s.p.y, 0}, {s.q.x, s.q.y, 0}};
    } else if (s.kind == "ARC" || s.kind == "CIRCLE") {
      if (!(s.r > 0)) return Fail("a" + std::string(s.kind == "ARC" ? "n ARC" : " CIRCLE") + " has no radius");
      ArcPath(s, e);
    } else if (s.kind == "LWPOLYLINE" || s.kind == "POLYLINE") {
      if (s.kind == "POLYLINE" && (s.flags & (16 | 64))) return LeaveOut("POLYLINE mesh");
      if (s.vertices.size() < 2) return LeaveOut(s.kind + " of fewer than two vertices");
      e.path = s.vertices;
      e.closed = (s.flags & 1) != 0;
    } else if (s.kind == "ELLIPSE") {
      return Ellipse(s, m, std::move(e));
    } else if (s.kind == "SPLINE") {
      return Spline(s, m, std::move(e));
    } else {
      return LeaveOut(s.kind);
    }
    Transform(m, e);
    Keep(std::move(e));
  }

  void LeaveOut(const std::string& kind) { ++d_.left_out[kind]; }

  void Insert(const Shape& s, const Affine& m, const std::string& layer, uint32_t depth) {
    const auto it = blocks_.find(s.name);
    if (it == blocks_.end()) return LeaveOut("INSERT of a missing block");
    if (depth >= o_.max_nesting) return Fail("inserts are nested deeper than " + std::to_string(o_.max_nesting));
    if (std::find(stack_.begin(), stack_.end(), s.name) != stack_.end()) {
      return Fail("block \"" + s.name.substr(0, 64) + "\" inserts itself");
    }
    if (!(s.sx != 0 && s.sy != 0)) return LeaveOut("INSERT of scale 0");
    const int64_t cols = std::max(1, s.flags), rows = std::max(1, s.degree);
    if (cols * rows > static_cast<int64_t>(o_.max_entities)) return Fail("an insert repeats its block too often");
    stack_.push_back(s.name);
    for (int64_t r = 0; r < rows && error_.empty(); ++r) {
      for (int64_t c = 0; c < cols && error_.empty(); ++c) {
        const Affine frame = m * InsertFrame(s, it->second.base, c * s.dc, r * s.dr);
        for (const Shape& child : it->second.shapes) Place(child, frame, layer, depth + 1);
      }
    }
    stack_.pop_back();
  }

  // An arc (degrees, counter-clockwise from a0 to a1) or a circle as pieces
  // of at most a quarter turn.
  void ArcPath(const Shape& s, Entity& e) {
    const bool circle = s.kind == "CIRCLE";
    double sweep = circle ? 360.0 : std::fmod(s.a1 - s.a0, 360.0);
    if (sweep <= 0) sweep += 360.0;
    const int n = std::max(1, static_cast<int>(std::ceil(sweep / 90.0 - 1e-9)));
    const double step = sweep / n, bulge = std::tan(step * kDegree / 4);
    const int points = circle ? n : n + 1;
    for (int i = 0; i < points; ++i) {
      const double a = (s.a0 + i * step) * kDegree;
      e.path.push_back({s.p.x + s.r * std::cos(a), s.p.y + s.r * std::sin(a), i < n ? bulge : 0.0});
    }
    e.closed = circle;
  }

  // Into the drawing's frame: exactly for a similarity, else arcs
  // flattened first.
  void Transform(const Affine& m, Entity& e) {
    const bool flip = m.det() < 0;
    if (!m.similar()) Flatten(e, o_.flatness / m.stretch());
    for (Vertex& v : e.path) {
      const Point2 p = m({v.x, v.y});
      v = {p.x, p.y, flip ? -v.bulge : v.bulge};
    }
  }

  // Bulged pieces replaced by straight ones within `tol`.
  void Flatten(Entity& e, double tol) {
    std::vector<Vertex> out;
    const size_t n = e.path.size();
    for (size_t i = 0; i < n && error_.empty(); ++i) {
      const Vertex& a = e.path[i];
      out.push_back({a.x, a.y, 0.0});
      if (a.bulge == 0 || (i + 1 == n && !e.closed)) continue;
      const Vertex& b = e.path[(i + 1) % n];
      const double theta = 4 * std::atan(a.bulge), chord = std::hypot(b.x - a.x, b.y - a.y);
      if (chord == 0) continue;
      const double radius = chord / (2 * std::fabs(std::sin(theta / 2)));
      const double mx = 0.5 * (a.x + b.x), my = 0.5 * (a.y + b.y);
      const double h = radius * std::cos(theta / 2) * (theta > 0 ? 1 : -1);
      const double cx = mx - h * (b.y - a.y) / chord, cy = my + h * (b.x - a.x) / chord;
      const double step = 2 * std::acos(std::max(-1.0, 1 - std::min(tol, radius) / radius));
      const int pieces = static_cast<int>(std::min(1e7, std::ceil(std::fabs(theta) / std::max(step, 1e-9))));
      if (!Budget(out.size() + static_cast<size_t>(pieces))) return;
      const double a0 = std::atan2(a.y - cy, a.x - cx);
      for (int k = 1; k < pieces; ++k) {
        const double t = a0 + theta * k / pieces;
        out.push_back({cx + radius * std::cos(t), cy + radius * std::sin(t), 0.0});
      }
    }
    e.path = std::move(out);
  }

  bool Budget(size_t more) {
    if (vertices_ + more <= o_.max_vertices) return true;
    Fail("the drawing has more vertices than the reader takes");
    return false;
  }

  // Points of a curve along [t0, t1] within `tol` of it: halves of each
  // interval until the middle lies within tol of the chord (each of the
  // `pieces` starting intervals halved at least twice).
  void Curve(const std::function<Point2(double)>& at, double t0, double t1, int pieces, double tol,
             std::vector<Vertex>& out) {
    std::function<void(double, Point2, double, Point2, int)> half = [&](double ta, Point2 pa, double tb,
                                                                        Point2 pb, int depth) {
      if (!error_.empty()) return;
      const double tm = 0.5 * (ta + tb);
      const Point2 pm = at(tm);
      const double cx = pb.x - pa.x, cy = pb.y - pa.y, len = std::hypot(cx, cy);
      const double off = len > 0 ? std::fabs((pm.x - pa.x) * cy - (pm.y - pa.y) * cx) / len
                                 : std::hypot(pm.x - pa.x, pm.y - pa.y);
      if (depth < 20 && (depth < 2 || off > tol)) {
        half(ta, pa, tm, pm, depth + 1);
        half(tm, pm, tb, pb, depth + 1);
        return;
      }
      if (!Budget(out.size() + 1)) return;
      out.push_back({pb.x, pb.y, 0.0});
    };
    Point2 p0 = at(t0);
    out.push_back({p0.x, p0.y, 0.0});
    for (int i = 0; i < pieces; ++i) {
      const double ta = t0 + (t1 - t0) * i / pieces, tb = t0 + (t1 - t0) * (i + 1) / pieces;
      half(ta, at(ta), tb, at(tb), 0);
    }
  }

  void Ellipse(const Shape& s, const Affine& m, Entity e) {
    const double ratio = s.r;
    if (!(ratio > 0 && ratio <= 1) || (s.q.x == 0 && s.q.y == 0)) return Fail("an ELLIPSE has no usable axes");
    const double sign = s.mirror ? -1 : 1;
    const Point2 major = s.q, minor{-sign * ratio * s.q.y, sign * ratio * s.q.x};
    double t0 = s.a0, t1 = s.a1;
    const bool full = std::fabs(t1 - t0) < 1e-12 || std::fabs(std::fabs(t1 - t0) - 2 * kPi) < 1e-12;
    if (full) t1 = t0 + 2 * kPi;
    while (t1 <= t0) t1 += 2 * kPi;
    auto at = [&](double t) {
      return m({s.p.x + major.x * std::cos(t) + minor.x * std::sin(t),
                s.p.y + major.y * std::cos(t) + minor.y * std::sin(t)});
    };
    Curve(at, t0, t1, 8, o_.flatness, e.path);
    if (full && !e.path.empty()) e.path.pop_back();
    e.closed = full;
    Keep(std::move(e));
  }

  void Spline(const Shape& s, const Affine& m, Entity e);

  void Keep(Entity e) {
    if (!error_.empty()) return;
    ++d_.layers[e.layer];
    if (!o_.layers.empty() && !o_.layers.count(e.layer)) return;
    if (d_.entities.size() >= o_.max_entities) return Fail("the drawing has more entities than the reader takes");
    if (!Budget(e.path.size())) return;
    vertices_ += e.path.size();
    d_.entities.push_back(std::move(e));
  }

  const Blocks& blocks_;
  const ReadOptions& o_;
  Drawing& d_;
  std::vector<std::string> stack_;
  size_t visits_ = 0;
  size_t vertices_ = 0;
  std::string error_;
};

// A point of a (rational) B-spline by de Boor's algorithm; k is the span
// with knots[k] <= t < knots[k + 1].
Point2 DeBoor(const std::vector<Point2>& ctrl, const std::vector<double>& w, const std::vector<double>& knots,
              int p, size_t k, double t) {
  double x[kMaxSplineDegree + 1], y[kMaxSplineDegree + 1], h[kMaxSplineDegree + 1];
  for (int j = 0; j <= p; ++j) {
    const size_t i = k - static_cast<size_t>(p) + static_cast<size_t>(j);
    h[j] = w.empty() ? 1.0 : w[i];
    x[j] = ctrl[i].x * h[j];
    y[j] = ctrl[i].y * h[j];
  }
  for (int r = 1; r <= p; ++r) {
    for (int j = p; j >= r; --j) {
      const size_t i = k - static_cast<size_t>(p) + static_cast<size_t>(j);
      const double den = knots[i + static_cast<size_t>(p) + 1 - static_cast<size_t>(r)] - knots[i];
      const double a = den > 0 ? (t - knots[i]) / den : 0.0;
      x[j] = (1 - a) * x[j - 1] + a * x[j];
      y[j] = (1 - a) * y[j - 1] + a * y[j];
      h[j] = (1 - a) * h[j - 1] + a * h[j];
    }
  }
  return {x[p] / h[p], y[p] / h[p]};
}

// Why a spline's numbers make no curve, or empty.
std::string SplineProblem(const Shape& s) {
  const size_t n = s.vertices.size(), p = static_cast<size_t>(std::max(s.degree, 0));
  if (s.degree < 1 || s.degree > kMaxSplineDegree) return "a SPLINE's degree is not 1 to 15";
  if (n < p + 1) return "a SPLINE has fewer control points than its degree needs";
  if (s.knots.size() != n + p + 1) return "a SPLINE's knots do not match its control points";
  if (!std::is_sorted(s.knots.begin(), s.knots.end())) return "a SPLINE's knots are not in order";
  if (!(s.knots[n] > s.knots[p])) return "a SPLINE's knots span nothing";
  if (!s.weights.empty() && s.weights.size() != n) return "a SPLINE's weights do not match its control points";
  for (double w : s.weights) {
    if (!(w > 0)) return "a SPLINE has a weight that is not positive";
  }
  return {};
}

void Expander::Spline(const Shape& s, const Affine& m, Entity e) {
  if (s.vertices.empty() && !s.fit.empty()) return LeaveOut("SPLINE without control points");
  if (std::string why = SplineProblem(s); !why.empty()) return Fail(why);
  // Affine maps keep B-splines: place the control points, then evaluate.
  std::vector<Point2> ctrl;
  ctrl.reserve(s.vertices.size());
  for (const Vertex& v : s.vertices) ctrl.push_back(m({v.x, v.y}));
  const int p = s.degree;
  const size_t n = ctrl.size();
  for (size_t k = static_cast<size_t>(p); k < n && error_.empty(); ++k) {
    const double ta = s.knots[k], tb = s.knots[k + 1];
    if (!(tb > ta)) continue;
    auto at = [&](double t) { return DeBoor(ctrl, s.weights, s.knots, p, k, std::min(t, tb)); };
    std::vector<Vertex> piece;
    Curve(at, ta, tb, 1, o_.flatness, piece);
    e.path.insert(e.path.end(), piece.begin() + (e.path.empty() ? 0 : 1), piece.end());
  }
  e.closed = (s.flags & 1) != 0;
  if (e.closed && e.path.size() > 2) {
    const Vertex &a = e.path.front(), &b = e.path.back();
    if (std::hypot(a.x - b.x, a.y - b.y) <= o_.flatness) e.path.pop_back();
  }
  Keep(std::move(e));
}

}  // namespace

bool ExpandShapes(const std::vector<Shape>& top, const Blocks& blocks, const ReadOptions& options,
                  Drawing& drawing, std::string* why) {
  return Expander(blocks, options, drawing).Run(top, why);
}

}  // namespace orvane::cadfile
