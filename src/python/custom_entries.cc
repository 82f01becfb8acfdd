#include "python/custom_entries.h"

#include <new>
#include <optional>
#include <string>
#include <string_view>
#include <utility>

#include "engine/config/custom_entries.h"
#include "python/arguments.h"
#include "python/errors.h"
#include "python/messages.h"

namespace lumo::python {
namespace {

// Reads one key and value of a dict.
bool parse_dict_item(PyObject* key, PyObject* value, CustomPairs* pairs) {
  std::string_view key_text;
  std::string_view value_text;
  if (!PyUnicode_Check(key)) return raise_value_error(messages::dict_keys_not_strings()), false;
  if (!read_utf8_plain(key, &key_text)) return false;
  if (!PyUnicode_Check(value)) return raise_value_error(messages::dict_values_not_strings()), false;
  if (!read_utf8_plain(value, &value_text)) return false;
  pairs->emplace_back(key_text, value_text);
  return true;
}

bool parse_dict(PyObject* dict, CustomPairs* pairs) {
  {
    // The dict is locked while its borrowed items are read: another thread
    // may change it when no interpreter lock is held.
    const ObjectLock lock(dict);
    pairs->reserve(static_cast<std::size_t>(PyDict_GET_SIZE(dict)));
    Py_ssize_t position = 0;
    PyObject* key = nullptr;
    PyObject* value = nullptr;
    while (PyDict_Next(dict, &position, &key, &value)) {
      if (!parse_dict_item(key, value, pairs)) return false;
    }
  }
  if (pairs->empty()) return raise_value_error(messages::custom_dict_empty()), false;
  return true;
}

// Reads one [key, value] item at position `index`.
bool parse_pair_item(PyObject* item, std::size_t index, CustomPairs* pairs) {
  const bool is_tuple = PyTuple_Check(item);
  const bool is_list = !is_tuple && PyList_Check(item);
  if (!is_tuple && !is_list) return raise_value_error(messages::entry_not_a_pair(index)), false;
  // Both halves are held, and a list is locked while they are taken: a
  // list item is only borrowed from storage its owner (or, with no
  // interpreter lock, another thread) could change.
  PyObject* key = nullptr;
  PyObject* value = nullptr;
  {
    const ObjectLock lock(item);
    if ((is_tuple ? PyTuple_GET_SIZE(item) : PyList_GET_SIZE(item)) == 2) {
      key = is_tuple ? PyTuple_GET_ITEM(item, 0) : PyList_GET_ITEM(item, 0);
      value = is_tuple ? PyTuple_GET_ITEM(item, 1) : PyList_GET_ITEM(item, 1);
      Py_INCREF(key);
      Py_INCREF(value);
    }
  }
  if (key == nullptr) return raise_value_error(messages::entry_not_two_elements(index)), false;
  std::string_view key_text;
  std::string_view value_text;
  const bool ok = read_utf8_plain(key, &key_text) && read_utf8_plain(value, &value_text);
  if (ok) pairs->emplace_back(key_text, value_text);
  Py_DECREF(key);
  Py_DECREF(value);
  if (!ok) return false;
  if (pairs->back().first.empty())
    return raise_value_error(messages::entry_with_empty_key(index)), false;
  return true;
}

bool parse_iterable(PyObject* iterable, const std::string& empty_message, CustomPairs* pairs) {
  PyObject* iterator = PyObject_GetIter(iterable);
  if (iterator == nullptr) return false;
  bool ok = true;
  std::size_t index = 0;
  while (ok) {
    PyObject* item = PyIter_Next(iterator);
    if (item == nullptr) {
      ok = !PyErr_Occurred();
      break;
    }
    ok = parse_pair_item(item, index++, pairs);
    Py_DECREF(item);
  }
  Py_DECREF(iterator);
  if (ok && pairs->empty()) return raise_value_error(empty_message), false;
  return ok;
}

// 1 when `entries` is a collections.abc.Mapping, 0 when not, -1 with an
// exception set when the check itself fails.
int is_mapping(PyObject* entries) {
  PyObject* abc = PyImport_ImportModule("collections.abc");
  if (abc == nullptr) return -1;
  PyObject* mapping = PyObject_GetAttrString(abc, "Mapping");
  Py_DECREF(abc);
  if (mapping == nullptr) return -1;
  const int found = PyObject_IsInstance(entries, mapping);
  Py_DECREF(mapping);
  return found;
}

// A mapping that is not a dict is read as dict(entries) reads it (its keys(),
// then each value by key), so that it means what it says instead of being
// iterated for pairs; the copy is then read as a dict.
bool parse_mapping(PyObject* entries, CustomPairs* pairs) {
  PyObject* copy = PyDict_New();
  if (copy == nullptr) return false;
  const bool ok = PyDict_Merge(copy, entries, 1) == 0 && parse_dict(copy, pairs);
  Py_DECREF(copy);
  return ok;
}

bool parse_shapes(PyObject* entries, CustomPairs* pairs) {
  if (PyDict_Check(entries)) return parse_dict(entries, pairs);
  if (PyUnicode_Check(entries)) {
    std::string_view text;
    if (!read_utf8_plain(entries, &text)) return false;
    Result<CustomPairs> parsed = parse_custom_string(text);
    if (!parsed) return raise_value_error(parsed.error()), false;
    *pairs = std::move(parsed).value();
    return true;
  }
  if (PyList_Check(entries) || PyTuple_Check(entries)) {
    return parse_iterable(entries, messages::custom_list_empty(), pairs);
  }
  const int mapping = is_mapping(entries);
  if (mapping < 0) return false;
  if (mapping > 0) return parse_mapping(entries, pairs);
  PyObject* iter = PyObject_GetAttrString(entries, "__iter__");
  if (iter == nullptr) {
    if (PyErr_ExceptionMatches(PyExc_AttributeError)) {
      PyErr_Clear();
      raise_value_error(messages::unusable_entries());
    }
    return false;
  }
  Py_DECREF(iter);
  return parse_iterable(entries, messages::custom_iterator_empty(), pairs);
}

// Raises the ValueError of custom pieces that hold no pair or a piece
// without a space, the latter with its number and text; returns nullptr.
PyObject* raise_pieces_error(const CustomPieces& pieces, const std::string& message) {
  PyObject* const error = new_str(message);
  PyObject* const exception =
      error == nullptr ? nullptr : PyObject_CallOneArg(PyExc_ValueError, error);
  Py_XDECREF(error);
  if (exception == nullptr) return nullptr;
  bool ok = true;
  if (const std::optional<PieceWithoutSpace>& piece = pieces.without_space) {
    PyObject* const number = PyLong_FromSize_t(piece->number);
    PyObject* const text = new_str(piece->text);
    ok = number != nullptr && text != nullptr &&
         PyObject_SetAttrString(exception, "number", number) == 0 &&
         PyObject_SetAttrString(exception, "piece", text) == 0;
    Py_XDECREF(number);
    Py_XDECREF(text);
  }
  if (ok) PyErr_SetObject(PyExc_ValueError, exception);
  Py_DECREF(exception);
  return nullptr;
}

}  // namespace

PyObject* new_pairs_tuple(const CustomPairs& pairs) {
  PyObject* const tuple = PyTuple_New(static_cast<Py_ssize_t>(pairs.size()));
  for (std::size_t i = 0; tuple != nullptr && i < pairs.size(); ++i) {
    PyObject* const key = new_str(pairs[i].first);
    PyObject* const value = new_str(pairs[i].second);
    PyObject* const pair =
        key != nullptr && value != nullptr ? PyTuple_Pack(2, key, value) : nullptr;
    Py_XDECREF(key);
    Py_XDECREF(value);
    if (pair == nullptr) {
      Py_DECREF(tuple);
      return nullptr;
    }
    PyTuple_SET_ITEM(tuple, static_cast<Py_ssize_t>(i), pair);
  }
  return tuple;
}

PyObject* custom_string_pairs(const char* parameter, PyObject* text, char separator) {
  std::string_view utf8;
  if (!read_utf8(parameter, text, &utf8)) return nullptr;
  return guarded([&] {
    const CustomPieces pieces = read_custom_pieces(utf8, separator);
    if (std::optional<std::string> error = custom_pieces_error(pieces)) {
      return raise_pieces_error(pieces, *error);
    }
    return new_pairs_tuple(pieces.pairs);
  });
}

bool parse_custom_entries(PyObject* entries, CustomPairs* pairs) {
  try {
    return parse_shapes(entries, pairs);
  } catch (const std::bad_alloc&) {
    PyErr_NoMemory();
    return false;
  }
}

}  // namespace lumo::python
