#include "gauge_args.h"

#include <climits>
#include <cstddef>

namespace orvane_py {

namespace {

// Owned for the life of the process: the interpreter may still raise it
// while modules are torn down, so it is never released.
PyObject* g_error = nullptr;

const char* CodeText(int32_t code) {
  switch (code) {
    case QG_NOT_FOUND: return "nothing found (QG_NOT_FOUND)";
    case QG_ERR_NULL: return "a required argument is missing (QG_ERR_NULL)";
    case QG_ERR_IMAGE: return "unusable image (QG_ERR_IMAGE)";
    case QG_ERR_ARGUMENT:
      return "a parameter is NaN, infinite, zero, negative or unknown (QG_ERR_ARGUMENT)";
    case QG_ERR_OUTSIDE: return "the region reaches outside the image (QG_ERR_OUTSIDE)";
    case QG_ERR_TOO_FEW: return "fewer points than the fit needs (QG_ERR_TOO_FEW)";
    case QG_ERR_DEGENERATE:
      return "the points do not define the shape: all equal or collinear (QG_ERR_DEGENERATE)";
    case QG_ERR_TOO_LARGE: return "region or point count beyond the library's limits (QG_ERR_TOO_LARGE)";
    case QG_ERR_MEMORY: return "working memory could not be allocated (QG_ERR_MEMORY)";
    case QG_ERR_DAMAGED: return "bytes refused: not a part model, damaged or hostile (QG_ERR_DAMAGED)";
    default: return "unknown result code";
  }
}

// Validates the strides of a 2-D (grey) or 3-D (pixel-interleaved) array and
// returns the row stride in bytes; raises for layouts qgImage cannot express.
int32_t RowStrideOf(const py::array& a, int32_t width, int32_t bpp, const char* what) {
  const py::ssize_t column = a.strides(1);
  if (a.ndim() == 3 && bpp > 1 && a.strides(2) != 1)
    Raise(QG_ERR_IMAGE, what, "the channels of a pixel must be adjacent bytes; pass np.ascontiguousarray(image)");
  if (width > 1 && column != bpp)
    Raise(QG_ERR_IMAGE, what, "the pixels of a row must be adjacent (contiguous columns); pass np.ascontiguousarray(image)");
  const py::ssize_t row_bytes = static_cast<py::ssize_t>(width) * bpp;
  if (a.shape(0) == 1) return static_cast<int32_t>(row_bytes);
  const py::ssize_t stride = a.strides(0);
  if (stride < row_bytes)
    Raise(QG_ERR_IMAGE, what, "rows must follow each other forwards without overlapping; pass np.ascontiguousarray(image)");
  if (stride > INT32_MAX) Raise(QG_ERR_IMAGE, what, "row stride beyond 2^31 - 1 bytes");
  return static_cast<int32_t>(stride);
}

} // namespace

void RegisterError(py::module_& module, const char* qualified_name, const char* doc) {
  if (!g_error) {
    g_error = PyErr_NewExceptionWithDoc(qualified_name, doc, PyExc_ValueError, nullptr);
    if (!g_error) throw py::error_already_set();
  }
  module.attr("Error") = py::handle(g_error);
}

py::object ErrorType() { return py::reinterpret_borrow<py::object>(g_error); }

void Raise(int32_t code, const char* what, const std::string& detail) {
  std::string message = std::string(what) + ": " + CodeText(code);
  if (!detail.empty()) message += ": " + detail;
  py::object error = py::reinterpret_borrow<py::object>(g_error)(message);
  error.attr("code") = code;
  PyErr_SetObject(g_error, error.ptr());
  throw py::error_already_set();
}

void RaiseText(const std::string& message) {
  py::object error = py::reinterpret_borrow<py::object>(g_error)(message);
  error.attr("code") = py::none();
  PyErr_SetObject(g_error, error.ptr());
  throw py::error_already_set();
}

void Check(int32_t code, const char* what) {
  if (code < 0) Raise(code, what);
}

ImageArg ImageOf(const py::handle& object, const char* what) {
  ImageArg arg;
  // Views an ndarray as it is; other objects (a Pillow image) become one.
  if (py::isinstance<py::array>(object))
    arg.owner = py::reinterpret_borrow<py::array>(object);
  else
    arg.owner = py::array::ensure(object);
  if (!arg.owner) {
    PyErr_Clear();
    Raise(QG_ERR_IMAGE, what, "not an array of pixels");
  }
  const py::array& a = arg.owner;
  const py::dtype dtype = a.dtype();
  if (dtype.kind() != 'u' || dtype.itemsize() != 1)
    Raise(QG_ERR_IMAGE, what, "pixels must be numpy uint8, not " + py::str(static_cast<const py::handle&>(dtype)).cast<std::string>());
  int32_t bpp = 1;
  if (a.ndim() == 3) {
    const py::ssize_t channels = a.shape(2);
    if (channels != 1 && channels != 3 && channels != 4)
      Raise(QG_ERR_IMAGE, what, "a colour image is H x W x 3 or H x W x 4 (blue, green, red[, x]), not " +
                                    std::to_string(channels) + " channels");
    bpp = static_cast<int32_t>(channels);
  } else if (a.ndim() != 2) {
    Raise(QG_ERR_IMAGE, what, "an image is a 2-D (grey) or 3-D (colour) array, not " + std::to_string(a.ndim()) + "-D");
  }
  if (a.shape(0) < 1 || a.shape(1) < 1) Raise(QG_ERR_IMAGE, what, "the image is empty");
  if (a.shape(0) > INT32_MAX || a.shape(1) * bpp > INT32_MAX)
    Raise(QG_ERR_IMAGE, what, "the image is beyond 2^31 - 1 rows or row bytes");
  const int32_t width = static_cast<int32_t>(a.shape(1));
  arg.image.pixels = static_cast<const uint8_t*>(a.data());
  arg.image.width = width;
  arg.image.height = static_cast<int32_t>(a.shape(0));
  arg.image.bytesPerPixel = bpp;
  arg.image.stride = RowStrideOf(a, width, bpp, what);
  return arg;
}

std::vector<qgPoint> PointsOf(const py::handle& object, const char* what) {
  using Doubles = py::array_t<double, py::array::c_style | py::array::forcecast>;
  // Refused before any copy: the library takes no more anyway.
  if (py::isinstance<py::array>(object) && py::reinterpret_borrow<py::array>(object).ndim() > 0 &&
      py::reinterpret_borrow<py::array>(object).shape(0) > QG_MAX_POINTS)
    Raise(QG_ERR_TOO_LARGE, what);
  Doubles a = Doubles::ensure(object);
  if (!a) {
    PyErr_Clear();
    Raise(QG_ERR_ARGUMENT, what, "points must be a sequence of (x, y) numbers");
  }
  if (a.size() == 0) return {};
  if (a.ndim() != 2 || a.shape(1) != 2)
    Raise(QG_ERR_ARGUMENT, what, "points must be an N x 2 array or a sequence of (x, y) pairs");
  if (a.shape(0) > QG_MAX_POINTS) Raise(QG_ERR_TOO_LARGE, what);
  std::vector<qgPoint> points(static_cast<size_t>(a.shape(0)));
  auto view = a.unchecked<2>();
  for (py::ssize_t i = 0; i < a.shape(0); ++i) points[static_cast<size_t>(i)] = {view(i, 0), view(i, 1)};
  return points;
}

int32_t PolarityOf(const std::string& word, const char* what) {
  if (word == "any") return QG_POLARITY_EITHER;
  if (word == "dark_to_light") return QG_POLARITY_DARK_TO_LIGHT;
  if (word == "light_to_dark") return QG_POLARITY_LIGHT_TO_DARK;
  Raise(QG_ERR_ARGUMENT, what, "polarity '" + word + "' is not one of any, dark_to_light, light_to_dark");
}

int32_t SelectOf(const std::string& word, const char* what) {
  if (word == "first") return QG_SELECT_FIRST;
  if (word == "last") return QG_SELECT_LAST;
  if (word == "strongest") return QG_SELECT_STRONGEST;
  if (word == "all") return QG_SELECT_ALL;
  Raise(QG_ERR_ARGUMENT, what, "select '" + word + "' is not one of first, last, strongest, all");
}

} // namespace orvane_py
