#include "fast_call.h"

#include <cstring>
#include <deque>

namespace orvane_py {

bool PlaceArgs(PyObject* const* args, Py_ssize_t nargs, PyObject* kwnames, const char* const* names, size_t count,
               size_t max_positional, PyObject** out) {
  if (nargs < 0 || static_cast<size_t>(nargs) > max_positional) return false;
  for (size_t i = 0; i < count; ++i) out[i] = i < static_cast<size_t>(nargs) ? args[i] : nullptr;
  const Py_ssize_t keywords = kwnames != nullptr ? PyTuple_GET_SIZE(kwnames) : 0;
  for (Py_ssize_t k = 0; k < keywords; ++k) {
    PyObject* key = PyTuple_GET_ITEM(kwnames, k);
    size_t i = 0;
    while (i < count && PyUnicode_CompareWithASCIIString(key, names[i]) != 0) ++i;
    if (i == count || out[i] != nullptr) return false;
    out[i] = args[nargs + k];
  }
  return true;
}

bool PlainNumber(PyObject* object, double fallback, double* out) {
  if (object == nullptr) {
    *out = fallback;
    return true;
  }
  if (!PyFloat_CheckExact(object) && !PyLong_CheckExact(object)) return false;
  *out = PyFloat_AsDouble(object);
  // An int beyond a double's range: the general path says so.
  if (*out == -1.0 && PyErr_Occurred()) {
    PyErr_Clear();
    return false;
  }
  return true;
}

bool PlainPoint(PyObject* object, std::array<double, 2>* out) {
  if (object == nullptr) return false;
  const bool tuple = PyTuple_CheckExact(object);
  if (!tuple && !PyList_CheckExact(object)) return false;
  if (PySequence_Fast_GET_SIZE(object) != 2) return false;
  PyObject** items = PySequence_Fast_ITEMS(object);
  return PlainNumber(items[0], 0, &(*out)[0]) && PlainNumber(items[1], 0, &(*out)[1]);
}

bool PlainWord(PyObject* object, const char* fallback, std::string* out) {
  if (object == nullptr) {
    *out = fallback;
    return true;
  }
  if (!PyUnicode_CheckExact(object)) return false;
  Py_ssize_t size = 0;
  const char* text = PyUnicode_AsUTF8AndSize(object, &size);
  if (text == nullptr) {
    PyErr_Clear();
    return false;
  }
  out->assign(text, static_cast<size_t>(size));
  return true;
}

PyObject* CallGeneral(PyObject* general, PyObject* const* args, Py_ssize_t nargs, PyObject* kwnames) {
  return PyObject_Vectorcall(general, args, static_cast<size_t>(nargs), kwnames);
}

void InstallFastEntry(py::module_& module, const char* name, FastFunction fast, PyObject** general_out) {
  // Method definitions and their texts live as long as the process: the
  // function objects point at them.
  static std::deque<PyMethodDef> defs;
  static std::deque<std::string> docs;
  py::object general = module.attr(name);
  docs.push_back(py::str(general.attr("__doc__")).cast<std::string>());
  defs.push_back(PyMethodDef{name, reinterpret_cast<PyCFunction>(reinterpret_cast<void (*)()>(fast)),
                             METH_FASTCALL | METH_KEYWORDS, docs.back().c_str()});
  py::object module_name = module.attr("__name__");
  PyObject* entry = PyCFunction_NewEx(&defs.back(), module.ptr(), module_name.ptr());
  if (entry == nullptr) throw py::error_already_set();
  module.attr(name) = py::reinterpret_steal<py::object>(entry);
  *general_out = general.release().ptr();
}

} // namespace orvane_py
