// The shape of a conversion's result (its length in code points and the
// width its largest needs), measured on the converted units, and the
// writing of those units into storage of that shape: what a caller making
// a string object of fixed-width code points needs. Internal to the engine.
#ifndef LUMO_ENGINE_WHOLE_RESULT_SHAPE_H_
#define LUMO_ENGINE_WHOLE_RESULT_SHAPE_H_

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <type_traits>

#include "dict/text_units.h"

namespace lumo {

// The shape of a conversion's result.
struct ResultShape {
  std::size_t characters = 0;
  // The bound of its largest code point: 0x7F, 0xFF, 0xFFFF or 0x10FFFF.
  char32_t bound = 0x7F;
  // Its length in the text's own units (bytes for UTF-8); with
  // ConversionOptions::own_form, the only figure set.
  std::size_t units = 0;

  // Bytes per code point in the result's storage.
  std::size_t width() const { return bound <= 0xFF ? 1 : bound <= 0xFFFF ? 2 : 4; }
};

// The characters of units[0, size), whole characters of UTF-8, UTF-16 or
// UTF-32, and the bound of their largest; `units` is left 0. Counted in
// blocks with counters of the units' width, which compilers add up in
// vector registers without widening them. The bound of UTF-16 and UTF-32
// is read off the units or'ed together (one at 0x100 or above sets a bit
// of 0x100 or above), an unsigned maximum being slow in plain vector
// instructions; UTF-8's bounds (0xC4, 0xF0) need its maximum.
template <typename Unit>
ResultShape measure_units(const Unit* units, std::size_t size) {
  using Counter = std::make_unsigned_t<Unit>;
  Counter folded = 0;     // the maximum for UTF-8, all units or'ed otherwise
  std::size_t extra = 0;  // units that do not start a character
  constexpr std::size_t kBlock = sizeof(Unit) == 1 ? 128 : 1u << 15;
  for (std::size_t start = 0; start < size; start += kBlock) {
    const std::size_t end = std::min(size, start + kBlock);
    Counter block_folded = 0;
    Counter block_extra = 0;
    for (std::size_t i = start; i < end; ++i) {
      const auto unit = static_cast<Counter>(units[i]);
      if constexpr (sizeof(Unit) == 1) {
        block_folded = unit > block_folded ? unit : block_folded;
      } else {
        block_folded |= unit;
      }
      block_extra += static_cast<Counter>(!starts_character(unit));
    }
    folded = sizeof(Unit) == 1 ? std::max(folded, block_folded)
                               : static_cast<Counter>(folded | block_folded);
    extra += block_extra;
  }
  ResultShape shape;
  shape.characters = size - extra;
  if constexpr (sizeof(Unit) == 1) {
    // Continuation bytes are below every lead byte of two or more bytes.
    shape.bound = folded >= 0xF0   ? 0x10FFFF
                  : folded >= 0xC4 ? 0xFFFF
                  : folded >= 0x80 ? 0xFF
                                   : 0x7F;
  } else {
    shape.bound = extra != 0 || folded >= 0x10000 ? 0x10FFFF
                  : folded >= 0x100               ? 0xFFFF
                  : folded >= 0x80                ? 0xFF
                                                  : 0x7F;
  }
  return shape;
}

// Copies `count` code points of a fixed width into storage of another (or
// the same) width.
template <typename To, typename From>
void copy_code_points(const From* from, std::size_t count, To* to) {
  if constexpr (sizeof(To) == sizeof(From)) {
    if (count != 0) std::memcpy(to, from, count * sizeof(To));  // storage for nothing may be null
  } else {
    for (std::size_t i = 0; i < count; ++i) to[i] = static_cast<To>(from[i]);
  }
}

// Writes units[0, size), whole characters making `characters` code points
// that all fit `To`, into `to` as code points.
template <typename To, typename Unit>
void write_code_points(const Unit* units, std::size_t size, std::size_t characters, To* to) {
  if (characters == size) return copy_code_points(units, size, to);
  // Blocks of whole characters of one unit each are copied as they are.
  constexpr std::size_t kBlock = 16;
  for (std::size_t i = 0; i < size;) {
    if (size - i >= kBlock) {
      bool multiple = false;
      for (std::size_t k = 0; k < kBlock; ++k) multiple |= !is_single_unit_character(units[i + k]);
      if (!multiple) {
        copy_code_points(units + i, kBlock, to);
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

// Writes units[0, size), whole characters making `characters` code points,
// into `storage` as code points of `width` bytes each (1, 2 or 4), which
// all of them fit.
template <typename Unit>
void write_code_points(const Unit* units, std::size_t size, std::size_t characters,
                       std::size_t width, void* storage) {
  switch (width) {
    case 1:
      return write_code_points(units, size, characters, static_cast<std::uint8_t*>(storage));
    case 2:
      return write_code_points(units, size, characters, static_cast<std::uint16_t*>(storage));
    default:
      return write_code_points(units, size, characters, static_cast<std::uint32_t*>(storage));
  }
}

}  // namespace lumo

#endif  // LUMO_ENGINE_WHOLE_RESULT_SHAPE_H_
