#include "python/arrow_result_type.h"

#include <new>
#include <utility>

#include "columns/arrow_export.h"
#include "python/errors.h"
#include "python/final_class.h"

namespace lumo::python {
namespace {

using columns::ConvertedColumn;

struct ResultObject {
  PyObject ob_base;
  std::shared_ptr<const ConvertedColumn>* column;  // owned; never null
};

PyTypeObject* g_column_type = nullptr;
PyTypeObject* g_array_type = nullptr;

const std::shared_ptr<const ConvertedColumn>& column_of(PyObject* self) {
  return *reinterpret_cast<ResultObject*>(self)->column;
}

void result_dealloc(PyObject* self) {
  delete reinterpret_cast<ResultObject*>(self)->column;
  PyTypeObject* type = Py_TYPE(self);
  type->tp_free(self);
  Py_DECREF(type);
}

// The capsules' destructors: they release what a consumer did not take.
void free_schema_capsule(PyObject* capsule) {
  auto* const schema = static_cast<ArrowSchema*>(PyCapsule_GetPointer(capsule, "arrow_schema"));
  if (schema == nullptr) return PyErr_Clear();
  if (schema->release != nullptr) schema->release(schema);
  delete schema;
}

void free_array_capsule(PyObject* capsule) {
  auto* const array = static_cast<ArrowArray*>(PyCapsule_GetPointer(capsule, "arrow_array"));
  if (array == nullptr) return PyErr_Clear();
  if (array->release != nullptr) array->release(array);
  delete array;
}

void free_stream_capsule(PyObject* capsule) {
  auto* const stream =
      static_cast<ArrowArrayStream*>(PyCapsule_GetPointer(capsule, "arrow_array_stream"));
  if (stream == nullptr) return PyErr_Clear();
  if (stream->release != nullptr) stream->release(stream);
  delete stream;
}

// A capsule named `name` holding `*held`, made by `fill`; its destructor
// `destructor` releases it. May throw std::bad_alloc: call inside guarded().
template <typename Struct, typename Fill>
PyObject* new_capsule(const char* name, PyCapsule_Destructor destructor, Fill&& fill) {
  auto held = std::make_unique<Struct>();
  fill(held.get());
  PyObject* const capsule = PyCapsule_New(held.get(), name, destructor);
  if (capsule == nullptr) {
    held->release(held.get());
    return nullptr;
  }
  held.release();
  return capsule;
}

// The parameter every export method takes: the consumer may ask for a
// schema, which is read but not followed, the column keeping its type.
bool read_requested_schema(PyObject* args, PyObject* kwargs, const char* format) {
  static const char* keywords[] = {"requested_schema", nullptr};
  PyObject* requested = Py_None;
  return PyArg_ParseTupleAndKeywords(args, kwargs, format, const_cast<char**>(keywords),
                                     &requested) != 0;
}

PyObject* result_arrow_c_stream(PyObject* self, PyObject* args, PyObject* kwargs) {
  if (!read_requested_schema(args, kwargs, "|O:__arrow_c_stream__")) return nullptr;
  return guarded([&] {
    return new_capsule<ArrowArrayStream>(
        "arrow_array_stream", free_stream_capsule,
        [&](ArrowArrayStream* stream) { columns::export_stream(column_of(self), stream); });
  });
}

PyObject* result_arrow_c_array(PyObject* self, PyObject* args, PyObject* kwargs) {
  if (!read_requested_schema(args, kwargs, "|O:__arrow_c_array__")) return nullptr;
  return guarded([&]() -> PyObject* {
    PyObject* const schema = new_capsule<ArrowSchema>(
        "arrow_schema", free_schema_capsule,
        [&](ArrowSchema* out) { columns::export_schema(*column_of(self), out); });
    if (schema == nullptr) return nullptr;
    PyObject* array = nullptr;
    try {
      array = new_capsule<ArrowArray>("arrow_array", free_array_capsule, [&](ArrowArray* out) {
        columns::export_chunk(column_of(self), 0, out);
      });
    } catch (...) {
      Py_DECREF(schema);
      throw;
    }
    if (array == nullptr) {
      Py_DECREF(schema);
      return nullptr;
    }
    PyObject* const pair = PyTuple_Pack(2, schema, array);
    Py_DECREF(schema);
    Py_DECREF(array);
    return pair;
  });
}

PyMethodDef column_methods[] = {
    {"__arrow_c_stream__", as_cfunction(result_arrow_c_stream), METH_VARARGS | METH_KEYWORDS,
     "__arrow_c_stream__($self, requested_schema=None)\n--\n\n"
     "A PyCapsule 'arrow_array_stream' of the converted column, its arrays\n"
     "sharing its buffers."},
    {nullptr, nullptr, 0, nullptr},
};

PyMethodDef array_methods[] = {
    column_methods[0],
    {"__arrow_c_array__", as_cfunction(result_arrow_c_array), METH_VARARGS | METH_KEYWORDS,
     "__arrow_c_array__($self, requested_schema=None)\n--\n\n"
     "PyCapsules 'arrow_schema' and 'arrow_array' of the converted array,\n"
     "sharing its buffers."},
    {nullptr, nullptr, 0, nullptr},
};

PyType_Slot column_slots[] = {
    {Py_tp_doc, const_cast<char*>("A column convert_arrow converted, read through\n"
                                  "__arrow_c_stream__.")},
    {Py_tp_dealloc, reinterpret_cast<void*>(result_dealloc)},
    {Py_tp_methods, column_methods},
    {0, nullptr},
};

PyType_Slot array_slots[] = {
    {Py_tp_doc, const_cast<char*>("An array convert_arrow converted, read through\n"
                                  "__arrow_c_array__ or __arrow_c_stream__.")},
    {Py_tp_dealloc, reinterpret_cast<void*>(result_dealloc)},
    {Py_tp_methods, array_methods},
    {0, nullptr},
};

PyType_Spec column_spec = {"builtins.ConvertedColumn", sizeof(ResultObject), 0, 0, column_slots};
PyType_Spec array_spec = {"builtins.ConvertedArray", sizeof(ResultObject), 0, 0, array_slots};

// Makes the class of `spec`, kept in `*kept` for the life of the process.
bool create_result_type(PyType_Spec* spec, PyTypeObject** kept) {
  PyObject* const type = create_final_class(spec, kept);
  if (type == nullptr) return false;
  Py_DECREF(type);
  // Only convert_arrow makes them.
  (*kept)->tp_new = nullptr;
  return true;
}

}  // namespace

bool create_converted_column_types() {
  return create_result_type(&column_spec, &g_column_type) &&
         create_result_type(&array_spec, &g_array_type);
}

PyObject* new_converted_column(std::shared_ptr<const ConvertedColumn> column, bool one_array) {
  const bool array = one_array && column->chunks().size() == 1;
  PyTypeObject* const type = array ? g_array_type : g_column_type;
  return guarded([&]() -> PyObject* {
    auto held = std::make_unique<std::shared_ptr<const ConvertedColumn>>(std::move(column));
    PyObject* const self = type->tp_alloc(type, 0);
    if (self == nullptr) return nullptr;
    reinterpret_cast<ResultObject*>(self)->column = held.release();
    return self;
  });
}

}  // namespace lumo::python
