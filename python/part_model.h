// qgauge.PartModel: a taught part model, found again in later pictures.
#pragma once

#include <pybind11/pybind11.h>

namespace orvane_py {

void DefinePartModel(pybind11::module_& module);

} // namespace orvane_py
