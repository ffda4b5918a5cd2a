// The qgauge module's result types: named tuples (readable repr, unpacking,
// field names) made once when the module loads.
#pragma once

#include <pybind11/pybind11.h>

#include <qgauge.h>

namespace orvane_py {

namespace py = pybind11;

void DefineResultTypes(py::module_& module);

py::object EdgeTuple(const qgEdge& e);
py::object PairTuple(const qgEdgePairResult& p);
py::object LineTuple(const qgLine& l);
py::object CircleTuple(const qgCircle& c);
py::object PoseTuple(const qgPartInstance& i);

} // namespace orvane_py
