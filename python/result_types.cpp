#include "result_types.h"

namespace orvane_py {

namespace {

// Made once at import and kept for the life of the process (the objects may
// still be returned while the interpreter tears the module down).
struct Types {
  PyObject* edge = nullptr;
  PyObject* pair = nullptr;
  PyObject* line = nullptr;
  PyObject* circle = nullptr;
  PyObject* pose = nullptr;
} g_types;

PyObject* MakeType(py::module_& module, const char* name, const char* fields, const char* doc) {
  py::object factory = py::module_::import("collections").attr("namedtuple");
  py::object type = factory(name, fields, py::arg("module") = "qgauge");
  type.attr("__doc__") = doc;
  module.attr(name) = type;
  return type.release().ptr();
}

py::object Call(PyObject* type, const py::tuple& args) {
  PyObject* made = PyObject_Call(type, args.ptr(), nullptr);
  if (!made) throw py::error_already_set();
  return py::reinterpret_steal<py::object>(made);
}

} // namespace

void DefineResultTypes(py::module_& m) {
  g_types.edge = MakeType(m, "Edge", "x y u contrast",
      "An edge found by a caliper: its position (x, y) on the caliper's axis in pixels, the\n"
      "standard uncertainty u of that position along the axis (px), and the grey-level step\n"
      "along the axis (contrast: > 0 dark to light, < 0 light to dark).");
  g_types.pair = MakeType(m, "Pair", "width u_width first second",
      "A width between two edges of opposite polarity: width and its standard uncertainty\n"
      "u_width in pixels (the edges' correlation included), and the two Edges, first the one\n"
      "nearer p0.");
  g_types.line = MakeType(m, "Line", "x y angle u_angle u_offset rms",
      "A fitted line through (x, y) (the weighted centroid of the points) with direction angle\n"
      "in radians in (-pi/2, pi/2]; u_angle its standard uncertainty (radians), u_offset that\n"
      "of the line's offset normal to itself (px), rms the inliers' residual distance (px).");
  g_types.circle = MakeType(m, "Circle", "x y r u_x u_y u_r rms",
      "A fitted circle: centre (x, y) and radius r in pixels, their standard uncertainties\n"
      "u_x, u_y, u_r (px) and the inliers' residual RMS distance (px).");
  g_types.pose = MakeType(m, "Pose", "x y angle_deg score u_x u_y u_angle_deg",
      "A found part: (x, y) is where the centre of the taught region lies in the picture\n"
      "(pixels), angle_deg how far the part turned since teaching (degrees from +x towards\n"
      "+y, in (-180, 180]), score the share of the model's edge points matched (0 .. 1), and\n"
      "the standard uncertainties u_x, u_y (px) and u_angle_deg (degrees).");
}

py::object EdgeTuple(const qgEdge& e) {
  return Call(g_types.edge, py::make_tuple(e.x, e.y, e.uncertainty, e.contrast));
}

py::object PairTuple(const qgEdgePairResult& p) {
  return Call(g_types.pair, py::make_tuple(p.width, p.uncertainty, EdgeTuple(p.first), EdgeTuple(p.second)));
}

py::object LineTuple(const qgLine& l) {
  return Call(g_types.line, py::make_tuple(l.x, l.y, l.angle, l.uAngle, l.uPosition, l.rms));
}

py::object CircleTuple(const qgCircle& c) {
  return Call(g_types.circle, py::make_tuple(c.cx, c.cy, c.r, c.uCx, c.uCy, c.uR, c.rms));
}

py::object PoseTuple(const qgPartInstance& i) {
  return Call(g_types.pose, py::make_tuple(i.x, i.y, i.angle, i.score, i.ux, i.uy, i.uangle));
}

} // namespace orvane_py
