#include "python/errors.h"

namespace lumo::python {
namespace {

// Created on first need and kept for the life of the process.
PyObject* g_internal_error_type = nullptr;

PyObject* raise_with_text(PyObject* type, std::string_view message) {
  PyObject* text = new_str(message);
  if (text == nullptr) return nullptr;
  PyErr_SetObject(type, text);
  Py_DECREF(text);
  return nullptr;
}

}  // namespace

PyObject* new_str(std::string_view text) {
  return PyUnicode_FromStringAndSize(text.data(), static_cast<Py_ssize_t>(text.size()));
}

PyObject* raise_value_error(std::string_view message) {
  return raise_with_text(PyExc_ValueError, message);
}

PyObject* raise_type_error(std::string_view message) {
  return raise_with_text(PyExc_TypeError, message);
}

PyObject* raise_type_error(PyObject* message) {
  if (message == nullptr) return nullptr;
  PyErr_SetObject(PyExc_TypeError, message);
  Py_DECREF(message);
  return nullptr;
}

bool create_internal_error_type() {
  g_internal_error_type = PyErr_NewExceptionWithDoc(
      "lumo.InternalError",
      "A broken internal invariant of lumo. It derives from BaseException so\n"
      "that ordinary error handling does not hide it; please report it.",
      PyExc_BaseException, nullptr);
  return g_internal_error_type != nullptr;
}

PyObject* raise_internal_error(std::string_view message) {
  return raise_with_text(g_internal_error_type, message);
}

}  // namespace lumo::python
