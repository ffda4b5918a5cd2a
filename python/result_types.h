// The qgauge module's result types: named tuples (readable repr, unpacking,
// field names) made once when the module loads.
#pragma once

#include <pybind11/pybind11.h>

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

void DefineResultTypes(py::module_& module);

py::object EdgeTuple(const qgEdge& e);
py::object PairTuple(const qgEdgePairResult& p);
py::object LineTuple(const qgLine& l);
py::object CircleTuple(const qgCircle& c);
py::object PoseTuple(const qgPartInstance& i);

} // namespace orvane_py
