// The iterator Converter.convert_stream and convert_utf8_stream return: it
// reads chunks from an iterator, hands them to an engine text stream, and
// yields the conversion of each piece the stream has ready, as a new str
// (or bytes). It keeps the Converter object alive while it runs.
#ifndef LUMO_PYTHON_STREAM_TYPE_H_
#define LUMO_PYTHON_STREAM_TYPE_H_

#include "engine/converter.h"
#include "python/python.h"

namespace lumo::python {

// A new stream converting the chunks of `chunks` (any iterable) with
// `converter`, which `owner` (a Converter object) holds: str chunks into
// str pieces, or with `utf8` UTF-8 bytes-like chunks into UTF-8 bytes
// pieces; nullptr with an exception set when `chunks` is not iterable or
// memory runs short.
PyObject* new_conversion_stream(PyObject* owner, const Converter& converter, PyObject* chunks,
                                bool utf8);

}  // namespace lumo::python

#endif  // LUMO_PYTHON_STREAM_TYPE_H_
