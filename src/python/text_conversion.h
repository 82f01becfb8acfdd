// Converting a text argument into a new str. A str of some length stored
// with two or four bytes per character is read directly, without its
// UTF-8 form; a long one is cut into pieces that convert independently,
// converted on several threads (as many as the environment variable
// LUMO_THREADS says, when it holds a positive number, else one per
// processor available), and written straight into the result.
#ifndef LUMO_PYTHON_TEXT_CONVERSION_H_
#define LUMO_PYTHON_TEXT_CONVERSION_H_

#include <cstddef>

#include "engine/converter.h"
#include "python/arguments.h"
#include "python/python.h"

namespace lumo::python {

// Whether any of `count` code points is a surrogate (U+D800 to U+DFFF),
// which a str may hold but UTF-8 cannot. Folded to the smallest masked
// distance from the surrogate block: a reduction compilers vectorize,
// unlike an early exit.
template <typename Unit>
bool has_surrogate(const Unit* units, std::size_t count) {
  Unit nearest = static_cast<Unit>(~Unit{0});
  for (std::size_t i = 0; i < count; ++i) {
    const auto distance = static_cast<Unit>((units[i] ^ 0xD800u) & ~Unit{0x7FF});
    nearest = distance < nearest ? distance : nearest;
  }
  return nearest == 0;
}

// The threads a call may use: LUMO_THREADS when it holds a positive
// number, else the processors available. Read at each call.
std::size_t thread_count();

// Whether the str `text` is read directly rather than as UTF-8.
bool is_wide_text(PyObject* text);

// A new str holding the conversion of `text`, or nullptr with an exception
// set. May throw std::bad_alloc: call it inside guarded().
PyObject* converted_str(const Converter& converter, const TextArgument& text);

}  // namespace lumo::python

#endif  // LUMO_PYTHON_TEXT_CONVERSION_H_
