#include "python/arguments.h"

#include <string>
#include <vector>

#include "python/errors.h"
#include "python/messages.h"

namespace lumo::python {
namespace {

bool too_many_positional(const Signature& signature, Py_ssize_t given) {
  raise_type_error(
      messages::too_many_positional(signature.display_name, signature.parameter_count, given));
  return false;
}

// Places the keyword argument `name` = `value`; false with TypeError set.
bool bind_keyword(const Signature& signature, PyObject* name, PyObject* value, PyObject** bound) {
  if (!PyUnicode_Check(name)) {
    raise_type_error(messages::keywords_not_strings());
    return false;
  }
  for (std::size_t i = 0; i < signature.parameter_count; ++i) {
    if (PyUnicode_CompareWithASCIIString(name, signature.parameters[i]) != 0) continue;
    if (bound[i] != nullptr) {
      raise_type_error(messages::multiple_values(signature.display_name, signature.parameters[i]));
      return false;
    }
    bound[i] = value;
    return true;
  }
  raise_type_error(messages::unexpected_keyword(signature.display_name, name));
  return false;
}

// Reports the parameters not bound, the way CPython does for Python
// functions.
bool check_missing(const Signature& signature, PyObject* const* bound) {
  std::vector<std::string_view> missing;
  for (std::size_t i = 0; i < signature.parameter_count; ++i) {
    if (bound[i] == nullptr) missing.emplace_back(signature.parameters[i]);
  }
  if (missing.empty()) return true;
  raise_type_error(messages::missing_arguments(signature.display_name, missing));
  return false;
}

}  // namespace

bool bind_fastcall(const Signature& signature, PyObject* const* args, Py_ssize_t nargs,
                   PyObject* kwnames, PyObject** bound, std::size_t keyword_only) {
  const Signature positional{signature.display_name, signature.parameters,
                             signature.parameter_count - keyword_only};
  const auto count = static_cast<Py_ssize_t>(signature.parameter_count);
  if (nargs > static_cast<Py_ssize_t>(positional.parameter_count)) {
    return too_many_positional(positional, nargs);
  }
  for (Py_ssize_t i = 0; i < count; ++i) bound[i] = i < nargs ? args[i] : nullptr;
  const Py_ssize_t keywords = kwnames == nullptr ? 0 : PyTuple_GET_SIZE(kwnames);
  for (Py_ssize_t k = 0; k < keywords; ++k) {
    if (!bind_keyword(signature, PyTuple_GET_ITEM(kwnames, k), args[nargs + k], bound)) {
      return false;
    }
  }
  return check_missing(positional, bound);
}

bool bind_strings(const Signature& signature, PyObject* const* args, Py_ssize_t nargs,
                  PyObject* kwnames, PyObject** bound, std::string_view* texts,
                  std::size_t string_count) {
  if (!bind_fastcall(signature, args, nargs, kwnames, bound)) return false;
  for (std::size_t i = 0; i < string_count; ++i) {
    if (!read_utf8(signature.parameters[i], bound[i], &texts[i])) return false;
  }
  return true;
}

bool bind_call(const Signature& signature, PyObject* args, PyObject* kwargs, PyObject** bound) {
  const auto count = static_cast<Py_ssize_t>(signature.parameter_count);
  const Py_ssize_t nargs = PyTuple_GET_SIZE(args);
  if (nargs > count) return too_many_positional(signature, nargs);
  for (Py_ssize_t i = 0; i < count; ++i) bound[i] = i < nargs ? PyTuple_GET_ITEM(args, i) : nullptr;
  if (kwargs != nullptr) {
    Py_ssize_t position = 0;
    PyObject* name = nullptr;
    PyObject* value = nullptr;
    while (PyDict_Next(kwargs, &position, &name, &value)) {
      if (!bind_keyword(signature, name, value, bound)) return false;
    }
  }
  return check_missing(signature, bound);
}

bool read_utf8_plain(PyObject* object, std::string_view* text) {
  if (!PyUnicode_Check(object)) {
    raise_type_error(messages::not_a_str(Py_TYPE(object)->tp_name));
    return false;
  }
  Py_ssize_t size = 0;
  const char* data = PyUnicode_AsUTF8AndSize(object, &size);
  if (data == nullptr) return false;
  *text = std::string_view(data, static_cast<std::size_t>(size));
  return true;
}

bool read_utf8(const char* parameter, PyObject* object, std::string_view* text) {
  if (PyUnicode_Check(object)) return read_utf8_plain(object, text);
  read_utf8_plain(object, text);
  PyObject* cause = take_raised_exception();
  if (cause == nullptr) return false;
  PyObject* wrapped = messages::argument_error(parameter, cause);
  PyObject* error = wrapped == nullptr ? nullptr : PyObject_CallOneArg(PyExc_TypeError, wrapped);
  Py_XDECREF(wrapped);
  if (error == nullptr) {
    Py_DECREF(cause);
    return false;
  }
  PyException_SetCause(error, cause);  // steals `cause`
  PyErr_SetObject(PyExc_TypeError, error);
  Py_DECREF(error);
  return false;
}

}  // namespace lumo::python
