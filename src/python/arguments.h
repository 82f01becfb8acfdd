// Argument binding for every function, method and constructor.
//
// All parameters are positional-or-keyword and required. Binding matches
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
// reference per parameter. Returns false with TypeError set.
bool bind_fastcall(const Signature& signature, PyObject* const* args, Py_ssize_t nargs,
                   PyObject* kwnames, PyObject** bound);

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

// A text to convert: its UTF-8 form, or, for a str of some length stored
// with two or four bytes per character, the str itself, which conversion
// reads directly (its UTF-8 form would cost a slower pass and a copy that
// stays attached to the str).
struct TextArgument {
  std::string_view utf8;
  PyObject* wide = nullptr;  // borrowed; the UTF-8 form is not read then
  // Whether `wide` may still hold lone surrogates, which the conversion
  // then looks for, on its threads, and reports as reading would.
  bool unchecked = false;
};

// read_utf8 for a text to convert, with the same checks and errors. When
// the text is the `last` argument read, no later argument can fail first,
// so a long text's check for lone surrogates is left to the conversion.
bool read_text(const char* parameter, PyObject* object, bool last, TextArgument* text);

}  // namespace lumo::python

#endif  // LUMO_PYTHON_ARGUMENTS_H_
