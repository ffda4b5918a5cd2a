// The Python module qgauge: the gauge library's calipers, fits, circle gauge
// and part locator over numpy images. It converts and forwards; the library
// does the work with the GIL released, so threads measure in parallel.
#include <pybind11/pybind11.h>
#include <pybind11/stl.h>

#include <array>
#include <cmath>
#include <new>
#include <string>
#include <vector>

#include "fast_call.h"
#include "gauge_args.h"
#include "part_model.h"
#include "result_types.h"

namespace py = pybind11;
using namespace py::literals;
using namespace orvane_py;

namespace {

constexpr const char* kModuleDoc = R"doc(Sub-pixel edge calipers, line and circle fits, the circle gauge and the
part locator of the gauge library, each result with its standard uncertainty.

Images are numpy uint8 arrays: H x W (grey) or H x W x 3 / H x W x 4 with the
bytes of a pixel in the order blue, green, red[, unused], as the station holds
them. The intensity is the byte itself for grey and the red byte (index 2)
for colour. Any row stride is read in place (a crop ``image[y0:y1, x0:x1]``
is not copied); the pixels of a row must be adjacent. Pillow's images are
R, G, B: pass ``np.asarray(picture.convert("L"))``.

Coordinates are pixels: x to the right, y downwards, and the pixel in column
i, row j covers [i, i+1) x [j, j+1), so its centre is (i + 0.5, j + 0.5).
Angles are radians from +x towards +y, except where a name ends in ``_deg``.
A standard uncertainty (``u``, ``u_*``) is one standard deviation of the
result's error from image noise: about 95 % of results lie within +-2u.

Every refusal raises qgauge.Error (a ValueError) with the library's ``code``.
The library's work runs with the GIL released: calls on other threads run
in parallel.)doc";

qgCaliperParams CaliperParams(const std::string& polarity, const std::string& select, double sigma,
                              double threshold, double noise, const char* what) {
  qgCaliperParams p;
  qgCaliperDefaults(&p);
  p.polarity = PolarityOf(polarity, what);
  p.select = SelectOf(select, what);
  p.sigma = sigma;
  p.threshold = threshold;
  p.noise = noise;
  return p;
}

// The caliper's rectangle: the segment p0 -> p1 as its axis, `width` across.
qgRect SegmentRect(std::array<double, 2> p0, std::array<double, 2> p1, double width) {
  const double dx = p1[0] - p0[0], dy = p1[1] - p0[1];
  return {(p0[0] + p1[0]) / 2, (p0[1] + p1[1]) / 2, std::hypot(dx, dy), width, std::atan2(dy, dx)};
}

// The caliper's edges as a list of Edge, for both entries of edges().
py::list EdgesOf(const ImageArg& im, const qgRect& rect, const qgCaliperParams& params, const char* what) {
  // Room for the usual few edges without a heap allocation; a second call
  // when there are more.
  std::array<qgEdge, 16> few;
  std::vector<qgEdge> many;
  qgEdge* found = few.data();
  int32_t count = 0, code;
  {
    py::gil_scoped_release unlocked;
    code = qgEdgeCaliper(&im.image, &rect, &params, found, static_cast<int32_t>(few.size()), &count);
    if (code == QG_OK && count > static_cast<int32_t>(few.size())) {
      many.resize(static_cast<size_t>(count));
      found = many.data();
      code = qgEdgeCaliper(&im.image, &rect, &params, found, count, &count);
    }
  }
  Check(code, what);
  py::list out(code == QG_OK ? count : 0);
  for (int32_t i = 0; code == QG_OK && i < count; ++i) out[static_cast<size_t>(i)] = EdgeTuple(found[i]);
  return out;
}

Typed<EdgeListTag> Edges(const ImageObject& image, std::array<double, 2> p0, std::array<double, 2> p1, double width,
               const std::string& polarity, const std::string& select, double sigma, double threshold,
               double noise) {
  const char* what = "edges";
  const ImageArg im = ImageOf(image.object, what);
  return {EdgesOf(im, SegmentRect(p0, p1, width), CaliperParams(polarity, select, sigma, threshold, noise, what),
                  what)};
}

// The pybind11 edges(), for the calls FastEdges leaves to it.
PyObject* g_general_edges = nullptr;

// edges() for plain calls; the same conversions, checks and order of
// refusals as Edges, which takes every other call.
PyObject* FastEdges(PyObject*, PyObject* const* args, Py_ssize_t nargs, PyObject* kwnames) {
  static const char* const kNames[] = {"image", "p0", "p1", "width", "polarity", "select", "sigma", "threshold",
                                       "noise"};
  PyObject* a[9];
  std::array<double, 2> p0{}, p1{};
  double width = 0, sigma = 0, threshold = 0, noise = 0;
  std::string polarity, select;
  if (!PlaceArgs(args, nargs, kwnames, kNames, 9, 6, a) || a[0] == nullptr || !PlainPoint(a[1], &p0) ||
      !PlainPoint(a[2], &p1) || !PlainNumber(a[3], 5.0, &width) || !PlainWord(a[4], "any", &polarity) ||
      !PlainWord(a[5], "all", &select) || !PlainNumber(a[6], 1.0, &sigma) || !PlainNumber(a[7], 20.0, &threshold) ||
      !PlainNumber(a[8], 0.0, &noise)) {
    return CallGeneral(g_general_edges, args, nargs, kwnames);
  }
  try {
    const char* what = "edges";
    const ImageArg im = ImageOf(a[0], what);
    return EdgesOf(im, SegmentRect(p0, p1, width), CaliperParams(polarity, select, sigma, threshold, noise, what),
                   what)
        .release()
        .ptr();
  } catch (py::error_already_set& e) {
    e.restore();
  } catch (const std::bad_alloc&) {
    PyErr_NoMemory();
  }
  return nullptr;
}

Typed<PairOrNoneTag> EdgePair(const ImageObject& image, std::array<double, 2> p0, std::array<double, 2> p1, double width,
                    const std::string& polarity, const std::string& select, double sigma, double threshold,
                    double noise) {
  const char* what = "edge_pair";
  ImageArg im = ImageOf(image.object, what);
  const qgRect rect = SegmentRect(p0, p1, width);
  const qgCaliperParams params = CaliperParams(polarity, select, sigma, threshold, noise, what);
  qgEdgePairResult pair;
  int32_t code;
  {
    py::gil_scoped_release unlocked;
    code = qgEdgePair(&im.image, &rect, &params, &pair);
  }
  Check(code, what);
  if (code != QG_OK) return {py::none()};
  return {PairTuple(pair)};
}

qgFitParams FitParams(bool robust) {
  qgFitParams fit;
  qgFitDefaults(&fit);
  fit.robust = robust ? 1 : 0;
  return fit;
}

Typed<LineTag> FitLine(const PointsObject& points, bool robust) {
  const char* what = "fit_line";
  const std::vector<qgPoint> pts = PointsOf(points.object, what);
  const qgFitParams fit = FitParams(robust);
  qgPoint none{};
  qgLine line;
  int32_t code;
  {
    py::gil_scoped_release unlocked;
    code = qgFitLine(pts.empty() ? &none : pts.data(), static_cast<int32_t>(pts.size()), &fit, &line, nullptr);
  }
  Check(code, what);
  return {LineTuple(line)};
}

Typed<CircleTag> FitCircle(const PointsObject& points, bool robust) {
  const char* what = "fit_circle";
  const std::vector<qgPoint> pts = PointsOf(points.object, what);
  const qgFitParams fit = FitParams(robust);
  qgPoint none{};
  qgCircle circle;
  int32_t code;
  {
    py::gil_scoped_release unlocked;
    code = qgFitCircle(pts.empty() ? &none : pts.data(), static_cast<int32_t>(pts.size()), &fit, &circle, nullptr);
  }
  Check(code, what);
  return {CircleTuple(circle)};
}

Typed<CircleOrNoneTag> CircleGauge(const ImageObject& image, std::array<double, 2> centre, double radius, int32_t spokes,
                       double length, double width, const std::string& polarity, const std::string& select,
                       double sigma, double threshold, double noise, bool robust) {
  const char* what = "circle_gauge";
  ImageArg im = ImageOf(image.object, what);
  qgCircleGaugeParams g{};
  g.cx = centre[0];
  g.cy = centre[1];
  g.r = radius;
  g.spokes = spokes;
  g.spokeLength = length;
  g.spokeWidth = width;
  g.caliper = CaliperParams(polarity, select, sigma, threshold, noise, what);
  g.fit = FitParams(robust);
  qgCircle circle;
  int32_t code;
  {
    py::gil_scoped_release unlocked;
    code = qgCircleGauge(&im.image, &g, &circle, nullptr);
  }
  Check(code, what);
  if (code != QG_OK) return {py::none()};
  return {CircleTuple(circle)};
}

void DefineFunctions(py::module_& m) {
  m.def("edges", &Edges, "image"_a, "p0"_a, "p1"_a, "width"_a = 5.0, "polarity"_a = "any", "select"_a = "all",
        py::kw_only(), "sigma"_a = 1.0, "threshold"_a = 20.0, "noise"_a = 0.0,
        R"doc(The edges a caliper finds along the segment p0 -> p1.

The caliper is the rectangle whose axis runs from p0 to p1 ((x, y) pixels),
``width`` pixels across; its rows are averaged into a profile along the axis,
smoothed by a Gaussian derivative of ``sigma`` px, and every extremum at least
``threshold`` grey levels strong is an edge, placed to a sub-pixel position.
polarity: "any", "dark_to_light" (intensity rises from p0 towards p1) or
"light_to_dark". select: "all" (in order from p0), "first", "last" or
"strongest". noise: the pixels' noise in grey levels for the uncertainties,
0 to estimate it from the pixels.

Returns a list of Edge(x, y, u, contrast), empty when none is found.)doc");
  m.def("edge_pair", &EdgePair, "image"_a, "p0"_a, "p1"_a, "width"_a = 5.0, py::kw_only(), "polarity"_a = "any",
        "select"_a = "strongest", "sigma"_a = 1.0, "threshold"_a = 20.0, "noise"_a = 0.0,
        R"doc(The width between two edges of opposite polarity along p0 -> p1.

The caliper as for edges(). polarity is that of the first edge
("dark_to_light" finds a light bar on dark); select: "strongest", "first" or
"last" pair. The two edges are refined together (a blurred bar fitted to the
pixels).

Returns Pair(width, u_width, first, second) with width in pixels, or None
when no pair is found.)doc");
  m.def("fit_line", &FitLine, "points"_a, py::kw_only(), "robust"_a = true,
        R"doc(The total least squares line through points (an N x 2 array or (x, y) pairs).

Robust by default (Tukey's biweight gives outliers weight 0). Returns
Line(x, y, angle, u_angle, u_offset, rms): through the weighted centroid
(x, y), direction angle in radians in (-pi/2, pi/2], u_offset the uncertainty
normal to the line in pixels, rms the inliers' residual distance. With only
two points the uncertainties are infinite.)doc");
  m.def("fit_circle", &FitCircle, "points"_a, py::kw_only(), "robust"_a = true,
        R"doc(The circle through points (an N x 2 array or (x, y) pairs, at least 3).

Geometric least squares, robust by default. Returns
Circle(x, y, r, u_x, u_y, u_r, rms) in pixels; with only three points the
uncertainties are infinite.)doc");
  m.def("circle_gauge", &CircleGauge, "image"_a, "centre"_a, "radius"_a, "spokes"_a = 64, "length"_a = 40.0,
        "width"_a = 5.0, py::kw_only(), "polarity"_a = "any", "select"_a = "strongest", "sigma"_a = 1.0,
        "threshold"_a = 20.0, "noise"_a = 0.0, "robust"_a = true,
        R"doc(Measures a circle near (centre, radius) with radial calipers.

``spokes`` calipers of ``length`` x ``width`` pixels, spread evenly from angle
0, each centred on the approximate circle and pointing outwards (polarity
refers to that direction); the edges found are corrected for the circle's
curvature and fitted robustly.

Returns Circle(x, y, r, u_x, u_y, u_r, rms), or None when fewer than three
spokes found an edge.)doc");
}

} // namespace

PYBIND11_MODULE(qgauge, m) {
  m.doc() = kModuleDoc;
  m.attr("__version__") = ORVANE_VERSION;
  m.attr("interface_level") = qgVersion();
  RegisterError(m, "qgauge.Error",
                "A refused argument or a failed search of the gauge library.\n\n"
                "A ValueError; ``code`` holds the library's result code (the QG_* constants of\n"
                "qgauge.h: negative for a refused argument, 1 for nothing found) and the message\n"
                "names the function, the code and the reason.");
  DefineResultTypes(m);
  DefineFunctions(m);
  InstallFastEntry(m, "edges", FastEdges, &g_general_edges);
  DefinePartModel(m);
}
