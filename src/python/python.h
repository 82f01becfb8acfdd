// The one place that includes Python.h, with PY_SSIZE_T_CLEAN, plus the few
// compatibility shims the module needs across CPython 3.9 and newer.
#ifndef LUMO_PYTHON_PYTHON_H_
#define LUMO_PYTHON_PYTHON_H_

#define PY_SSIZE_T_CLEAN
#include <Python.h>

namespace lumo::python {

// A C function of any calling convention, as PyMethodDef stores it.
template <typename Function>
PyCFunction as_cfunction(Function function) {
  return reinterpret_cast<PyCFunction>(reinterpret_cast<void (*)()>(function));
}

// Locks one object against other threads for the life of the lock, where
// no interpreter lock does (free-threaded builds, 3.13 and newer); with
// the interpreter lock it is nothing. Unlike the
// interpreter's block macros it is released on every way out, a C++
// exception included.
class ObjectLock {
 public:
  explicit ObjectLock([[maybe_unused]] PyObject* object) {
#ifdef Py_GIL_DISABLED
    PyCriticalSection_Begin(&section_, object);
#endif
  }
  ~ObjectLock() {
#ifdef Py_GIL_DISABLED
    PyCriticalSection_End(&section_);
#endif
  }
  ObjectLock(const ObjectLock&) = delete;
  ObjectLock& operator=(const ObjectLock&) = delete;

 private:
#ifdef Py_GIL_DISABLED
  PyCriticalSection section_;
#endif
};

// Takes the exception being raised (a new reference, normalized), leaving
// none set; nullptr if none is set.
inline PyObject* take_raised_exception() {
#if PY_VERSION_HEX >= 0x030C0000
  return PyErr_GetRaisedException();
#else
  PyObject* type = nullptr;
  PyObject* value = nullptr;
  PyObject* traceback = nullptr;
  PyErr_Fetch(&type, &value, &traceback);
  if (type == nullptr) return nullptr;
  PyErr_NormalizeException(&type, &value, &traceback);
  if (traceback != nullptr && value != nullptr) PyException_SetTraceback(value, traceback);
  Py_XDECREF(type);
  Py_XDECREF(traceback);
  return value;
#endif
}

}  // namespace lumo::python

#endif  // LUMO_PYTHON_PYTHON_H_
