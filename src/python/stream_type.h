// The iterator Converter.convert_stream and convert_utf8_stream return: it
// reads chunks from an iterator, hands them to an engine text stream, and
// yields the conversion of each piece the stream has ready, as a new str
// (or bytes). It keeps the Converter object alive while it runs. Like a
// generator, it is not re-entrant: a call made while another is inside it
// (from a callback of its own, or another thread while the chunks' iterator
// lets the interpreter's lock go) raises ValueError and changes nothing.
#ifndef LUMO_PYTHON_STREAM_TYPE_H_
#define LUMO_PYTHON_STREAM_TYPE_H_

#include <cstddef>

#include "engine/whole/text_stream.h"
#include "python/python.h"

namespace lumo::python {

enum class StreamKind {
  kStr,    // str chunks into converted str pieces
  kUtf8,   // UTF-8 bytes-like chunks into converted UTF-8 bytes pieces
  kSpans,  // str chunks into the spans Converter.explain gives
};

// Creates the stream class, which is no attribute of the module; the
// module's initialisation calls it once. False with an exception set.
bool create_stream_type();

// Reads the stream methods' keyword argument max_held (null: not given)
// into `*max_held`: the default bound, SIZE_MAX for None, or a positive
// int. False with TypeError or ValueError set.
bool read_max_held(PyObject* object, std::size_t* max_held);

// A new stream of `kind` over the chunks of `chunks` (any iterable) with
// `converter`, which `owner` (a Converter object) holds, holding at most
// `max_held` units (str streams: UTF-16 units; UTF-8 streams: bytes) while
// it finds no cut; nullptr with an exception set when `chunks` is not
// iterable or memory runs short.
PyObject* new_conversion_stream(PyObject* owner, const Converter& converter, PyObject* chunks,
                                StreamKind kind, std::size_t max_held);

}  // namespace lumo::python

#endif  // LUMO_PYTHON_STREAM_TYPE_H_
