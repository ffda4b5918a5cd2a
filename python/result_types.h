// The qgauge module's result types: named tuples (readable repr, unpacking,
// field names) made once when the module loads.
#pragma once

#include <pybind11/pybind11.h>

#include <initializer_list>

#include <qgauge.h>

#include "gauge_args.h"

namespace orvane_py {

namespace py = pybind11;

// Results as named in signatures.
struct EdgeListTag {
  static constexpr auto name = py::detail::const_name("List[Edge]");
};
struct PoseListTag {
  static constexpr auto name = py::detail::const_name("List[Pose]");
};
struct PairOrNoneTag {
  static constexpr auto name = py::detail::const_name("Optional[Pair]");
};
struct LineTag {
  static constexpr auto name = py::detail::const_name("Line");
};
struct CircleTag {
  static constexpr auto name = py::detail::const_name("Circle");
};
struct CircleOrNoneTag {
  static constexpr auto name = py::detail::const_name("Optional[Circle]");
};

// One named field of a result type and its docstring.
struct Field {
  const char* name;
  const char* doc;
};
// Makes the named tuple `name` of `module` (called `module_name` in reprs
// and pickles) and keeps it for the life of the process.
PyObject* MakeResultType(py::module_& module, const char* module_name, const char* name,
                         std::initializer_list<Field> fields, const char* doc);
// An instance of a type MakeResultType made.
py::object MakeResult(PyObject* type, const py::tuple& values);

void DefineResultTypes(py::module_& module);

py::object EdgeTuple(const qgEdge& e);
py::object PairTuple(const qgEdgePairResult& p);
py::object LineTuple(const qgLine& l);
py::object CircleTuple(const qgCircle& c);
py::object PoseTuple(const qgPartInstance& i);

} // namespace orvane_py
