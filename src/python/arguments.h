// Argument binding for every function, method and constructor.
//
// Parameters are positional-or-keyword and required, but for the optional
// keyword-only ones bind_fastcall may be told of. Binding matches
// positional arguments in order, then keywords by exact name, and reports
// failures with CPython's customary TypeError wording. String parameters
// are then read as UTF-8 in place, in parameter order.
#ifndef LUMO_PYTHON_ARGUMENTS_H_
#define LUMO_PYTHON_ARGUMENTS_H_

#include <cstddef>
#include <string_view>

#include "python/python.h"

namespace lumo::python {

struct Signature {
  const char* display_name;  // "convert", "Converter.convert", ...
  const char* const* parameters;
  std::size_t parameter_count;
};

// Binds a vectorcall-style argument array (positional arguments, then the
// values of the keywords named in `kwnames`) into `bound`, one borrowed
// reference per parameter. The last `keyword_only` parameters are optional
// and keyword-only: null in `bound` when not given. Returns false with
// TypeError set.
bool bind_fastcall(const Signature& signature, PyObject* const* args, Py_ssize_t nargs,
                   PyObject* kwnames, PyObject** bound, std::size_t keyword_only = 0);

// bind_fastcall, then read_utf8 of the first `string_count` parameters, in
// order, into `texts`.
bool bind_strings(const Signature& signature, PyObject* const* args, Py_ssize_t nargs,
                  PyObject* kwnames, PyObject** bound, std::string_view* texts,
                  std::size_t string_count);

// The same for an argument tuple and an optional keyword dictionary.
bool bind_call(const Signature& signature, PyObject* args, PyObject* kwargs, PyObject** bound);

// Reads `object`, bound to `parameter`, as UTF-8 without copying: the view
// lives as long as the object. A non-str raises TypeError "argument
// '<parameter>': '<type>' object cannot be converted to 'PyString'" whose
// cause is the plain TypeError; a str without a UTF-8 form (lone
// surrogates) raises the interpreter's UnicodeEncodeError unchanged.
bool read_utf8(const char* parameter, PyObject* object, std::string_view* text);

// The same check and wording without the "argument '...'" prefix, for
// strings read out of containers.
bool read_utf8_plain(PyObject* object, std::string_view* text);

}  // namespace lumo::python

#endif  // LUMO_PYTHON_ARGUMENTS_H_
