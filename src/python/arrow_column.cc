#include "python/arrow_column.h"

#include <memory>
#include <optional>
#include <string>
#include <utility>

#include "columns/arrow_c_interface.h"
#include "columns/column_type.h"
#include "columns/converted_column.h"
#include "columns/string_array.h"
#include "engine/whole/column_conversion.h"
#include "python/arrow_result_type.h"
#include "python/errors.h"
#include "python/messages.h"
#include "python/text_conversion.h"

namespace lumo::python {
namespace {

using columns::ColumnType;
using columns::ConvertedColumn;
using columns::LayoutFault;
using columns::StringArray;

// Raises `exception` (a reference taken by take_raised_exception) again;
// nothing for nullptr.
void raise_again(PyObject* exception) {
  if (exception == nullptr) return;
#if PY_VERSION_HEX >= 0x030C0000
  PyErr_SetRaisedException(exception);
#else
  PyObject* const type = reinterpret_cast<PyObject*>(Py_TYPE(exception));
  Py_INCREF(type);
  PyErr_Restore(type, exception, PyException_GetTraceback(exception));
#endif
}

// A structure of the interface taken out of its capsule: released once,
// when this goes. Its release may run the producer's Python code, which
// must not find an exception being raised: one is set aside meanwhile.
template <typename Struct>
struct Taken {
  Struct value{};
  Taken() = default;
  Taken(const Taken&) = delete;
  Taken& operator=(const Taken&) = delete;
  ~Taken() {
    if (value.release == nullptr) return;
    PyObject* const raised = take_raised_exception();
    value.release(&value);
    raise_again(raised);
  }
};

// Moves the structure out of `capsule`, named `name`, leaving it released
// there so that the capsule's destructor does nothing. False with TypeError
// set for another object.
template <typename Struct>
bool take_from_capsule(PyObject* capsule, const char* name, const char* method, Taken<Struct>* to) {
  auto* const held = PyCapsule_IsValid(capsule, name)
                         ? static_cast<Struct*>(PyCapsule_GetPointer(capsule, name))
                         : nullptr;
  if (held == nullptr) {
    PyErr_Clear();
    raise_type_error(messages::arrow_not_a_capsule(method, name));
    return false;
  }
  if (held->release == nullptr) {
    raise_value_error(messages::arrow_capsule_released(name));
    return false;
  }
  to->value = *held;
  held->release = nullptr;
  return true;
}

// `object.name` if it has it; an empty reference when it has not, with no
// exception set, or with the exception getting it raised.
OwnedObject optional_attribute(PyObject* object, const char* name) {
  OwnedObject attribute = owned(PyObject_GetAttrString(object, name));
  if (attribute == nullptr && PyErr_ExceptionMatches(PyExc_AttributeError)) PyErr_Clear();
  return attribute;
}

// Raises OSError with the code and the text of a stream's failure.
void raise_producer_error(ArrowArrayStream& stream, int code) {
  const char* const text =
      stream.get_last_error != nullptr ? stream.get_last_error(&stream) : nullptr;
  const std::string message = messages::arrow_producer_failed(code, text);
  PyObject* const value =
      Py_BuildValue("(is#)", code, message.data(), static_cast<Py_ssize_t>(message.size()));
  if (value == nullptr) return;
  PyErr_SetObject(PyExc_OSError, value);
  Py_DECREF(value);
}

// Converts rows [0, array.length) of the column as its next chunk, their
// first row being row `first` of the column. False with an exception set.
bool convert_array(const Converter& converter, const ArrowArray& array, std::size_t first,
                   ConvertedColumn& column) {
  StringArray rows;
  LayoutFault fault = LayoutFault::kNone;
  Py_BEGIN_ALLOW_THREADS;
  fault = rows.read(array, column.type());
  Py_END_ALLOW_THREADS;
  if (fault != LayoutFault::kNone) {
    raise_value_error(messages::arrow_bad_layout(fault, first));
    return false;
  }
  const std::size_t threads = may_use_threads(rows.bytes()) ? thread_count() : 1;
  ColumnResult result;
  Py_BEGIN_ALLOW_THREADS;
  result = column.append(converter, rows, threads);
  Py_END_ALLOW_THREADS;
  switch (result.outcome) {
    case ColumnOutcome::kConverted:
      return true;
    case ColumnOutcome::kInvalidUtf8:
      raise_value_error(messages::arrow_invalid_utf8(first + result.row));
      return false;
    default:
      PyErr_NoMemory();
      return false;
  }
}

// The column type of `schema`; nullopt with TypeError set for another.
std::optional<ColumnType> column_type(const ArrowSchema& schema) {
  std::string type_name;
  std::optional<ColumnType> type = columns::read_column_type(schema, &type_name);
  if (!type) raise_type_error(messages::arrow_not_strings(type_name));
  return type;
}

// The converted column of a producer's stream; nullptr with an exception
// set.
std::shared_ptr<ConvertedColumn> converted_stream(const Converter& converter, PyObject* method) {
  const OwnedObject capsule = owned(PyObject_CallNoArgs(method));
  if (capsule == nullptr) return nullptr;
  Taken<ArrowArrayStream> stream;
  if (!take_from_capsule(capsule.get(), "arrow_array_stream", "__arrow_c_stream__", &stream)) {
    return nullptr;
  }
  Taken<ArrowSchema> schema;
  if (const int code = stream.value.get_schema(&stream.value, &schema.value); code != 0) {
    raise_producer_error(stream.value, code);
    return nullptr;
  }
  std::optional<ColumnType> type = column_type(schema.value);
  if (!type) return nullptr;
  auto column = std::make_shared<ConvertedColumn>(std::move(*type));
  std::size_t rows = 0;
  for (;;) {
    Taken<ArrowArray> array;
    if (const int code = stream.value.get_next(&stream.value, &array.value); code != 0) {
      raise_producer_error(stream.value, code);
      return nullptr;
    }
    if (array.value.release == nullptr) break;
    if (!convert_array(converter, array.value, rows, *column)) return nullptr;
    rows += static_cast<std::size_t>(array.value.length);
  }
  return column;
}

// The converted column of a producer's one array; nullptr with an
// exception set.
std::shared_ptr<ConvertedColumn> converted_array(const Converter& converter, PyObject* method) {
  const OwnedObject pair = owned(PyObject_CallNoArgs(method));
  if (pair == nullptr) return nullptr;
  if (!PyTuple_Check(pair.get()) || PyTuple_GET_SIZE(pair.get()) != 2) {
    raise_type_error(messages::arrow_not_a_capsule("__arrow_c_array__", "arrow_schema"));
    return nullptr;
  }
  Taken<ArrowSchema> schema;
  Taken<ArrowArray> array;
  if (!take_from_capsule(PyTuple_GET_ITEM(pair.get(), 0), "arrow_schema", "__arrow_c_array__",
                         &schema) ||
      !take_from_capsule(PyTuple_GET_ITEM(pair.get(), 1), "arrow_array", "__arrow_c_array__",
                         &array)) {
    return nullptr;
  }
  std::optional<ColumnType> type = column_type(schema.value);
  if (!type) return nullptr;
  auto column = std::make_shared<ConvertedColumn>(std::move(*type));
  if (!convert_array(converter, array.value, 0, *column)) return nullptr;
  return column;
}

}  // namespace

PyObject* converted_arrow(const Converter& converter, PyObject* data) {
  const OwnedObject stream = optional_attribute(data, "__arrow_c_stream__");
  if (stream == nullptr && PyErr_Occurred()) return nullptr;
  const OwnedObject array = optional_attribute(data, "__arrow_c_array__");
  if (array == nullptr && PyErr_Occurred()) return nullptr;
  if (stream == nullptr && array == nullptr) {
    return raise_type_error(messages::arrow_no_interface(Py_TYPE(data)->tp_name));
  }
  // A stream is read when offered; the result is one array again when the
  // input offered one.
  std::shared_ptr<ConvertedColumn> column = stream != nullptr
                                                ? converted_stream(converter, stream.get())
                                                : converted_array(converter, array.get());
  if (column == nullptr) return nullptr;
  if (!column->finish()) return PyErr_NoMemory();
  return new_converted_column(std::move(column), array != nullptr);
}

}  // namespace lumo::python
