#include "python/stream_type.h"

#include <cstdint>
#include <memory>
#include <string>

#include "engine/text_stream.h"
#include "python/errors.h"
#include "python/final_class.h"
#include "python/text_conversion.h"

namespace lumo::python {
namespace {

struct StreamObject {
  PyObject ob_base;
  PyObject* owner;             // the Converter object; null once the stream has ended
  const Converter* converter;  // the one `owner` holds
  PyObject* chunks;            // the chunks' iterator; null once it is exhausted
  TextStream* stream;          // owned; null once the stream has ended
  Py_ssize_t read;             // chunks read so far
};

PyTypeObject* g_stream_type = nullptr;

StreamObject& stream_of(PyObject* self) { return *reinterpret_cast<StreamObject*>(self); }

// Ends the stream: later calls stop the iteration at once.
void end_stream(StreamObject& stream) {
  delete stream.stream;
  stream.stream = nullptr;
  Py_CLEAR(stream.chunks);
  Py_CLEAR(stream.owner);
}

int stream_traverse(PyObject* self, visitproc visit, void* arg) {
  Py_VISIT(Py_TYPE(self));
  Py_VISIT(stream_of(self).owner);
  Py_VISIT(stream_of(self).chunks);
  return 0;
}

int stream_clear(PyObject* self) {
  end_stream(stream_of(self));
  return 0;
}

void stream_dealloc(PyObject* self) {
  PyObject_GC_UnTrack(self);
  end_stream(stream_of(self));
  PyTypeObject* type = Py_TYPE(self);
  type->tp_free(self);
  Py_DECREF(type);
}

// Appends the chunk `item` to the stream; false with an exception set (a
// TypeError naming the chunk for a non-str).
bool append_chunk(StreamObject& stream, PyObject* item) {
  const std::string parameter = "chunks[" + std::to_string(stream.read) + "]";
  ++stream.read;
  TextArgument text;
  if (!read_text(parameter.c_str(), item, &text)) return false;
  const void* const data = PyUnicode_DATA(item);
  const auto length = static_cast<std::size_t>(PyUnicode_GET_LENGTH(item));
  switch (PyUnicode_KIND(item)) {
    case PyUnicode_1BYTE_KIND:
      stream.stream->append(static_cast<const std::uint8_t*>(data), length);
      break;
    case PyUnicode_2BYTE_KIND:
      stream.stream->append(static_cast<const std::uint16_t*>(data), length);
      break;
    default:
      stream.stream->append(static_cast<const std::uint32_t*>(data), length);
      break;
  }
  return true;
}

// The next converted piece: reads chunks until the stream has a piece
// ready, or the chunks end. nullptr with an exception set, or with none at
// the end. May throw std::bad_alloc: call it inside guarded().
PyObject* next_piece(StreamObject& stream) {
  while (stream.stream != nullptr) {
    bool ended = stream.chunks == nullptr;
    if (!ended) {
      PyObject* const item = PyIter_Next(stream.chunks);
      if (item == nullptr) {
        if (PyErr_Occurred()) return nullptr;
        Py_CLEAR(stream.chunks);
        ended = true;
      } else {
        bool appended = false;
        try {
          appended = append_chunk(stream, item);
        } catch (...) {
          Py_DECREF(item);
          throw;
        }
        Py_DECREF(item);
        if (!appended) return nullptr;
      }
    }
    TextStream& text = *stream.stream;
    const std::size_t ready = text.ready(ended);
    if (ready == 0) {
      if (ended) end_stream(stream);
      continue;
    }
    PyObject* const piece = converted_str(*stream.converter, text.units(), ready);
    if (piece == nullptr) return nullptr;
    text.take(ready);
    // Custom words may convert a piece to nothing.
    if (PyUnicode_GET_LENGTH(piece) != 0) return piece;
    Py_DECREF(piece);
  }
  return nullptr;
}

PyObject* stream_next(PyObject* self) {
  StreamObject& stream = stream_of(self);
  PyObject* const piece = guarded([&] { return next_piece(stream); });
  // A stream that failed is over, as a generator that raised is.
  if (piece == nullptr && PyErr_Occurred()) end_stream(stream);
  return piece;
}

PyType_Slot stream_slots[] = {
    {Py_tp_dealloc, reinterpret_cast<void*>(stream_dealloc)},
    {Py_tp_traverse, reinterpret_cast<void*>(stream_traverse)},
    {Py_tp_clear, reinterpret_cast<void*>(stream_clear)},
    {Py_tp_iter, reinterpret_cast<void*>(PyObject_SelfIter)},
    {Py_tp_iternext, reinterpret_cast<void*>(stream_next)},
    {0, nullptr},
};

PyType_Spec stream_spec = {"builtins.ConversionStream", sizeof(StreamObject), 0, Py_TPFLAGS_HAVE_GC,
                           stream_slots};

}  // namespace

PyObject* new_conversion_stream(PyObject* owner, const Converter& converter, PyObject* chunks) {
  if (g_stream_type == nullptr) {
    // Made on first use and kept for the life of the process; it is no
    // attribute of the module.
    PyObject* const type = create_final_class(&stream_spec, &g_stream_type);
    if (type == nullptr) return nullptr;
    Py_DECREF(type);
    // Only convert_stream makes streams.
    g_stream_type->tp_new = nullptr;
  }
  auto text = std::make_unique<TextStream>(converter);  // may throw: the caller guards
  PyObject* const iterator = PyObject_GetIter(chunks);
  if (iterator == nullptr) return nullptr;
  auto* self = PyObject_GC_New(StreamObject, g_stream_type);
  if (self == nullptr) {
    Py_DECREF(iterator);
    return nullptr;
  }
  Py_INCREF(owner);
  self->owner = owner;
  self->converter = &converter;
  self->chunks = iterator;
  self->stream = text.release();
  self->read = 0;
  PyObject_GC_Track(self);
  return reinterpret_cast<PyObject*>(self);
}

}  // namespace lumo::python
