#include "python/converter_type.h"

#include <memory>
#include <optional>
#include <string>
#include <utility>

#include "engine/config/config_loader.h"
#include "engine/config/regions.h"
#include "python/arguments.h"
#include "python/arrow_column.h"
#include "python/custom_entries.h"
#include "python/errors.h"
#include "python/explanation.h"
#include "python/final_class.h"
#include "python/messages.h"
#include "python/pickling.h"
#include "python/stream_type.h"
#include "python/text_batch.h"
#include "python/text_conversion.h"

namespace lumo::python {
namespace {

struct ConverterState {
  Converter converter;
  std::string config;
  CustomPairs pairs;  // the custom words built in, which a pickle keeps
};

struct ConverterObject {
  PyObject ob_base;
  ConverterState* state;  // owned; never null in a constructed instance
};

// Created once by create_converter_type and kept for the life of the process.
PyTypeObject* g_converter_type = nullptr;

ConverterState& state_of(PyObject* self) {
  return *reinterpret_cast<ConverterObject*>(self)->state;
}

PyObject* converter_new(PyTypeObject* type, PyObject* args, PyObject* kwargs) {
  static const char* const kParameters[] = {"config"};
  static const Signature kSignature{"Converter.__new__", kParameters, 1};
  PyObject* bound[1];
  if (!bind_call(kSignature, args, kwargs, bound)) return nullptr;
  std::string_view config;
  if (!read_utf8("config", bound[0], &config)) return nullptr;
  Result<ConfigId> id = resolve_config_name(config);
  if (!id) return raise_value_error(id.error());
  (void)type;  // always the final class itself
  return guarded([&] {
    return new_converter_object(build_converter(id.value(), {}, thread_count()), config);
  });
}

void converter_dealloc(PyObject* self) {
  delete reinterpret_cast<ConverterObject*>(self)->state;
  PyTypeObject* type = Py_TYPE(self);
  type->tp_free(self);
  Py_DECREF(type);
}

PyObject* converter_repr(PyObject* self) {
  return PyUnicode_FromFormat("<lumo.Converter config=%s>", state_of(self).config.c_str());
}

PyObject* converter_get_config(PyObject* self, void*) { return new_str(state_of(self).config); }

PyObject* converter_convert(PyObject* self, PyObject* const* args, Py_ssize_t nargs,
                            PyObject* kwnames) {
  static const char* const kParameters[] = {"text"};
  static const Signature kSignature{"Converter.convert", kParameters, 1};
  PyObject* bound[1];
  TextArgument text;
  if (!bind_fastcall(kSignature, args, nargs, kwnames, bound) ||
      !read_text("text", bound[0], &text)) {
    return nullptr;
  }
  return guarded([&] { return converted_str(state_of(self).converter, text); });
}

PyObject* converter_convert_batch(PyObject* self, PyObject* const* args, Py_ssize_t nargs,
                                  PyObject* kwnames) {
  static const char* const kParameters[] = {"texts"};
  static const Signature kSignature{"Converter.convert_batch", kParameters, 1};
  PyObject* bound[1];
  if (!bind_fastcall(kSignature, args, nargs, kwnames, bound)) return nullptr;
  return guarded([&] { return converted_list(state_of(self).converter, bound[0]); });
}

PyObject* converter_convert_arrow(PyObject* self, PyObject* const* args, Py_ssize_t nargs,
                                  PyObject* kwnames) {
  static const char* const kParameters[] = {"data"};
  static const Signature kSignature{"Converter.convert_arrow", kParameters, 1};
  PyObject* bound[1];
  if (!bind_fastcall(kSignature, args, nargs, kwnames, bound)) return nullptr;
  return guarded([&] { return converted_arrow(state_of(self).converter, bound[0]); });
}

// The stream methods: `chunks` and the keyword-only `max_held`, bound to
// a stream of `kind` over this converter.
PyObject* new_stream(PyObject* self, PyObject* const* args, Py_ssize_t nargs, PyObject* kwnames,
                     const Signature& signature, StreamKind kind) {
  PyObject* bound[2];
  std::size_t max_held = 0;
  if (!bind_fastcall(signature, args, nargs, kwnames, bound, 1) ||
      !read_max_held(bound[1], &max_held)) {
    return nullptr;
  }
  return guarded([&] {
    return new_conversion_stream(self, state_of(self).converter, bound[0], kind, max_held);
  });
}

PyObject* converter_convert_stream(PyObject* self, PyObject* const* args, Py_ssize_t nargs,
                                   PyObject* kwnames) {
  static const char* const kParameters[] = {"chunks", "max_held"};
  static const Signature kSignature{"Converter.convert_stream", kParameters, 2};
  return new_stream(self, args, nargs, kwnames, kSignature, StreamKind::kStr);
}

PyObject* converter_convert_utf8_stream(PyObject* self, PyObject* const* args, Py_ssize_t nargs,
                                        PyObject* kwnames) {
  static const char* const kParameters[] = {"chunks", "max_held"};
  static const Signature kSignature{"Converter.convert_utf8_stream", kParameters, 2};
  return new_stream(self, args, nargs, kwnames, kSignature, StreamKind::kUtf8);
}

PyObject* converter_explain(PyObject* self, PyObject* const* args, Py_ssize_t nargs,
                            PyObject* kwnames) {
  static const char* const kParameters[] = {"text"};
  static const Signature kSignature{"Converter.explain", kParameters, 1};
  PyObject* bound[1];
  TextArgument text;
  if (!bind_fastcall(kSignature, args, nargs, kwnames, bound) ||
      !read_text("text", bound[0], &text)) {
    return nullptr;
  }
  return guarded([&] { return explained_spans(state_of(self).converter, text); });
}

PyObject* converter_explain_stream(PyObject* self, PyObject* const* args, Py_ssize_t nargs,
                                   PyObject* kwnames) {
  static const char* const kParameters[] = {"chunks", "max_held"};
  static const Signature kSignature{"Converter.explain_stream", kParameters, 2};
  return new_stream(self, args, nargs, kwnames, kSignature, StreamKind::kSpans);
}

// Pickles as _lumo_pickle.converter(config, pairs): the name and the
// custom words, which build the same converter again.
PyObject* converter_reduce(PyObject* self, PyObject*) {
  const ConverterState& state = state_of(self);
  PyObject* const restore = restore_function("converter");
  if (restore == nullptr) return nullptr;
  PyObject* const pairs = new_pairs_tuple(state.pairs);
  PyObject* const config = new_str(state.config);
  PyObject* const result = pairs != nullptr && config != nullptr
                               ? Py_BuildValue("(O(OO))", restore, config, pairs)
                               : nullptr;
  Py_DECREF(restore);
  Py_XDECREF(pairs);
  Py_XDECREF(config);
  return result;
}

// The instance's configuration, resolved again by name. Its name was
// checked when the instance was made, so failing here is an internal error.
std::optional<ConfigId> own_config(PyObject* self) {
  Result<ConfigId> id = resolve_config_name(state_of(self).config);
  if (!id) {
    raise_internal_error(messages::config_name_changed());
    return std::nullopt;
  }
  return id.value();
}

PyObject* converter_for_region(PyObject*, PyObject* const* args, Py_ssize_t nargs,
                               PyObject* kwnames) {
  static const char* const kParameters[] = {"from", "to"};
  static const Signature kSignature{"Converter.for_region", kParameters, 2};
  PyObject* bound[2];
  std::string_view codes[2];  // from, to
  if (!bind_strings(kSignature, args, nargs, kwnames, bound, codes, 2)) return nullptr;
  Result<ConfigId> id = route_regions(codes[0], codes[1]);
  if (!id) return raise_value_error(id.error());
  return guarded([&] {
    return new_converter_object(build_converter(id.value(), {}, thread_count()),
                                config_name(id.value()));
  });
}

PyObject* converter_convert_with_custom(PyObject* self, PyObject* const* args, Py_ssize_t nargs,
                                        PyObject* kwnames) {
  static const char* const kParameters[] = {"text", "entries"};
  static const Signature kSignature{"Converter.convert_with_custom", kParameters, 2};
  PyObject* bound[2];
  TextArgument text;
  if (!bind_fastcall(kSignature, args, nargs, kwnames, bound) ||
      !read_text("text", bound[0], &text)) {
    return nullptr;
  }
  CustomPairs pairs;
  if (!parse_custom_entries(bound[1], &pairs)) return nullptr;
  const std::optional<ConfigId> id = own_config(self);
  if (!id) return nullptr;
  return guarded([&] { return converted_str(build_converter(*id, pairs, thread_count()), text); });
}

PyObject* converter_with_custom(PyObject* self, PyObject* const* args, Py_ssize_t nargs,
                                PyObject* kwnames) {
  static const char* const kParameters[] = {"entries"};
  static const Signature kSignature{"Converter.with_custom", kParameters, 1};
  PyObject* bound[1];
  if (!bind_fastcall(kSignature, args, nargs, kwnames, bound)) return nullptr;
  CustomPairs pairs;
  if (!parse_custom_entries(bound[0], &pairs)) return nullptr;
  const std::optional<ConfigId> id = own_config(self);
  if (!id) return nullptr;
  return guarded([&] {
    return new_converter_object(build_converter(*id, pairs, thread_count()), state_of(self).config,
                                std::move(pairs));
  });
}

// Converter._restore(config, entries): the converter a pickle holds, built
// once with its custom words (a Converter and then with_custom would build
// it twice).
PyObject* converter_restore(PyObject*, PyObject* const* args, Py_ssize_t nargs, PyObject* kwnames) {
  static const char* const kParameters[] = {"config", "entries"};
  static const Signature kSignature{"Converter._restore", kParameters, 2};
  PyObject* bound[2];
  std::string_view config;
  if (!bind_fastcall(kSignature, args, nargs, kwnames, bound) ||
      !read_utf8("config", bound[0], &config)) {
    return nullptr;
  }
  Result<ConfigId> id = resolve_config_name(config);
  if (!id) return raise_value_error(id.error());
  CustomPairs pairs;
  if (!parse_custom_entries(bound[1], &pairs)) return nullptr;
  return guarded([&] {
    return new_converter_object(build_converter(id.value(), pairs, thread_count()), config,
                                std::move(pairs));
  });
}

// Converter._custom_pairs(text, *, separator="|"): the pairs of a custom
// string, read by the engine as with_custom reads one, for the command's
// --custom-text and the lines of its --custom files (separator "\n").
PyObject* converter_custom_pairs(PyObject*, PyObject* const* args, Py_ssize_t nargs,
                                 PyObject* kwnames) {
  static const char* const kParameters[] = {"text", "separator"};
  static const Signature kSignature{"Converter._custom_pairs", kParameters, 2};
  PyObject* bound[2];
  std::string_view separator = "|";
  if (!bind_fastcall(kSignature, args, nargs, kwnames, bound, 1) ||
      (bound[1] != nullptr && !read_utf8("separator", bound[1], &separator))) {
    return nullptr;
  }
  if (separator.size() != 1 || static_cast<unsigned char>(separator[0]) >= 0x80) {
    return raise_value_error(messages::separator_not_one_ascii_character());
  }
  return custom_string_pairs("text", bound[0], separator[0]);
}

PyMethodDef converter_methods[] = {
    {"convert", as_cfunction(converter_convert), METH_FASTCALL | METH_KEYWORDS,
     "convert($self, text)\n--\n\nConvert `text`. Pure (no I/O, no allocations beyond the "
     "result)."},
    {"convert_batch", as_cfunction(converter_convert_batch), METH_FASTCALL | METH_KEYWORDS,
     "convert_batch($self, texts)\n--\n\n"
     "Convert every item of `texts`, a sequence or any iterable of str or\n"
     "None: returns a new list equal to [convert(t) for t in texts], None\n"
     "items staying None. The interpreter lock is released while the texts\n"
     "convert, on threads across items when the batch is long (LUMO_THREADS\n"
     "is respected as by convert). Raises TypeError naming the index of an\n"
     "item that is neither str nor None (and for a lone str, bytes or\n"
     "bytearray as `texts`), UnicodeEncodeError for an item holding a lone\n"
     "surrogate, and returns nothing then."},
    {"convert_arrow", as_cfunction(converter_convert_arrow), METH_FASTCALL | METH_KEYWORDS,
     "convert_arrow($self, data)\n--\n\n"
     "Convert a column of strings handed over through the Arrow PyCapsule\n"
     "interface: `data` offers __arrow_c_stream__ or __arrow_c_array__ (a\n"
     "pyarrow array, chunked array or one-column table, a polars Series, a\n"
     "DuckDB relation of one column) of string, large_string or string_view\n"
     "values. Returns an object offering __arrow_c_stream__, and\n"
     "__arrow_c_array__ too when `data` did, that pyarrow, polars, DuckDB\n"
     "and pandas read without a copy: each row converted as by convert,\n"
     "nulls staying null, in the same type, but for string becoming\n"
     "large_string where the result passes 2 GiB. The interpreter lock is\n"
     "released while the rows convert, on threads across rows when the\n"
     "column is long (LUMO_THREADS is respected as by convert). Raises\n"
     "TypeError for other values, ValueError naming the row for invalid\n"
     "UTF-8 and for broken arrays, OSError for a stream that fails, and\n"
     "returns nothing then."},
    {"convert_stream", as_cfunction(converter_convert_stream), METH_FASTCALL | METH_KEYWORDS,
     "convert_stream($self, chunks, *, max_held=67108864)\n--\n\n"
     "Convert a text that arrives in pieces: `chunks` is any iterable of str\n"
     "(a text file, a generator). Returns an iterator of converted str pieces\n"
     "whose concatenation is exactly convert(\"\".join(chunks)), whatever the\n"
     "chunk boundaries. A piece is yielded as soon as no later text can change\n"
     "it, so memory stays bounded by the chunk size and the longest key.\n"
     "Where the text offers no safe place to cut it, it is held until one\n"
     "comes, up to `max_held` characters (those past U+FFFF count twice);\n"
     "past that the iterator raises ValueError and ends, the pieces it\n"
     "yielded being exact. max_held=None holds any amount.\n"
     "Raises TypeError for a chunk that is not a str, UnicodeEncodeError for\n"
     "one holding a lone surrogate, and passes on what the iteration raises."},
    {"explain", as_cfunction(converter_explain), METH_FASTCALL | METH_KEYWORDS,
     "explain($self, text)\n--\n\n"
     "Explain the conversion of `text`: a list of (source, target, alternatives)\n"
     "tuples whose sources join into `text` and whose targets join into\n"
     "convert(text). `alternatives` holds the other outputs the dictionaries\n"
     "allow for that span, empty where there was no choice; spans without\n"
     "alternatives next to each other come as one. Offsets follow by adding\n"
     "up the lengths of sources (in `text`) and of targets (in the result)."},
    {"convert_utf8_stream", as_cfunction(converter_convert_utf8_stream),
     METH_FASTCALL | METH_KEYWORDS,
     "convert_utf8_stream($self, chunks, *, max_held=67108864)\n--\n\n"
     "convert_stream for UTF-8 bytes: `chunks` is any iterable of bytes-like\n"
     "objects (a file opened in binary mode, a generator), and the pieces are\n"
     "bytes, whose concatenation is exactly the UTF-8 form of the conversion\n"
     "of the decoded text. Chunks may cut characters anywhere; `max_held`\n"
     "counts bytes. Faster than\n"
     "decoding and encoding around convert_stream. Raises TypeError for a\n"
     "chunk that is not bytes-like, and UnicodeDecodeError for bytes that\n"
     "are not UTF-8: its object is the chunk, after the bytes of a character\n"
     "an earlier chunk cut short, and its positions count from there."},
    {"explain_stream", as_cfunction(converter_explain_stream), METH_FASTCALL | METH_KEYWORDS,
     "explain_stream($self, chunks, *, max_held=67108864)\n--\n\n"
     "explain for a text that arrives in pieces, as convert_stream converts\n"
     "one: `chunks` is any iterable of str, and the spans come one by one as\n"
     "soon as no later text can change them, in bounded memory (`max_held`\n"
     "as for convert_stream). Their sources\n"
     "and targets join as those of explain(\"\".join(chunks)) do; spans\n"
     "without alternatives may come in more pieces."},
    {"for_region", as_cfunction(converter_for_region), METH_FASTCALL | METH_KEYWORDS | METH_STATIC,
     "for_region(from, to)\n--\n\n"},
    {"convert_with_custom", as_cfunction(converter_convert_with_custom),
     METH_FASTCALL | METH_KEYWORDS,
     "convert_with_custom($self, text, entries)\n--\n\nConvert `text` with custom words injected "
     "at the highest priority.\n`entries` accepts list-of-pairs / dict / DictLike-string."},
    {"with_custom", as_cfunction(converter_with_custom), METH_FASTCALL | METH_KEYWORDS,
     "with_custom($self, entries)\n--\n\nReturn a new Converter with these custom words baked "
     "in."},
    {"__reduce__", converter_reduce, METH_NOARGS, nullptr},
    {"_restore", as_cfunction(converter_restore), METH_FASTCALL | METH_KEYWORDS | METH_STATIC,
     nullptr},
    {"_custom_pairs", as_cfunction(converter_custom_pairs),
     METH_FASTCALL | METH_KEYWORDS | METH_STATIC, nullptr},
    {"__copy__", same_object, METH_NOARGS, nullptr},
    {"__deepcopy__", same_object, METH_O, nullptr},
    {nullptr, nullptr, 0, nullptr},
};

PyGetSetDef converter_getset[] = {
    {"config", converter_get_config, nullptr,
     "The config name this converter was built for (e.g. `\"s2twp\"`).", nullptr},
    {nullptr, nullptr, nullptr, nullptr, nullptr},
};

PyType_Slot converter_slots[] = {
    {Py_tp_doc, const_cast<char*>("Converter(config)\n--\n\n")},
    {Py_tp_new, reinterpret_cast<void*>(converter_new)},
    {Py_tp_dealloc, reinterpret_cast<void*>(converter_dealloc)},
    {Py_tp_repr, reinterpret_cast<void*>(converter_repr)},
    {Py_tp_methods, converter_methods},
    {Py_tp_getset, converter_getset},
    {0, nullptr},
};

}  // namespace

PyObject* create_converter_type() {
  static PyType_Spec spec = {"builtins.Converter", sizeof(ConverterObject), 0, 0, converter_slots};
  return create_final_class(&spec, &g_converter_type);
}

PyObject* new_converter_object(Converter&& converter, std::string_view config,
                               CustomPairs&& pairs) {
  return guarded([&]() -> PyObject* {
    auto state = std::make_unique<ConverterState>(
        ConverterState{std::move(converter), std::string(config), std::move(pairs)});
    PyObject* self = g_converter_type->tp_alloc(g_converter_type, 0);
    if (self == nullptr) return nullptr;
    reinterpret_cast<ConverterObject*>(self)->state = state.release();
    return self;
  });
}

}  // namespace lumo::python
