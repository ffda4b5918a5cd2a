// Module functions called the way nearly every call comes: plain numbers,
// points as two-number tuples or lists, option words as str. pybind11's
// general dispatch builds a keyword dictionary, copies it and looks every
// parameter up by a freshly made name; for a short caliper that is several
// percent of the library's own time. A fast entry parses the plain forms
// itself and hands every other call, unchanged, to the pybind11 function,
// which converts and reports as always.
#pragma once

#include <pybind11/pybind11.h>

#include <array>
#include <string>

namespace orvane_py {

namespace py = pybind11;

using FastFunction = PyObject* (*)(PyObject* module, PyObject* const* args, Py_ssize_t nargs, PyObject* kwnames);

// Puts the positional arguments and the keywords of a vectorcall into
// `out[0..count)` in the order of `names` (nullptr where not given). False
// when the call is not plain: more than `max_positional` positional
// arguments, or a keyword unknown or given twice.
bool PlaceArgs(PyObject* const* args, Py_ssize_t nargs, PyObject* kwnames, const char* const* names, size_t count,
               size_t max_positional, PyObject** out);

// A float or int (not a subclass such as bool) as a double; `fallback` when
// absent. False for anything else.
bool PlainNumber(PyObject* object, double fallback, double* out);
// A tuple or list of exactly two plain numbers.
bool PlainPoint(PyObject* object, std::array<double, 2>* out);
// A str as its UTF-8 bytes; `fallback` when absent.
bool PlainWord(PyObject* object, const char* fallback, std::string* out);

// Replaces module.`name`, already defined by pybind11, with `fast`; the
// pybind11 function, for the calls `fast` does not parse, goes to `*general`
// and is kept for the life of the process. The docstring (with the
// signature line) stays the pybind11 function's.
void InstallFastEntry(py::module_& module, const char* name, FastFunction fast, PyObject** general);

// Calls the pybind11 function with the call as it came.
PyObject* CallGeneral(PyObject* general, PyObject* const* args, Py_ssize_t nargs, PyObject* kwnames);

} // namespace orvane_py
