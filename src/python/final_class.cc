#include "python/final_class.h"

#include <cstring>

namespace lumo::python {

PyObject* create_final_class(PyType_Spec* spec) {
  spec->flags = Py_TPFLAGS_DEFAULT;
#ifdef Py_TPFLAGS_IMMUTABLETYPE
  spec->flags |= Py_TPFLAGS_IMMUTABLETYPE;
#endif
  PyObject* type = PyType_FromSpec(spec);
  if (type == nullptr) return nullptr;
  // The spec is named "builtins.<Class>", so the interpreter sets __module__
  // itself (a dotless name would leave it unset and warn). Messages that
  // name the type should still say just "<Class>", as for built-in types.
  const char* dot = std::strrchr(spec->name, '.');
  if (dot != nullptr) reinterpret_cast<PyTypeObject*>(type)->tp_name = dot + 1;
  return type;
}

}  // namespace lumo::python
