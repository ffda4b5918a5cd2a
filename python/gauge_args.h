// The Python modules' conversions at the library's door: numpy arrays to
// qgImage views (no copy), point lists, option words, and the one exception
// class through which every refusal reaches Python with the library's code.
#pragma once

#include <pybind11/numpy.h>
#include <pybind11/pybind11.h>

#include <cstdint>
#include <string>
#include <vector>

#include <qgauge.h>

namespace orvane_py {

namespace py = pybind11;

// Creates qgauge.Error (a ValueError subclass) in `module`; once per process.
void RegisterError(py::module_& module);
// The exception class, for modules that re-export it.
py::object ErrorType();

// Raises qgauge.Error with `code` and "<what>: <text of the code>[: detail]".
[[noreturn]] void Raise(int32_t code, const char* what, const std::string& detail = {});
// Raises for any code below zero (a refused argument); positive codes (the
// search found nothing) are the caller's to turn into an empty result.
void Check(int32_t code, const char* what);

// An image the library reads in place. `owner` keeps the pixels alive (the
// caller's array, or the array numpy made from an object that was not one).
struct ImageArg {
  py::array owner;
  qgImage image{};
};

// Views a numpy uint8 array (H x W grey, H x W x 1/3/4 blue, green, red[, x])
// as a qgImage without copying: columns must be contiguous, rows may have
// any stride. Anything else raises qgauge.Error with QG_ERR_IMAGE.
ImageArg ImageOf(const py::handle& object, const char* what);

// An (N, 2) sequence of numbers as points; raises qgauge.Error otherwise.
std::vector<qgPoint> PointsOf(const py::handle& object, const char* what);

// "any", "dark_to_light", "light_to_dark"; "first", "last", "strongest", "all".
int32_t PolarityOf(const std::string& word, const char* what);
int32_t SelectOf(const std::string& word, const char* what);

} // namespace orvane_py
