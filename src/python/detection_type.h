// The Python class Detection (the result of detect) and the function
// detect. A Detection holds copies of a region code and a confidence; it
// has no constructor and no docstring, and only detect creates one.
#ifndef LUMO_PYTHON_DETECTION_TYPE_H_
#define LUMO_PYTHON_DETECTION_TYPE_H_

#include "python/python.h"

namespace lumo::python {

// Creates the class (once per process); a new reference, or nullptr.
PyObject* create_detection_type();

// detect(text): a Detection, or None for text without CJK ideographs or
// kana. Needs create_detection_type() to have succeeded.
PyObject* detect(PyObject* module, PyObject* const* args, Py_ssize_t nargs, PyObject* kwnames);

}  // namespace lumo::python

#endif  // LUMO_PYTHON_DETECTION_TYPE_H_
