#include "python/text_conversion.h"

#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "dict/utf8.h"
#include "engine/text_cuts.h"
#include "engine/worker_threads.h"
#include "python/errors.h"

namespace lumo::python {
namespace {

// A piece is at least this many characters: starting a thread costs about
// as much as converting a few thousand.
constexpr std::size_t kPieceCharacters = std::size_t{1} << 16;

std::size_t piece_count(std::size_t length) {
  if (length < 2 * kPieceCharacters) return 1;
  return std::min(thread_count(), length / kPieceCharacters);
}

// Copies `count` code points into a result of another (or the same) width.
template <typename To, typename From>
void copy_code_points(const From* from, std::size_t count, To* to) {
  if constexpr (sizeof(To) == sizeof(From)) {
    std::memcpy(to, from, count * sizeof(To));
  } else {
    for (std::size_t i = 0; i < count; ++i) to[i] = static_cast<To>(from[i]);
  }
}

// One piece's result, in the input's width: two-byte input converts to
// UTF-16, where a dictionary value beyond U+FFFF takes a surrogate pair. A
// cache line each: a thread appending to its output must not disturb
// another's.
template <typename Unit>
struct alignas(64) Piece {
  BasicTextBuffer<Unit> output;
  std::size_t pairs = 0;    // surrogate pairs in the output
  std::uint32_t bound = 0;  // exact about the width the result needs
  std::size_t offset = 0;   // of its first character in the result
  bool converted = false;   // false when memory ran short

  std::size_t characters() const { return output.size() - pairs; }

  // Converts units[0, count) into `output` and measures it; allocates
  // nothing that can throw.
  void convert(const Converter& converter, const Unit* units, std::size_t count) {
    converted = convert_units_to(converter, units, count, output);
    if (converted) measure();
  }

  // Measures the output: its surrogate pairs and the bound of its largest
  // code point (0x7F, 0xFF, 0xFFFF or 0x10FFFF).
  void measure() {
    Unit largest = 0;
    std::size_t high_halves = 0;
    const Unit* const units = output.data();
    // Counted in blocks with counters of the units' width, which compilers
    // add up in vector registers without widening them.
    constexpr std::size_t kBlock = 1u << 15;
    for (std::size_t start = 0; start < output.size(); start += kBlock) {
      const std::size_t end = std::min(output.size(), start + kBlock);
      Unit block_largest = 0;
      Unit block_high_halves = 0;
      for (std::size_t i = start; i < end; ++i) {
        block_largest = units[i] > block_largest ? units[i] : block_largest;
        if constexpr (sizeof(Unit) == 2) {
          block_high_halves += static_cast<Unit>((units[i] & 0xFC00u) == 0xD800u);
        }
      }
      largest = std::max(largest, block_largest);
      high_halves += block_high_halves;
    }
    pairs = high_halves;
    bound = pairs != 0 || largest >= 0x10000 ? 0x10FFFF
            : largest >= 0x100               ? 0xFFFF
            : largest >= 0x80                ? 0xFF
                                             : 0x7F;
  }

  template <typename To>
  void copy_into(To* to) const {
    to += offset;
    if (pairs == 0) return copy_code_points(output.data(), output.size(), to);
    // Pairs are rare: blocks without one are widened as they are.
    constexpr std::size_t kBlock = 16;
    const Unit* const units = output.data();
    const std::size_t size = output.size();
    for (std::size_t i = 0; i < size;) {
      if (size - i >= kBlock) {
        bool surrogate = false;
        for (std::size_t k = 0; k < kBlock; ++k) surrogate |= (units[i + k] & 0xF800u) == 0xD800u;
        if (!surrogate) {
          for (std::size_t k = 0; k < kBlock; ++k) to[k] = units[i + k];
          to += kBlock;
          i += kBlock;
          continue;
        }
      }
      std::size_t length = 0;
      *to++ = static_cast<To>(decode_char(units + i, &length));
      i += length;
    }
  }

  // Copies the output into its place in `result`, a str of the width the
  // pieces' bounds ask for.
  void copy_into_str(PyObject* result) const {
    void* const data = PyUnicode_DATA(result);
    switch (PyUnicode_KIND(result)) {
      case PyUnicode_1BYTE_KIND:
        return copy_into(static_cast<Py_UCS1*>(data));
      case PyUnicode_2BYTE_KIND:
        return copy_into(static_cast<Py_UCS2*>(data));
      default:
        return copy_into(static_cast<Py_UCS4*>(data));
    }
  }
};

// A new str of the pieces' outputs joined, or nullptr with an exception
// set; on the calling thread, which holds the interpreter.
template <typename Unit>
PyObject* new_joined_str(Piece<Unit>* pieces, std::size_t count) {
  std::size_t total = 0;
  std::uint32_t bound = 0x7F;
  for (std::size_t i = 0; i < count; ++i) {
    if (!pieces[i].converted) return PyErr_NoMemory();
    pieces[i].offset = total;
    total += pieces[i].characters();
    bound = std::max(bound, pieces[i].bound);
  }
  return PyUnicode_New(static_cast<Py_ssize_t>(total), static_cast<Py_UCS4>(bound));
}

// The conversion of units[0, length), UTF-16 or UTF-32 without lone
// surrogates, as a new str. Worker threads run only code that throws
// nothing: a thread's first exception needs memory for the C++ runtime's
// thread-local data, and where that fails the C library ends the process.
template <typename Unit>
PyObject* convert_wide(const Converter& converter, const Unit* units, std::size_t length) {
  const std::size_t wanted = piece_count(length);
  if (wanted <= 1) {
    Piece<Unit> piece;
    piece.convert(converter, units, length);
    PyObject* const result = new_joined_str(&piece, 1);
    if (result != nullptr) piece.copy_into_str(result);
    return result;
  }
  const std::vector<std::size_t> bounds = plan_pieces(converter, units, length, wanted);
  const std::size_t count = bounds.size() - 1;
  const std::unique_ptr<Piece<Unit>[]> pieces(new Piece<Unit>[count]);
  PyObject* result = nullptr;
  try {
    run_in_two_phases(
        count,
        [&](std::size_t i) {
          pieces[i].convert(converter, units + bounds[i], bounds[i + 1] - bounds[i]);
        },
        [&] { return (result = new_joined_str(pieces.get(), count)) != nullptr; },
        [&](std::size_t i) { pieces[i].copy_into_str(result); });
  } catch (...) {
    Py_XDECREF(result);
    throw;
  }
  return result;
}

}  // namespace

std::size_t thread_count() {
  const char* const value = std::getenv("LUMO_THREADS");
  if (value != nullptr) {
    if (const std::optional<std::size_t> count = parse_thread_count(value)) return *count;
  }
  return available_threads();
}

bool read_text(const char* parameter, PyObject* object, TextArgument* text) {
  text->str = nullptr;
  std::string_view utf8;
  if (!PyUnicode_Check(object)) return read_utf8(parameter, object, &utf8);
#if PY_VERSION_HEX < 0x030C0000
  if (PyUnicode_READY(object) != 0) return false;
#endif
  const void* const data = PyUnicode_DATA(object);
  const auto length = static_cast<std::size_t>(PyUnicode_GET_LENGTH(object));
  const int kind = PyUnicode_KIND(object);
  const bool surrogate =
      kind == PyUnicode_2BYTE_KIND   ? has_surrogate(static_cast<const Py_UCS2*>(data), length)
      : kind == PyUnicode_4BYTE_KIND ? has_surrogate(static_cast<const Py_UCS4*>(data), length)
                                     : false;
  // The interpreter raises its own error for a str it cannot encode, and
  // attaches nothing to it then.
  if (surrogate) return read_utf8(parameter, object, &utf8);
  text->str = object;
  return true;
}

PyObject* converted_str(const Converter& converter, const TextArgument& text) {
  PyObject* const str = text.str;
  const void* const data = PyUnicode_DATA(str);
  const auto length = static_cast<std::size_t>(PyUnicode_GET_LENGTH(str));
  switch (PyUnicode_KIND(str)) {
    case PyUnicode_2BYTE_KIND:
      return convert_wide(converter, static_cast<const std::uint16_t*>(data), length);
    case PyUnicode_4BYTE_KIND:
      return convert_wide(converter, static_cast<const std::uint32_t*>(data), length);
    default:
      break;
  }
  if (PyUnicode_IS_ASCII(str)) {
    // ASCII is its own UTF-8 form.
    return new_converted_str(converter, {static_cast<const char*>(data), length});
  }
  // Latin-1: through a UTF-8 copy of our own, released when the call ends
  // (the interpreter's own would stay attached to the str).
  PyObject* const utf8 = PyUnicode_AsUTF8String(str);
  if (utf8 == nullptr) return nullptr;
  PyObject* const result = new_converted_str(
      converter, {PyBytes_AS_STRING(utf8), static_cast<std::size_t>(PyBytes_GET_SIZE(utf8))});
  Py_DECREF(utf8);
  return result;
}

}  // namespace lumo::python
