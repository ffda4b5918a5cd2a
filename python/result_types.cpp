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

PyObject* MakeType(py::module_& module, const char* name, std::initializer_list<Field> fields, const char* doc) {
  return MakeResultType(module, "qgauge", name, fields, doc);
}

py::object Call(PyObject* type, const py::tuple& values) { return MakeResult(type, values); }

} // namespace

PyObject* MakeResultType(py::module_& module, const char* module_name, const char* name,
                         std::initializer_list<Field> fields, const char* doc) {
  py::list names;
  for (const Field& f : fields) names.append(f.name);
  py::object factory = py::module_::import("collections").attr("namedtuple");
  py::object type = factory(name, names, py::arg("module") = module_name);
  type.attr("__doc__") = doc;
  for (const Field& f : fields) type.attr(f.name).attr("__doc__") = f.doc;
  module.attr(name) = type;
  return type.release().ptr();
}

// tuple.__new__(type, values), as the named tuple's own _make does: the
// generated Python __new__ would cost more than a short caliper's work.
py::object MakeResult(PyObject* type, const py::tuple& values) {
  const py::tuple args = py::make_tuple(values);
  PyObject* made = PyTuple_Type.tp_new(reinterpret_cast<PyTypeObject*>(type), args.ptr(), nullptr);
  if (!made) throw py::error_already_set();
  return py::reinterpret_steal<py::object>(made);
}

void DefineResultTypes(py::module_& m) {
  g_types.edge = MakeType(m, "Edge",
      {{"x", "x of the edge on the caliper's axis, px"}, {"y", "y of the edge on the caliper's axis, px"},
       {"u", "standard uncertainty of the position along the axis, px"},
       {"contrast", "grey-level step along the axis: > 0 dark to light, < 0 light to dark"}},
      "An edge found by a caliper, on the caliper's axis.");
  g_types.pair = MakeType(m, "Pair",
      {{"width", "distance from the first edge to the second along the axis, px"},
       {"u_width", "standard uncertainty of width, px (the edges' correlation included)"},
       {"first", "the Edge nearer p0"}, {"second", "the Edge nearer p1"}},
      "A width between two edges of opposite polarity.");
  g_types.line = MakeType(m, "Line",
      {{"x", "x of a point of the line (the points' weighted centroid), px"}, {"y", "y of that point, px"},
       {"angle", "direction in radians, in (-pi/2, pi/2]"},
       {"u_angle", "standard uncertainty of angle, radians"},
       {"u_offset", "standard uncertainty of the line's offset normal to itself at (x, y), px"},
       {"rms", "residual RMS distance of the inliers, px"}},
      "A fitted line.");
  g_types.circle = MakeType(m, "Circle",
      {{"x", "x of the centre, px"}, {"y", "y of the centre, px"}, {"r", "radius, px"},
       {"u_x", "standard uncertainty of x, px"}, {"u_y", "standard uncertainty of y, px"},
       {"u_r", "standard uncertainty of r, px"}, {"rms", "residual RMS distance of the inliers, px"}},
      "A fitted or gauged circle.");
  g_types.pose = MakeType(m, "Pose",
      {{"x", "x where the taught region's centre lies now, px"}, {"y", "y of that point, px"},
       {"angle_deg", "how far the part turned since teaching: degrees from +x towards +y, in (-180, 180]"},
       {"score", "share of the model's edge points matched, 0 .. 1"},
       {"u_x", "standard uncertainty of x, px"}, {"u_y", "standard uncertainty of y, px"},
       {"u_angle_deg", "standard uncertainty of angle_deg, degrees"}},
      "A found part: where the taught region's centre lies in the picture and how far the part turned.");
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
