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

// A Python object passed through unconverted, shown in signatures (help(),
// editors) under Tag::name: the binding converts it itself, so that bad
// input raises qgauge.Error rather than pybind11's TypeError.
template <typename Tag>
struct Typed {
  py::object object;
};
struct ImageTag {
  static constexpr auto name = py::detail::const_name("numpy.ndarray[numpy.uint8]");
};
struct PointsTag {
  static constexpr auto name = py::detail::const_name("Sequence[Tuple[float, float]]");
};
using ImageObject = Typed<ImageTag>;
using PointsObject = Typed<PointsTag>;

// Creates `qualified_name` ("qgauge.Error"), a ValueError subclass, as
// `module`.Error; once per process (each module has its own).
void RegisterError(py::module_& module, const char* qualified_name, const char* doc);
// The exception class, for modules that re-export it.
py::object ErrorType();

// Raises the module's Error with `code` and "<what>: <text of the code>[: detail]".
[[noreturn]] void Raise(int32_t code, const char* what, const std::string& detail = {});
// Raises the module's Error with `message` and no library code (code None).
[[noreturn]] void RaiseText(const std::string& message);
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

namespace pybind11::detail {
template <typename Tag>
struct type_caster<orvane_py::Typed<Tag>> {
  PYBIND11_TYPE_CASTER(orvane_py::Typed<Tag>, Tag::name);
  bool load(handle source, bool) {
    value.object = reinterpret_borrow<object>(source);
    return true;
  }
  static handle cast(const orvane_py::Typed<Tag>& v, return_value_policy, handle) { return v.object.inc_ref(); }
};
} // namespace pybind11::detail
