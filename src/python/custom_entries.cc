#include "python/custom_entries.h"

#include <new>
#include <string>
#include <string_view>
#include <utility>

#include "engine/config/custom_entries.h"
#include "python/arguments.h"
#include "python/errors.h"

namespace lumo::python {
namespace {

constexpr const char* kUnusableEntries =
    "entries must be a list of [key, value] pairs, a dict, or a 'key value|...' string";

bool parse_dict(PyObject* dict, CustomPairs* pairs) {
  pairs->reserve(static_cast<std::size_t>(PyDict_Size(dict)));
  Py_ssize_t position = 0;
  PyObject* key = nullptr;
  PyObject* value = nullptr;
  while (PyDict_Next(dict, &position, &key, &value)) {
    std::string_view key_text;
    std::string_view value_text;
    if (!PyUnicode_Check(key)) return raise_value_error("dict keys must be strings"), false;
    if (!read_utf8_plain(key, &key_text)) return false;
    if (!PyUnicode_Check(value)) return raise_value_error("dict values must be strings"), false;
    if (!read_utf8_plain(value, &value_text)) return false;
    pairs->emplace_back(key_text, value_text);
  }
  if (pairs->empty()) return raise_value_error("custom dict is empty"), false;
  return true;
}

// Reads one [key, value] item at position `index`.
bool parse_pair_item(PyObject* item, std::size_t index, CustomPairs* pairs) {
  const bool is_tuple = PyTuple_Check(item);
  const bool is_list = !is_tuple && PyList_Check(item);
  const std::string where = "entries[" + std::to_string(index) + "]";
  if (!is_tuple && !is_list)
    return raise_value_error(where + " must be a [key, value] pair"), false;
  const Py_ssize_t size = is_tuple ? PyTuple_GET_SIZE(item) : PyList_GET_SIZE(item);
  if (size != 2) return raise_value_error(where + " must be a 2-element [key, value]"), false;
  // Hold both halves: nothing below runs Python code, but a list item is
  // only borrowed from storage its owner could change.
  PyObject* key = is_tuple ? PyTuple_GET_ITEM(item, 0) : PyList_GET_ITEM(item, 0);
  PyObject* value = is_tuple ? PyTuple_GET_ITEM(item, 1) : PyList_GET_ITEM(item, 1);
  Py_INCREF(key);
  Py_INCREF(value);
  std::string_view key_text;
  std::string_view value_text;
  const bool ok = read_utf8_plain(key, &key_text) && read_utf8_plain(value, &value_text);
  if (ok) pairs->emplace_back(key_text, value_text);
  Py_DECREF(key);
  Py_DECREF(value);
  if (!ok) return false;
  if (pairs->back().first.empty()) return raise_value_error(where + " has an empty key"), false;
  return true;
}

bool parse_iterable(PyObject* iterable, const char* empty_message, CustomPairs* pairs) {
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
    return parse_iterable(entries, "custom entries list is empty", pairs);
  }
  const int mapping = is_mapping(entries);
  if (mapping < 0) return false;
  if (mapping > 0) return parse_mapping(entries, pairs);
  PyObject* iter = PyObject_GetAttrString(entries, "__iter__");
  if (iter == nullptr) {
    if (PyErr_ExceptionMatches(PyExc_AttributeError)) {
      PyErr_Clear();
      raise_value_error(kUnusableEntries);
    }
    return false;
  }
  Py_DECREF(iter);
  return parse_iterable(entries, "custom entries iterator is empty", pairs);
}

}  // namespace

bool parse_custom_entries(PyObject* entries, CustomPairs* pairs) {
  try {
    return parse_shapes(entries, pairs);
  } catch (const std::bad_alloc&) {
    PyErr_NoMemory();
    return false;
  }
}

}  // namespace lumo::python
