#include "python/text_batch.h"

#include <cstring>
#include <memory>
#include <vector>

#include "engine/whole/batch_conversion.h"
#include "engine/whole/whole_conversion.h"
#include "python/errors.h"
#include "python/messages.h"
#include "python/text_conversion.h"

namespace lumo::python {
namespace {

using OwnedObject = std::unique_ptr<PyObject, void (*)(PyObject*)>;

OwnedObject owned(PyObject* object) { return OwnedObject(object, Py_DecRef); }

// Reads item `index`, a str or None, into `row`; a Latin-1 str is read
// through a UTF-8 copy kept in `copies`. False with an exception set for
// any other item.
bool read_row(PyObject* item, std::size_t index, BatchRow* row, std::vector<OwnedObject>* copies) {
  if (item == Py_None) return true;
  if (!PyUnicode_Check(item)) {
    raise_type_error(messages::batch_item_not_str(index, Py_TYPE(item)->tp_name));
    return false;
  }
  TextArgument text;
  if (!read_text("texts", item, &text)) return false;
  const void* const data = PyUnicode_DATA(item);
  const auto length = static_cast<std::size_t>(PyUnicode_GET_LENGTH(item));
  switch (PyUnicode_KIND(item)) {
    case PyUnicode_2BYTE_KIND:
      *row = {data, length, 2};
      return true;
    case PyUnicode_4BYTE_KIND:
      *row = {data, length, 4};
      return true;
    default:
      break;
  }
  // ASCII is its own UTF-8 form; Latin-1 goes through a copy of our own
  // (the interpreter's would stay attached to the str).
  if (PyUnicode_IS_ASCII(item)) {
    *row = {data, length, 1};
    return true;
  }
  OwnedObject utf8 = owned(PyUnicode_AsUTF8String(item));
  if (utf8 == nullptr) return false;
  *row = {PyBytes_AS_STRING(utf8.get()), static_cast<std::size_t>(PyBytes_GET_SIZE(utf8.get())), 1};
  copies->push_back(std::move(utf8));
  return true;
}

}  // namespace

PyObject* converted_list(const Converter& converter, PyObject* texts) {
  // One text is refused rather than converted character by character.
  if (PyUnicode_Check(texts) || PyBytes_Check(texts) || PyByteArray_Check(texts)) {
    return raise_type_error(messages::batch_of_one_text(Py_TYPE(texts)->tp_name));
  }
  // A tuple keeps every item alive and in place while the lock is
  // released; an exact tuple is its own.
  const OwnedObject items = owned(PySequence_Tuple(texts));
  if (items == nullptr) return nullptr;
  const auto count = static_cast<std::size_t>(PyTuple_GET_SIZE(items.get()));
  std::vector<BatchRow> rows(count);
  std::vector<OwnedObject> copies;
  std::size_t total = 0;
  for (std::size_t i = 0; i < count; ++i) {
    PyObject* const item = PyTuple_GET_ITEM(items.get(), static_cast<Py_ssize_t>(i));
    if (!read_row(item, i, &rows[i], &copies)) return nullptr;
    total += rows[i].size;
  }
  const std::size_t threads = may_use_threads(total) ? thread_count() : 1;
  BatchConversion batch;
  ConversionOutcome outcome = ConversionOutcome::kOutOfMemory;
  Py_BEGIN_ALLOW_THREADS;
  outcome = batch.convert(converter, rows.data(), count, threads);
  Py_END_ALLOW_THREADS;
  if (outcome != ConversionOutcome::kConverted) return PyErr_NoMemory();
  OwnedObject list = owned(PyList_New(static_cast<Py_ssize_t>(count)));
  if (list == nullptr) return nullptr;
  for (std::size_t i = 0; i < count; ++i) {
    PyObject* str = Py_None;
    if (rows[i].width == 0) {
      Py_INCREF(str);
    } else {
      const ResultShape& shape = batch.shape(i);
      str = PyUnicode_New(static_cast<Py_ssize_t>(shape.characters),
                          static_cast<Py_UCS4>(shape.bound));
      if (str == nullptr) return nullptr;
      if (shape.characters != 0) {
        std::memcpy(PyUnicode_DATA(str), batch.code_points(i), shape.characters * shape.width());
      }
    }
    PyList_SET_ITEM(list.get(), static_cast<Py_ssize_t>(i), str);
  }
  return list.release();
}

}  // namespace lumo::python
