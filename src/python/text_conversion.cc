#include "python/text_conversion.h"

#include <algorithm>
#include <cstdlib>
#include <memory>
#include <string>
#include <vector>

#include "dict/utf8.h"
#include "engine/code_units.h"
#include "engine/text_cuts.h"
#include "engine/worker_threads.h"
#include "python/errors.h"

namespace lumo::python {
namespace {

// A piece is at least this many characters: starting a thread costs about
// as much as converting a few thousand.
constexpr std::size_t kPieceCharacters = std::size_t{1} << 16;
// From this length on, a str stored with two or four bytes per character
// is read directly even on one thread: encoding and decoding it here is
// faster than through its UTF-8 form, which would stay attached to it.
constexpr std::size_t kDirectCharacters = std::size_t{1} << 12;
// How far past its planned place a cut is looked for; in running text one
// is usually found within a few characters, at most within a paragraph.
constexpr std::size_t kCutSearchCharacters = std::size_t{1} << 14;

// LUMO_THREADS when it holds a positive number, else the processors
// available.
std::size_t thread_count() {
  const char* value = std::getenv("LUMO_THREADS");
  if (value != nullptr && *value != '\0') {
    char* end = nullptr;
    const unsigned long count = std::strtoul(value, &end, 10);
    if (*end == '\0' && count > 0 && count <= 1024) return static_cast<std::size_t>(count);
  }
  return available_threads();
}

std::size_t piece_count(std::size_t length) {
  if (length < 2 * kPieceCharacters) return 1;
  return std::min(thread_count(), length / kPieceCharacters);
}

// Where `units` is cut into at most `pieces` pieces of about equal length:
// the piece bounds, from 0 to `length`. Fewer pieces when no safe cut is
// found near a planned place.
template <typename Unit>
std::vector<std::size_t> plan_pieces(const Converter& converter, const Unit* units,
                                     std::size_t length, std::size_t pieces) {
  std::vector<std::size_t> bounds{0};
  // Each character is a byte at least, so this many characters hold the
  // bytes of context the search needs.
  const std::size_t context = cut_context_bytes(converter);
  for (std::size_t i = 1; i < pieces && can_cut(converter); ++i) {
    const std::size_t target = length / pieces * i;
    const std::size_t begin = target > context ? target - context : 0;
    const std::size_t search_end = std::min(length, target + kCutSearchCharacters);
    const std::size_t end = std::min(length, search_end + context);
    std::string window(utf8_capacity<Unit>(end - begin), '\0');
    char* const base = window.data();
    char* const from = encode_utf8(units + begin, target - begin, base);
    char* const to = encode_utf8(units + target, search_end - target, from);
    char* const stop = encode_utf8(units + search_end, end - search_end, to);
    const std::string_view view(base, static_cast<std::size_t>(stop - base));
    const std::size_t cut = find_cut(converter, view, static_cast<std::size_t>(from - base),
                                     static_cast<std::size_t>(to - base));
    if (cut != std::string::npos) bounds.push_back(begin + utf8_length(view.substr(0, cut)));
  }
  bounds.push_back(length);
  return bounds;
}

// A cache line each: a thread appending to its output must not disturb
// another thread's.
struct alignas(64) Piece {
  TextBuffer output;
  CodePointCount counted;
  std::size_t offset = 0;  // of its first character in the result
};

template <typename Unit>
void decode_into(PyObject* result, const Piece& piece) {
  decode_utf8(piece.output.view(), static_cast<Unit*>(PyUnicode_DATA(result)) + piece.offset);
}

template <typename Unit>
PyObject* convert_wide(const Converter& converter, PyObject* text) {
  const auto* units = static_cast<const Unit*>(PyUnicode_DATA(text));
  const auto length = static_cast<std::size_t>(PyUnicode_GET_LENGTH(text));
  const std::vector<std::size_t> bounds =
      plan_pieces(converter, units, length, piece_count(length));
  std::vector<Piece> pieces(bounds.size() - 1);
  PyObject* result = nullptr;
  const auto work = [&](std::size_t i) {
    const std::size_t count = bounds[i + 1] - bounds[i];
    const std::unique_ptr<char[]> input(new char[utf8_capacity<Unit>(count)]);
    const char* const input_end = encode_utf8(units + bounds[i], count, input.get());
    convert_text_to(converter, {input.get(), static_cast<std::size_t>(input_end - input.get())},
                    pieces[i].output);
    pieces[i].counted = count_code_points(pieces[i].output.view());
  };
  const auto allocate = [&] {  // on the calling thread, which holds the interpreter
    std::size_t total = 0;
    std::uint32_t bound = 0x7F;
    for (Piece& piece : pieces) {
      piece.offset = total;
      total += piece.counted.count;
      bound = std::max(bound, piece.counted.bound);
    }
    result = PyUnicode_New(static_cast<Py_ssize_t>(total), static_cast<Py_UCS4>(bound));
    return result != nullptr;
  };
  const auto finish = [&](std::size_t i) {
    switch (PyUnicode_KIND(result)) {
      case PyUnicode_1BYTE_KIND:
        return decode_into<Py_UCS1>(result, pieces[i]);
      case PyUnicode_2BYTE_KIND:
        return decode_into<Py_UCS2>(result, pieces[i]);
      default:
        return decode_into<Py_UCS4>(result, pieces[i]);
    }
  };
  try {
    run_in_two_phases(pieces.size(), work, allocate, finish);
  } catch (...) {
    Py_XDECREF(result);
    throw;
  }
  return result;
}

}  // namespace

bool is_wide_text(PyObject* text) {
#if PY_VERSION_HEX < 0x030C0000
  if (PyUnicode_READY(text) != 0) {
    PyErr_Clear();  // read as UTF-8 instead, which reports the failure
    return false;
  }
#endif
  return PyUnicode_KIND(text) != PyUnicode_1BYTE_KIND &&
         static_cast<std::size_t>(PyUnicode_GET_LENGTH(text)) >= kDirectCharacters;
}

PyObject* converted_str(const Converter& converter, const TextArgument& text) {
  if (text.wide == nullptr) return new_converted_str(converter, text.utf8);
  return PyUnicode_KIND(text.wide) == PyUnicode_2BYTE_KIND
             ? convert_wide<Py_UCS2>(converter, text.wide)
             : convert_wide<Py_UCS4>(converter, text.wide);
}

}  // namespace lumo::python
