#include "python/stream_type.h"

#include <atomic>
#include <cstdint>
#include <memory>
#include <string>
#include <utility>

#include "engine/whole/text_stream.h"
#include "python/errors.h"
#include "python/explanation.h"
#include "python/final_class.h"
#include "python/messages.h"
#include "python/text_conversion.h"

namespace lumo::python {
namespace {

struct StreamObject {
  PyObject ob_base;
  PyObject* owner;             // the Converter object; null once the stream has ended
  const Converter* converter;  // the one `owner` holds
  PyObject* chunks;            // the chunks' iterator; null once it is exhausted
  // Owned, one of the two: str chunks, or UTF-8 bytes; null once the
  // stream has ended.
  TextStream* stream;
  Utf8TextStream* utf8;
  Py_ssize_t read;       // chunks read so far
  std::size_t max_held;  // the bound the engine stream was given
  // Spans instead of converted pieces: those of the piece last explained,
  // and the next to yield.
  bool explaining;
  PyObject* spans;
  Py_ssize_t next_span;
  // A call to __next__ is inside the stream. It calls back into Python
  // (the iterator, a chunk's buffer or destructor, the collector), which
  // may call the stream again, or let another thread do so; the state
  // belongs to the outer call until it returns, so such a call is refused.
  // Claimed and given back atomically (claim_stream, release_stream), so
  // that two threads cannot both claim it without the interpreter's lock.
  bool running;
};

PyTypeObject* g_stream_type = nullptr;

StreamObject& stream_of(PyObject* self) { return *reinterpret_cast<StreamObject*>(self); }

// Marks the stream running; false if a call is already inside it.
bool claim_stream(StreamObject& stream) {
  bool idle = false;
  return std::atomic_ref<bool>(stream.running)
      .compare_exchange_strong(idle, true, std::memory_order_acquire);
}

void release_stream(StreamObject& stream) {
  std::atomic_ref<bool>(stream.running).store(false, std::memory_order_release);
}

bool stream_is_running(StreamObject& stream) {
  return std::atomic_ref<bool>(stream.running).load(std::memory_order_acquire);
}

// Ends the stream: later calls stop the iteration at once. Every field is
// emptied before anything is released, since releasing the chunks' iterator
// or the Converter runs Python code that may reach the stream; the text
// streams go before the Converter they read.
void end_stream(StreamObject& stream) {
  const std::unique_ptr<TextStream> text(std::exchange(stream.stream, nullptr));
  const std::unique_ptr<Utf8TextStream> utf8(std::exchange(stream.utf8, nullptr));
  PyObject* const spans = std::exchange(stream.spans, nullptr);
  PyObject* const chunks = std::exchange(stream.chunks, nullptr);
  PyObject* const owner = std::exchange(stream.owner, nullptr);
  stream.converter = nullptr;
  Py_XDECREF(spans);
  Py_XDECREF(chunks);
  Py_XDECREF(owner);
}

int stream_traverse(PyObject* self, visitproc visit, void* arg) {
  Py_VISIT(Py_TYPE(self));
  Py_VISIT(stream_of(self).owner);
  Py_VISIT(stream_of(self).chunks);
  Py_VISIT(stream_of(self).spans);
  return 0;
}

// A running stream holds a reference to itself, so the collector never
// takes it for garbage; a clear that reached one anyway would leave its
// state to the call inside.
int stream_clear(PyObject* self) {
  if (!stream_is_running(stream_of(self))) end_stream(stream_of(self));
  return 0;
}

void stream_dealloc(PyObject* self) {
  PyObject_GC_UnTrack(self);
  end_stream(stream_of(self));
  PyTypeObject* type = Py_TYPE(self);
  type->tp_free(self);
  Py_DECREF(type);
}

// Raises the interpreter's UnicodeDecodeError for `bytes`, whose first
// `check.valid` bytes are valid UTF-8; returns false.
bool raise_decode_error(std::string_view bytes, const Utf8Check& check) {
  const auto lead = static_cast<unsigned char>(bytes[check.valid]);
  const char* const reason = messages::utf8_error_reason(check.cut_short, lead);
  const std::size_t end = check.cut_short ? bytes.size() : check.valid + check.bad;
  PyObject* const error = PyUnicodeDecodeError_Create(
      "utf-8", bytes.data(), static_cast<Py_ssize_t>(bytes.size()),
      static_cast<Py_ssize_t>(check.valid), static_cast<Py_ssize_t>(end), reason);
  if (error != nullptr) {
    PyErr_SetObject(PyExc_UnicodeDecodeError, error);
    Py_DECREF(error);
  }
  return false;
}

// Appends the bytes-like chunk `item` to a UTF-8 stream; false with an
// exception set: TypeError naming the chunk for one that is not
// bytes-like, UnicodeDecodeError for bytes that are not UTF-8, positions
// counted from the first byte of a character an earlier chunk cut short.
bool append_utf8_chunk(StreamObject& stream, PyObject* item, const std::string& parameter) {
  Py_buffer view;
  if (PyUnicode_Check(item) || !PyObject_CheckBuffer(item)) {
    raise_type_error(messages::not_bytes_like(parameter, Py_TYPE(item)->tp_name));
    return false;
  }
  // An exporter that fails raises its own error.
  if (PyObject_GetBuffer(item, &view, PyBUF_SIMPLE) != 0) return false;
  const std::string_view bytes(static_cast<const char*>(view.buf),
                               static_cast<std::size_t>(view.len));
  Utf8TextStream& utf8 = *stream.utf8;
  Utf8Check check;
  std::string held;
  try {
    held = utf8.held();
    check = utf8.append(bytes);
  } catch (...) {
    PyBuffer_Release(&view);
    throw;
  }
  bool appended = true;
  if (check.valid < held.size() + bytes.size() && !check.cut_short) {
    appended = raise_decode_error(held.append(bytes), check);
  }
  PyBuffer_Release(&view);
  return appended;
}

// Appends the chunk `item` to the stream; false with an exception set (a
// TypeError naming the chunk for one of the wrong type).
bool append_chunk(StreamObject& stream, PyObject* item) {
  const std::string parameter = "chunks[" + std::to_string(stream.read) + "]";
  ++stream.read;
  if (stream.utf8 != nullptr) return append_utf8_chunk(stream, item, parameter);
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

// Raises the ValueError of a stream that found no cut within its bound;
// returns nullptr.
PyObject* raise_over_bound(const StreamObject& stream) {
  return raise_value_error(messages::no_cut_within(stream.max_held, stream.utf8 != nullptr));
}

// `piece` (a str or bytes, whose reference it takes) without its first
// `count` characters or bytes: the conversion of the prefix the stream
// kept in front of it. nullptr with an exception set when memory runs short.
PyObject* without_front(PyObject* piece, std::size_t count) {
  if (count == 0) return piece;
  PyObject* rest = nullptr;
  if (PyBytes_Check(piece)) {
    rest = PyBytes_FromStringAndSize(PyBytes_AS_STRING(piece) + count,
                                     PyBytes_GET_SIZE(piece) - static_cast<Py_ssize_t>(count));
  } else {
    rest = PyUnicode_Substring(piece, static_cast<Py_ssize_t>(count), PyUnicode_GET_LENGTH(piece));
  }
  Py_DECREF(piece);
  return rest;
}

// The next converted piece: reads chunks until the stream has a piece
// ready, or the chunks end. nullptr with an exception set, or with none at
// the end. May throw std::bad_alloc: call it inside guarded().
PyObject* next_piece(StreamObject& stream) {
  while (stream.stream != nullptr || stream.utf8 != nullptr) {
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
    if (ended && stream.utf8 != nullptr && !stream.utf8->held().empty()) {
      Utf8Check check;
      check.cut_short = true;
      raise_decode_error(stream.utf8->held(), check);
      return nullptr;
    }
    PyObject* piece = nullptr;
    if (stream.stream != nullptr) {
      TextStream& text = *stream.stream;
      const StreamReadiness readiness = text.ready(ended);
      if (readiness.over_bound) return raise_over_bound(stream);
      const std::size_t ready = readiness.units;
      if (ready != 0) {
        piece = stream.explaining ? explained_spans(*stream.converter, text.units(), ready)
                                  : converted_str(*stream.converter, text.units(), ready);
        if (piece == nullptr) return nullptr;
        piece = without_front(piece, text.dropped_code_points());
        if (piece == nullptr) return nullptr;
        text.take(ready);
      }
    } else {
      Utf8TextStream& utf8 = *stream.utf8;
      const StreamReadiness readiness = utf8.ready(ended);
      if (readiness.over_bound) return raise_over_bound(stream);
      const std::size_t ready = readiness.units;
      if (ready != 0) {
        piece = converted_utf8(*stream.converter, utf8.units(), ready);
        if (piece == nullptr) return nullptr;
        piece = without_front(piece, utf8.dropped_utf8_bytes());
        if (piece == nullptr) return nullptr;
        utf8.take(ready);
      }
    }
    if (piece == nullptr) {
      if (ended) end_stream(stream);
      continue;
    }
    // Custom words may convert a piece to nothing.
    if (PyObject_Length(piece) != 0) return piece;
    Py_DECREF(piece);
  }
  return nullptr;
}

// The next piece, or span of an explanation, once the stream is marked
// running.
PyObject* next_of_running(StreamObject& stream) {
  if (stream.spans != nullptr && stream.next_span < PyList_GET_SIZE(stream.spans)) {
    PyObject* const span = PyList_GET_ITEM(stream.spans, stream.next_span++);
    Py_INCREF(span);
    return span;
  }
  Py_CLEAR(stream.spans);
  PyObject* const piece = guarded([&] { return next_piece(stream); });
  // A stream that failed is over, as a generator that raised is.
  if (piece == nullptr && PyErr_Occurred()) end_stream(stream);
  if (piece == nullptr || !stream.explaining) return piece;
  // The spans of a piece, one by one.
  stream.spans = piece;
  stream.next_span = 1;
  PyObject* const span = PyList_GET_ITEM(piece, 0);
  Py_INCREF(span);
  return span;
}

// Refuses a call made while another is inside the stream, as a generator
// does; such a call changes nothing, and the outer one goes on.
PyObject* stream_next(PyObject* self) {
  StreamObject& stream = stream_of(self);
  if (!claim_stream(stream)) {
    return raise_value_error(messages::stream_already_executing());
  }
  // Held until the call returns, so that neither a last reference dropped
  // by a callback nor the collector frees the stream under it.
  Py_INCREF(self);
  PyObject* const next = next_of_running(stream);
  release_stream(stream);
  Py_DECREF(self);
  return next;
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

bool create_stream_type() {
  PyObject* const type = create_final_class(&stream_spec, &g_stream_type);
  if (type == nullptr) return false;
  Py_DECREF(type);
  // Only convert_stream makes streams.
  g_stream_type->tp_new = nullptr;
  return true;
}

bool read_max_held(PyObject* object, std::size_t* max_held) {
  if (object == nullptr) {
    *max_held = kDefaultMaxHeld;
    return true;
  }
  if (object == Py_None) {
    *max_held = SIZE_MAX;
    return true;
  }
  if (!PyLong_Check(object)) {
    raise_type_error(messages::max_held_not_int(Py_TYPE(object)->tp_name));
    return false;
  }
  int overflow = 0;
  const long long value = PyLong_AsLongLongAndOverflow(object, &overflow);
  if (value == -1 && PyErr_Occurred()) return false;
  if (overflow < 0 || (overflow == 0 && value < 1)) {
    raise_value_error(messages::max_held_not_positive());
    return false;
  }
  *max_held = overflow > 0 ? SIZE_MAX : static_cast<std::size_t>(value);
  return true;
}

PyObject* new_conversion_stream(PyObject* owner, const Converter& converter, PyObject* chunks,
                                StreamKind kind, std::size_t max_held) {
  const bool utf8 = kind == StreamKind::kUtf8;
  // May throw: the caller guards.
  // Explanations give segments' spans, from which a kept prefix cannot be
  // dropped cleanly: they take no prefixed cuts.
  const bool prefixed = kind != StreamKind::kSpans;
  auto text = utf8 ? nullptr : std::make_unique<TextStream>(converter, max_held, prefixed);
  auto bytes = utf8 ? std::make_unique<Utf8TextStream>(converter, max_held, prefixed) : nullptr;
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
  self->utf8 = bytes.release();
  self->explaining = kind == StreamKind::kSpans;
  self->spans = nullptr;
  self->next_span = 0;
  self->read = 0;
  self->running = false;
  self->max_held = max_held;
  PyObject_GC_Track(self);
  return reinterpret_cast<PyObject*>(self);
}

}  // namespace lumo::python
