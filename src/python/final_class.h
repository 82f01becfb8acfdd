// Classes the module exposes are final and read-only: they cannot be
// subclassed, have no instance __dict__ and no weak references, compare and
// hash by identity, and report __module__ 'builtins' with the bare class
// name as __qualname__.
#ifndef LUMO_PYTHON_FINAL_CLASS_H_
#define LUMO_PYTHON_FINAL_CLASS_H_

#include "python/python.h"

namespace lumo::python {

// Creates a class from `spec` (named "builtins.<Class>"), adding the flags
// above to those `spec` sets, and stores it in `*kept` with a reference of its own that lives as
// long as the process. Returns a new reference, or nullptr with an
// exception set.
PyObject* create_final_class(PyType_Spec* spec, PyTypeObject** kept);

}  // namespace lumo::python

#endif  // LUMO_PYTHON_FINAL_CLASS_H_
