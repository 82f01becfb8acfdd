#include "python/text_conversion.h"

#include <cstdint>
#include <cstdlib>
#include <memory>
#include <optional>
#include <string_view>

#include "dict/text_units.h"
#include "engine/config/thread_count.h"
#include "engine/whole/whole_conversion.h"
#include "python/errors.h"

namespace lumo::python {
namespace {

// The threads a conversion of `size` units may use: the environment is
// read only where a text is long enough for more than one.
std::size_t threads_for(std::size_t size) { return may_use_threads(size) ? thread_count() : 1; }

// A new str holding the conversion of text[0, size), or nullptr with an
// exception set.
template <typename Unit>
PyObject* new_converted_str(const Converter& converter, const Unit* text, std::size_t size) {
  PyObject* result = nullptr;
  const auto storage = [&result](const ResultShape& shape) -> void* {
    result =
        PyUnicode_New(static_cast<Py_ssize_t>(shape.characters), static_cast<Py_UCS4>(shape.bound));
    return result == nullptr ? nullptr : PyUnicode_DATA(result);
  };
  ConversionOutcome outcome = ConversionOutcome::kNoStorage;
  try {
    outcome = convert_whole(converter, text, size, {threads_for(size), true}, storage);
  } catch (...) {
    Py_XDECREF(result);
    throw;
  }
  switch (outcome) {
    case ConversionOutcome::kConverted:
      return result;
    case ConversionOutcome::kOutOfMemory:
      Py_XDECREF(result);
      return PyErr_NoMemory();
    case ConversionOutcome::kNoStorage:
      break;
  }
  return nullptr;  // the interpreter's error, from making the str
}

}  // namespace

std::size_t thread_count() {
  const char* const value = std::getenv("LUMO_THREADS");
  if (value != nullptr) {
    if (const std::optional<std::size_t> count = parse_thread_count(value)) return *count;
  }
  return available_threads();
}

bool read_text(const char* parameter, PyObject* object, TextArgument* text) {
  text->str = nullptr;
  std::string_view utf8;
  if (!PyUnicode_Check(object)) return read_utf8(parameter, object, &utf8);
#if PY_VERSION_HEX < 0x030C0000
  if (PyUnicode_READY(object) != 0) return false;
#endif
  const void* const data = PyUnicode_DATA(object);
  const auto length = static_cast<std::size_t>(PyUnicode_GET_LENGTH(object));
  const int kind = PyUnicode_KIND(object);
  const bool surrogate =
      kind == PyUnicode_2BYTE_KIND   ? has_surrogate(static_cast<const Py_UCS2*>(data), length)
      : kind == PyUnicode_4BYTE_KIND ? has_surrogate(static_cast<const Py_UCS4*>(data), length)
                                     : false;
  // The interpreter raises its own error for a str it cannot encode, and
  // attaches nothing to it then.
  if (surrogate) return read_utf8(parameter, object, &utf8);
  text->str = object;
  return true;
}

bool text_units(const TextArgument& text, BatchRow* units, OwnedObject* copy) {
  PyObject* const str = text.str;
  const void* const data = PyUnicode_DATA(str);
  const auto length = static_cast<std::size_t>(PyUnicode_GET_LENGTH(str));
  switch (PyUnicode_KIND(str)) {
    case PyUnicode_2BYTE_KIND:
      *units = {data, length, 2};
      return true;
    case PyUnicode_4BYTE_KIND:
      *units = {data, length, 4};
      return true;
    default:
      break;
  }
  // ASCII is its own UTF-8 form.
  if (PyUnicode_IS_ASCII(str)) {
    *units = {data, length, 1};
    return true;
  }
  *copy = owned(PyUnicode_AsUTF8String(str));
  if (*copy == nullptr) return false;
  *units = {PyBytes_AS_STRING(copy->get()), static_cast<std::size_t>(PyBytes_GET_SIZE(copy->get())),
            1};
  return true;
}

PyObject* converted_str(const Converter& converter, const TextArgument& text) {
  BatchRow units;
  OwnedObject copy = owned(nullptr);
  if (!text_units(text, &units, &copy)) return nullptr;
  switch (units.width) {
    case 2:
      return new_converted_str(converter, static_cast<const std::uint16_t*>(units.units),
                               units.size);
    case 4:
      return new_converted_str(converter, static_cast<const std::uint32_t*>(units.units),
                               units.size);
    default:
      return new_converted_str(converter, static_cast<const char*>(units.units), units.size);
  }
}

PyObject* converted_str(const Converter& converter, const std::uint16_t* text, std::size_t size) {
  return new_converted_str(converter, text, size);
}

PyObject* converted_utf8(const Converter& converter, const char* text, std::size_t size) {
  PyObject* result = nullptr;
  const auto storage = [&result](const ResultShape& shape) -> void* {
    result = PyBytes_FromStringAndSize(nullptr, static_cast<Py_ssize_t>(shape.units));
    return result == nullptr ? nullptr : PyBytes_AS_STRING(result);
  };
  ConversionOptions options{threads_for(size), true};
  options.own_form = true;
  ConversionOutcome outcome = ConversionOutcome::kNoStorage;
  try {
    outcome = convert_whole(converter, text, size, options, storage);
  } catch (...) {
    Py_XDECREF(result);
    throw;
  }
  if (outcome == ConversionOutcome::kConverted) return result;
  Py_XDECREF(result);
  return outcome == ConversionOutcome::kOutOfMemory ? PyErr_NoMemory() : nullptr;
}

}  // namespace lumo::python
