#include "python/final_class.h"

namespace lumo::python {

PyObject* create_final_class(PyType_Spec* spec) {
  spec->flags = Py_TPFLAGS_DEFAULT;
#ifdef Py_TPFLAGS_IMMUTABLETYPE
  spec->flags |= Py_TPFLAGS_IMMUTABLETYPE;
#endif
  PyObject* type = PyType_FromSpec(spec);
  if (type == nullptr) return nullptr;
  // A class made from a dotless name has no __module__ at all. The type is
  // immutable to Python code, so set it in the type's dictionary directly.
  PyObject* dict = reinterpret_cast<PyTypeObject*>(type)->tp_dict;
  PyObject* module_name = PyUnicode_InternFromString("builtins");
  const bool failed =
      module_name == nullptr || PyDict_SetItemString(dict, "__module__", module_name) < 0;
  Py_XDECREF(module_name);
  if (failed) {
    Py_DECREF(type);
    return nullptr;
  }
  PyType_Modified(reinterpret_cast<PyTypeObject*>(type));
  return type;
}

}  // namespace lumo::python
