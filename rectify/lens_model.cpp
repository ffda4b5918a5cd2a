#include "rectify/lens_model.h"

#include <cmath>
#include <vector>

namespace orvane::rectify {
namespace {

// Normalised camera coordinates through the lens: ideal (x, y) to distorted.
Point2 Distort(const LensModel& m, double x, double y) {
  const double r2 = x * x + y * y;
  const double radial = 1.0 + r2 * (m.k1 + r2 * (m.k2 + r2 * m.k3));
  return {x * radial + 2.0 * m.p1 * x * y + m.p2 * (r2 + 2.0 * x * x),
          y * radial + m.p1 * (r2 + 2.0 * y * y) + 2.0 * m.p2 * x * y};
}

// The inverse of Distort by fixed-point iteration, which converges for the
// distortions a camera lens has within its picture.
Point2 Undistort(const LensModel& m, double xd, double yd) {
  double x = xd, y = yd;
  for (int i = 0; i < 30; ++i) {
    const double r2 = x * x + y * y;
    const double radial = 1.0 + r2 * (m.k1 + r2 * (m.k2 + r2 * m.k3));
    const double dx = 2.0 * m.p1 * x * y + m.p2 * (r2 + 2.0 * x * x);
    const double dy = m.p1 * (r2 + 2.0 * y * y) + 2.0 * m.p2 * x * y;
    if (radial <= 0.0) break;
    x = (xd - dx) / radial;
    y = (yd - dy) / radial;
  }
  return {x, y};
}

Point2 Centre(const LensModel& m) { return {(m.width - 1.0) / 2.0, (m.height - 1.0) / 2.0}; }

} // namespace

bool IsUsable(const LensModel& m) {
  const double numbers[] = {m.fx, m.fy, m.cx, m.cy, m.k1, m.k2, m.k3, m.p1, m.p2};
  for (double v : numbers) {
    if (!std::isfinite(v)) return false;
  }
  for (double v : m.rotation) {
    if (!std::isfinite(v)) return false;
  }
  for (double v : m.translation) {
    if (!std::isfinite(v)) return false;
  }
  return m.width > 0 && m.height > 0 && m.fx > 0.0 && m.fy > 0.0 && m.translation[2] > 0.0;
}

Point2 ProjectPlanePoint(const LensModel& m, Point2 plane) {
  const double* r = m.rotation;
  const double X = r[0] * plane.x + r[1] * plane.y + m.translation[0];
  const double Y = r[3] * plane.x + r[4] * plane.y + m.translation[1];
  const double Z = r[6] * plane.x + r[7] * plane.y + m.translation[2];
  const Point2 d = Distort(m, X / Z, Y / Z);
  return {m.fx * d.x + m.cx, m.fy * d.y + m.cy};
}

bool PlanePointOf(const LensModel& m, Point2 pixel, Point2* plane) {
  const Point2 n = Undistort(m, (pixel.x - m.cx) / m.fx, (pixel.y - m.cy) / m.fy);
  // Solve X * r1 + Y * r2 + t = s * (n.x, n.y, 1) for X, Y and s.
  const double* r = m.rotation;
  const double* t = m.translation;
  const double a[3][3] = {{r[0], r[1], -n.x}, {r[3], r[4], -n.y}, {r[6], r[7], -1.0}};
  const double b[3] = {-t[0], -t[1], -t[2]};
  const double det = a[0][0] * (a[1][1] * a[2][2] - a[1][2] * a[2][1]) -
                     a[0][1] * (a[1][0] * a[2][2] - a[1][2] * a[2][0]) +
                     a[0][2] * (a[1][0] * a[2][1] - a[1][1] * a[2][0]);
  if (!(std::abs(det) > 1e-12)) return false;
  const double dx = b[0] * (a[1][1] * a[2][2] - a[1][2] * a[2][1]) - a[0][1] * (b[1] * a[2][2] - a[1][2] * b[2]) +
                    a[0][2] * (b[1] * a[2][1] - a[1][1] * b[2]);
  const double dy = a[0][0] * (b[1] * a[2][2] - a[1][2] * b[2]) - b[0] * (a[1][0] * a[2][2] - a[1][2] * a[2][0]) +
                    a[0][2] * (a[1][0] * b[2] - b[1] * a[2][0]);
  const double ds = a[0][0] * (a[1][1] * b[2] - b[1] * a[2][1]) - a[0][1] * (a[1][0] * b[2] - b[1] * a[2][0]) +
                    b[0] * (a[1][0] * a[2][1] - a[1][1] * a[2][0]);
  if (!(ds / det > 0.0)) return false; // the plane lies behind the camera along this ray
  *plane = {dx / det, dy / det};
  return true;
}

bool FrameOf(const LensModel& m, OutputFrame* frame) {
  const Point2 c = Centre(m);
  Point2 centre;
  if (!PlanePointOf(m, c, &centre)) return false;
  // The camera's view of the plane near the centre, by central differences
  // over about a hundredth of a pixel.
  const double h = 0.01 * m.translation[2] / m.fx;
  const Point2 xa = ProjectPlanePoint(m, {centre.x + h, centre.y});
  const Point2 xb = ProjectPlanePoint(m, {centre.x - h, centre.y});
  const Point2 ya = ProjectPlanePoint(m, {centre.x, centre.y + h});
  const Point2 yb = ProjectPlanePoint(m, {centre.x, centre.y - h});
  const double j11 = (xa.x - xb.x) / (2 * h), j21 = (xa.y - xb.y) / (2 * h);
  const double j12 = (ya.x - yb.x) / (2 * h), j22 = (ya.y - yb.y) / (2 * h);
  OutputFrame f;
  f.plane_centre = centre;
  f.mirrored = j11 * j22 - j12 * j21 < 0.0;
  if (f.mirrored) {
    f.p = (j11 - j22) / 2.0;
    f.q = (j12 + j21) / 2.0;
  } else {
    f.p = (j11 + j22) / 2.0;
    f.q = (j21 - j12) / 2.0;
  }
  if (!std::isfinite(f.p) || !std::isfinite(f.q) || !(f.p * f.p + f.q * f.q > 0.0)) return false;
  *frame = f;
  return true;
}

Point2 OutputOfPlane(const LensModel& m, const OutputFrame& f, Point2 plane) {
  const Point2 c = Centre(m);
  const double dx = plane.x - f.plane_centre.x, dy = plane.y - f.plane_centre.y;
  if (f.mirrored) return {c.x + f.p * dx + f.q * dy, c.y + f.q * dx - f.p * dy};
  return {c.x + f.p * dx - f.q * dy, c.y + f.q * dx + f.p * dy};
}

Point2 PlaneOfOutput(const LensModel& m, const OutputFrame& f, Point2 output) {
  const Point2 c = Centre(m);
  const double dx = output.x - c.x, dy = output.y - c.y;
  const double s2 = f.p * f.p + f.q * f.q;
  if (f.mirrored) {
    return {f.plane_centre.x + (f.p * dx + f.q * dy) / s2, f.plane_centre.y + (f.q * dx - f.p * dy) / s2};
  }
  return {f.plane_centre.x + (f.p * dx + f.q * dy) / s2, f.plane_centre.y + (-f.q * dx + f.p * dy) / s2};
}

double OutputScale(const OutputFrame& f) { return std::hypot(f.p, f.q); }

namespace {

// The grid the mapping is checked on, from pixel edge to pixel edge: fine enough that a fold the lens puts
// between two of its points would have to be narrower than a thirty-second
// of the picture.
constexpr uint32_t kCheckSteps = 32;
// How far a point may come back from the inverse, in output pixels.
constexpr double kRoundTrip = 0.05;

bool Inside(const LensModel& m, Point2 c) {
  return c.x >= -0.5 && c.y >= -0.5 && c.x <= m.width - 0.5 && c.y <= m.height - 0.5;
}

// Within a picture's width and height beyond each side.
bool Near(const LensModel& m, Point2 c) {
  return c.x >= -double(m.width) && c.y >= -double(m.height) && c.x <= 2.0 * m.width && c.y <= 2.0 * m.height;
}

const char* GridProblem(const LensModel& m, const std::vector<Point2>& camera) {
  constexpr uint32_t n = kCheckSteps + 1;
  size_t inside = 0;
  for (uint32_t j = 0; j < n; ++j) {
    for (uint32_t i = 0; i < n; ++i) {
      const Point2 c = camera[j * n + i];
      inside += Inside(m, c);
      if ((i == 0 || i == n - 1) && (j == 0 || j == n - 1) && !Near(m, c)) {
        return "it throws the picture's corners far outside the picture";
      }
      if (i + 1 == n || j + 1 == n) continue;
      const Point2 right = camera[j * n + i + 1], down = camera[(j + 1) * n + i];
      // A fold far outside the picture stays black.
      if (!Near(m, c) && !Near(m, right) && !Near(m, down)) continue;
      const double ax = right.x - c.x, ay = right.y - c.y, bx = down.x - c.x, by = down.y - c.y;
      if (!(ax > 0.0) || !(by > 0.0) || !(ax * by - ay * bx > 0.0)) return "it folds the picture";
    }
  }
  if (2 * inside < camera.size()) return "it leaves most of the picture black";
  return nullptr;
}

} // namespace

const char* PictureMappingProblem(const LensModel& m) {
  OutputFrame frame;
  if (!IsUsable(m) || !FrameOf(m, &frame)) return "its picture's centre does not see the measuring plane";
  constexpr uint32_t n = kCheckSteps + 1;
  std::vector<Point2> output(size_t{n} * n), camera(output.size());
  for (uint32_t j = 0; j < n; ++j) {
    for (uint32_t i = 0; i < n; ++i) {
      const Point2 out{double(m.width) * i / kCheckSteps - 0.5, double(m.height) * j / kCheckSteps - 0.5};
      const Point2 c = ProjectPlanePoint(m, PlaneOfOutput(m, frame, out));
      if (!std::isfinite(c.x) || !std::isfinite(c.y)) return "it sends part of the picture nowhere";
      output[j * n + i] = out;
      camera[j * n + i] = c;
    }
  }
  if (const char* problem = GridProblem(m, camera)) return problem;
  // The inverse, wherever the camera sees the point.
  for (size_t k = 0; k < camera.size(); ++k) {
    Point2 plane;
    if (!Inside(m, camera[k])) continue;
    const bool found = PlanePointOf(m, camera[k], &plane);
    const Point2 back = OutputOfPlane(m, frame, plane);
    if (!found || !(std::hypot(back.x - output[k].x, back.y - output[k].y) <= kRoundTrip)) {
      return "its inverse does not find the picture's points again";
    }
  }
  return nullptr;
}

} // namespace orvane::rectify
