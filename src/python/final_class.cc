#include "python/final_class.h"

#include <cstring>

namespace lumo::python {

PyObject* create_final_class(PyType_Spec* spec, PyTypeObject** kept) {
  spec->flags |= Py_TPFLAGS_DEFAULT;
#ifdef Py_TPFLAGS_IMMUTABLETYPE
  spec->flags |= Py_TPFLAGS_IMMUTABLETYPE;
#endif
  PyObject* type = PyType_FromSpec(spec);
  if (type == nullptr) return nullptr;
  // The type is named "builtins.<Class>", so the interpreter sets __module__
  // itself (a dotless name would leave it unset and warn). Messages that
  // name the type should still say just "<Class>", as for built-in types.
  auto* type_object = reinterpret_cast<PyTypeObject*>(type);
  const char* dot = std::strrchr(spec->name, '.');
  if (dot != nullptr) type_object->tp_name = dot + 1;
#if PY_VERSION_HEX < 0x030A0000
  // Before 3.10 the interpreter keeps only the docstring without its
  // signature, so __text_signature__ would be lost; give it the whole text
  // back (in memory the type frees as its own).
  for (const PyType_Slot* slot = spec->slots; slot->slot != 0; ++slot) {
    if (slot->slot != Py_tp_doc) continue;
    const char* doc = static_cast<const char*>(slot->pfunc);
    const std::size_t size = std::strlen(doc) + 1;
    auto* copy = static_cast<char*>(PyObject_Malloc(size));
    if (copy == nullptr) {
      Py_DECREF(type);
      return PyErr_NoMemory();
    }
    std::memcpy(copy, doc, size);
    PyObject_Free(const_cast<char*>(type_object->tp_doc));
    type_object->tp_doc = copy;
  }
#endif
  *kept = type_object;
  Py_INCREF(type);  // the process-wide reference, never released
  return type;
}

}  // namespace lumo::python
