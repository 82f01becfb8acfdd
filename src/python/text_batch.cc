#include "python/text_batch.h"

#include <memory>
#include <vector>

#include "engine/whole/batch_conversion.h"
#include "engine/whole/whole_conversion.h"
#include "python/errors.h"
#include "python/messages.h"
#include "python/text_conversion.h"

namespace lumo::python {
namespace {

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
  OwnedObject copy = owned(nullptr);
  if (!text_units(text, row, &copy)) return false;
  if (copy != nullptr) copies->push_back(std::move(copy));
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
  OwnedObject list = owned(PyList_New(static_cast<Py_ssize_t>(count)));
  if (list == nullptr) return nullptr;
  // The batch is read, converted and written out a round at a time, so
  // that a round's items and results are still in the processor's cache
  // when they are next used.
  // The thread count (an environment read and a system call) is read only
  // once a first round, sized for one thread, fills: a short batch converts
  // on this thread, as a short text does.
  std::size_t threads = 0;
  std::vector<BatchRow> rows;
  std::vector<OwnedObject> copies;
  for (std::size_t begin = 0; begin < count;) {
    rows.clear();
    copies.clear();
    const std::size_t round_units = batch_round_units(threads == 0 ? 1 : threads);
    std::size_t units = 0;
    std::size_t end = begin;
    for (; end < count && units < round_units; ++end) {
      PyObject* const item = PyTuple_GET_ITEM(items.get(), static_cast<Py_ssize_t>(end));
      BatchRow& row = rows.emplace_back();
      if (!read_row(item, end, &row, &copies)) return nullptr;
      units += row.size + 1;
    }
    if (threads == 0 && units >= round_units) threads = thread_count();
    BatchConversion batch;
    ConversionOutcome outcome = ConversionOutcome::kOutOfMemory;
    Py_BEGIN_ALLOW_THREADS;
    outcome = batch.convert(converter, rows.data(), rows.size(), threads == 0 ? 1 : threads);
    Py_END_ALLOW_THREADS;
    if (outcome != ConversionOutcome::kConverted) return PyErr_NoMemory();
    for (std::size_t i = 0; i < rows.size(); ++i) {
      PyObject* str = Py_None;
      if (rows[i].width == 0) {
        Py_INCREF(str);
      } else {
        const ResultShape& shape = batch.shape(i);
        str = PyUnicode_New(static_cast<Py_ssize_t>(shape.characters),
                            static_cast<Py_UCS4>(shape.bound));
        if (str == nullptr) return nullptr;
        batch.write(i, PyUnicode_DATA(str));
      }
      PyList_SET_ITEM(list.get(), static_cast<Py_ssize_t>(begin + i), str);
    }
    begin = end;
  }
  return list.release();
}

}  // namespace lumo::python
