// Converting a text argument into a new str. A str of some length stored
// with two or four bytes per character is read directly, without its
// UTF-8 form; a long one is cut into pieces that convert independently,
// converted on several threads (as many as the environment variable
// LUMO_THREADS says, when it holds a positive number, else one per
// processor available), and written straight into the result.
#ifndef LUMO_PYTHON_TEXT_CONVERSION_H_
#define LUMO_PYTHON_TEXT_CONVERSION_H_

#include "engine/converter.h"
#include "python/arguments.h"
#include "python/python.h"

namespace lumo::python {

// Whether the str `text` is read directly rather than as UTF-8.
bool is_wide_text(PyObject* text);

// A new str holding the conversion of `text`, or nullptr with an exception
// set. May throw std::bad_alloc: call it inside guarded().
PyObject* converted_str(const Converter& converter, const TextArgument& text);

}  // namespace lumo::python

#endif  // LUMO_PYTHON_TEXT_CONVERSION_H_
