#include "python/explanation.h"

#include <cstdint>
#include <vector>

#include "dict/text_units.h"
#include "engine/explain/explanation.h"

namespace lumo::python {
namespace {

PyObject* new_str(const std::u32string& text) {
  return PyUnicode_FromKindAndData(PyUnicode_4BYTE_KIND, text.data(),
                                   static_cast<Py_ssize_t>(text.size()));
}

// (source, target, alternatives) of one span, its source code points
// [begin, span.source_end) of `str` or, without it, of `code_points`; a new
// reference or nullptr.
PyObject* span_tuple(PyObject* str, const std::uint32_t* code_points, Py_ssize_t begin,
                     const ExplainedSpan& span) {
  PyObject* const alternatives = PyTuple_New(static_cast<Py_ssize_t>(span.alternatives.size()));
  if (alternatives == nullptr) return nullptr;
  for (std::size_t i = 0; i < span.alternatives.size(); ++i) {
    PyObject* const alternative = new_str(span.alternatives[i]);
    if (alternative == nullptr) {
      Py_DECREF(alternatives);
      return nullptr;
    }
    PyTuple_SET_ITEM(alternatives, static_cast<Py_ssize_t>(i), alternative);
  }
  const auto end = static_cast<Py_ssize_t>(span.source_end);
  PyObject* const source =
      str != nullptr
          ? PyUnicode_Substring(str, begin, end)
          : PyUnicode_FromKindAndData(PyUnicode_4BYTE_KIND, code_points + begin, end - begin);
  PyObject* const target = new_str(span.target);
  PyObject* const tuple = source != nullptr && target != nullptr
                              ? PyTuple_Pack(3, source, target, alternatives)
                              : nullptr;
  Py_XDECREF(source);
  Py_XDECREF(target);
  Py_DECREF(alternatives);
  return tuple;
}

// The list of the spans of code_points[0, length), the code points of
// `str` when given.
PyObject* span_list(const Converter& converter, PyObject* str, const std::uint32_t* code_points,
                    std::size_t length) {
  const std::vector<ExplainedSpan> spans = explain(converter, code_points, length);
  PyObject* const list = PyList_New(static_cast<Py_ssize_t>(spans.size()));
  if (list == nullptr) return nullptr;
  Py_ssize_t begin = 0;
  for (std::size_t i = 0; i < spans.size(); ++i) {
    PyObject* const tuple = span_tuple(str, code_points, begin, spans[i]);
    if (tuple == nullptr) {
      Py_DECREF(list);
      return nullptr;
    }
    PyList_SET_ITEM(list, static_cast<Py_ssize_t>(i), tuple);
    begin = static_cast<Py_ssize_t>(spans[i].source_end);
  }
  return list;
}

}  // namespace

PyObject* explained_spans(const Converter& converter, const TextArgument& text) {
  PyObject* const str = text.str;
  const auto length = static_cast<std::size_t>(PyUnicode_GET_LENGTH(str));
  const void* const data = PyUnicode_DATA(str);
  std::vector<std::uint32_t> widened;
  const std::uint32_t* code_points = nullptr;
  switch (PyUnicode_KIND(str)) {
    case PyUnicode_1BYTE_KIND: {
      const auto* chars = static_cast<const Py_UCS1*>(data);
      widened.assign(chars, chars + length);
      code_points = widened.data();
      break;
    }
    case PyUnicode_2BYTE_KIND: {
      const auto* chars = static_cast<const Py_UCS2*>(data);
      widened.assign(chars, chars + length);
      code_points = widened.data();
      break;
    }
    default:
      code_points = static_cast<const std::uint32_t*>(data);
      break;
  }
  return span_list(converter, str, code_points, length);
}

PyObject* explained_spans(const Converter& converter, const std::uint16_t* text, std::size_t size) {
  std::vector<std::uint32_t> code_points;
  code_points.reserve(size);
  for (std::size_t pos = 0, length = 0; pos < size; pos += length) {
    code_points.push_back(decode_char(text + pos, &length));
  }
  return span_list(converter, nullptr, code_points.data(), code_points.size());
}

}  // namespace lumo::python
