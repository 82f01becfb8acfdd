// Pickles of lumo's objects. The classes report the module `builtins`,
// where pickle cannot look them up, so a pickle names a function of the
// pure-Python module _lumo_pickle, shipped beside the extension, and the
// few values that make the object again: never its tables.
#ifndef LUMO_PYTHON_PICKLING_H_
#define LUMO_PYTHON_PICKLING_H_

#include "python/python.h"

namespace lumo::python {

// A new reference to the function `name` of _lumo_pickle, or nullptr with
// an exception set.
PyObject* restore_function(const char* name);

// `self` itself, for __copy__ and __deepcopy__ of immutable objects.
PyObject* same_object(PyObject* self, PyObject* unused);

}  // namespace lumo::python

#endif  // LUMO_PYTHON_PICKLING_H_
