#include "python/text_conversion.h"

#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <string>
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
// From this length on, a str stored with two or four bytes per character
// is converted as code points even on one thread: faster than through its
// UTF-8 form, which would also stay attached to it.
constexpr std::size_t kDirectCharacters = std::size_t{1} << 12;
// How far past its planned place a cut is looked for; in running text one
// is usually found within a few characters, at most within a paragraph.
constexpr std::size_t kCutSearchCharacters = std::size_t{1} << 14;

}  // namespace

std::size_t thread_count() {
  const char* value = std::getenv("LUMO_THREADS");
  if (value != nullptr && *value != '\0') {
    char* end = nullptr;
    const unsigned long count = std::strtoul(value, &end, 10);
    if (*end == '\0' && count > 0 && count <= 1024) return static_cast<std::size_t>(count);
  }
  return available_threads();
}

namespace {

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
  if (!can_cut(converter)) pieces = 1;
  for (std::size_t i = 1; i < pieces; ++i) {
    const std::size_t target = length / pieces * i;
    const std::size_t cut =
        find_cut(converter, units, length, target, target + kCutSearchCharacters);
    if (cut != std::string::npos) bounds.push_back(cut);
  }
  bounds.push_back(length);
  return bounds;
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
  bool surrogate = false;   // the input holds one: nothing was converted

  std::size_t characters() const { return output.size() - pairs; }

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
};

template <typename Unit>
PyObject* convert_wide(const Converter& converter, PyObject* text, bool unchecked) {
  const auto* units = static_cast<const Unit*>(PyUnicode_DATA(text));
  const auto length = static_cast<std::size_t>(PyUnicode_GET_LENGTH(text));
  const std::vector<std::size_t> bounds =
      plan_pieces(converter, units, length, piece_count(length));
  std::vector<Piece<Unit>> pieces(bounds.size() - 1);
  PyObject* result = nullptr;
  const auto work = [&](std::size_t i) {
    const Unit* const begin = units + bounds[i];
    const std::size_t count = bounds[i + 1] - bounds[i];
    if (unchecked && has_surrogate(begin, count)) {
      pieces[i].surrogate = true;
      return;
    }
    convert_units_to(converter, begin, count, pieces[i].output);
    pieces[i].measure();
  };
  const auto allocate = [&]() -> bool {  // on the calling thread, which holds the interpreter
    for (const Piece<Unit>& piece : pieces) {
      if (!piece.surrogate) continue;
      // The interpreter raises its own error for a str it cannot encode.
      Py_ssize_t size = 0;
      if (PyUnicode_AsUTF8AndSize(text, &size) != nullptr) {
        raise_internal_error("lumo: a surrogate went unreported");
      }
      return false;
    }
    std::size_t total = 0;
    std::uint32_t bound = 0x7F;
    for (Piece<Unit>& piece : pieces) {
      piece.offset = total;
      total += piece.characters();
      bound = std::max(bound, piece.bound);
    }
    result = PyUnicode_New(static_cast<Py_ssize_t>(total), static_cast<Py_UCS4>(bound));
    return result != nullptr;
  };
  const auto finish = [&](std::size_t i) {
    void* const data = PyUnicode_DATA(result);
    switch (PyUnicode_KIND(result)) {
      case PyUnicode_1BYTE_KIND:
        return pieces[i].copy_into(static_cast<Py_UCS1*>(data));
      case PyUnicode_2BYTE_KIND:
        return pieces[i].copy_into(static_cast<Py_UCS2*>(data));
      default:
        return pieces[i].copy_into(static_cast<Py_UCS4*>(data));
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
             ? convert_wide<Py_UCS2>(converter, text.wide, text.unchecked)
             : convert_wide<Py_UCS4>(converter, text.wide, text.unchecked);
}

}  // namespace lumo::python
