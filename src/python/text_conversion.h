// Converting a text argument into a new str. The binding reads the str's
// own storage, without its UTF-8 form, and hands it to the engine's
// whole-text entry (engine/whole_conversion.h) with the thread count
// LUMO_THREADS asks for; the engine plans the pieces and threads, and the
// binding makes the result str in the shape the engine asks for.
#ifndef LUMO_PYTHON_TEXT_CONVERSION_H_
#define LUMO_PYTHON_TEXT_CONVERSION_H_

#include <cstddef>
#include <cstdint>
#include <memory>

#include "engine/whole/batch_conversion.h"
#include "engine/whole/whole_conversion.h"
#include "python/arguments.h"
#include "python/python.h"

namespace lumo::python {

// The threads a call may use: LUMO_THREADS when it holds a thread count
// (see parse_thread_count), else the processors available. Read at each
// call.
std::size_t thread_count();

// A text argument: a str that holds no lone surrogate, which conversion
// and detection read directly, without its UTF-8 form (which would cost a
// pass, and a copy that stays attached to the str).
struct TextArgument {
  PyObject* str = nullptr;  // borrowed
};

// Reads `object`, bound to `parameter`, as a text argument, with the
// errors of read_utf8: TypeError for a non-str, the interpreter's own
// UnicodeEncodeError for a str with lone surrogates. Looks at every
// character of a str stored with two or four bytes per character, before
// anything else reads it.
bool read_text(const char* parameter, PyObject* object, TextArgument* text);

// A reference the holder releases.
using OwnedObject = std::unique_ptr<PyObject, void (*)(PyObject*)>;
inline OwnedObject owned(PyObject* object) { return OwnedObject(object, Py_DecRef); }

// The units the engine reads for `text`: the str's own storage when it
// holds two or four bytes per character or is ASCII; for Latin-1, a UTF-8
// copy of our own (the interpreter's would stay attached to the str), held
// in `*copy`. False with an exception set when the copy cannot be made.
bool text_units(const TextArgument& text, BatchRow* units, OwnedObject* copy);

// A new str holding the conversion of `text`, or nullptr with an exception
// set (MemoryError when memory runs short). A str of some length is cut
// into pieces converted on threads of their own. May throw std::bad_alloc:
// call it inside guarded().
PyObject* converted_str(const Converter& converter, const TextArgument& text);

// The same for UTF-16 text[0, size) without lone surrogates.
PyObject* converted_str(const Converter& converter, const std::uint16_t* text, std::size_t size);

// A new bytes object holding the conversion of valid UTF-8 text[0, size)
// as UTF-8, or nullptr with an exception set. May throw std::bad_alloc.
PyObject* converted_utf8(const Converter& converter, const char* text, std::size_t size);

}  // namespace lumo::python

#endif  // LUMO_PYTHON_TEXT_CONVERSION_H_
