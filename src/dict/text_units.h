// Text units: texts are held as UTF-8 (char), UTF-16 (std::uint16_t) or
// UTF-32 (std::uint32_t) units, and these read and write them alike.
//
// Reading assumes valid text: no lone surrogate, no malformed UTF-8 (see
// utf8.h). The surrogate tests are the one place their bit patterns are
// spelled out; has_surrogate is what checks a text before it is trusted.
// Nothing here allocates but append_encoded.
#ifndef LUMO_DICT_TEXT_UNITS_H_
#define LUMO_DICT_TEXT_UNITS_H_

#include <cstddef>
#include <type_traits>

#include "dict/utf8.h"

namespace lumo {

// Whether `unit`, a UTF-16 unit or a code point (an unsigned type), is a
// surrogate, U+D800 to U+DFFF; a high one (U+D800 to U+DBFF) leads a pair,
// a low one (U+DC00 to U+DFFF) ends it. The masks are of the unit's width,
// so that a UTF-16 unit is tested in 16 bits.
template <typename Unit>
constexpr bool is_surrogate(Unit unit) {
  static_assert(std::is_unsigned_v<Unit>);
  return (unit & static_cast<Unit>(~Unit{0x7FF})) == 0xD800u;
}
template <typename Unit>
constexpr bool is_high_surrogate(Unit unit) {
  static_assert(std::is_unsigned_v<Unit>);
  return (unit & static_cast<Unit>(~Unit{0x3FF})) == 0xD800u;
}
template <typename Unit>
constexpr bool is_low_surrogate(Unit unit) {
  static_assert(std::is_unsigned_v<Unit>);
  return (unit & static_cast<Unit>(~Unit{0x3FF})) == 0xDC00u;
}

// Whether any of `count` units (UTF-16 units or code points) is a
// surrogate, which a str may hold but UTF-8 cannot. Folded to the smallest
// masked distance from the surrogate block: a reduction compilers
// vectorize, unlike an early exit.
template <typename Unit>
bool has_surrogate(const Unit* units, std::size_t count) {
  static_assert(sizeof(Unit) >= 2 && std::is_unsigned_v<Unit>);
  Unit nearest = static_cast<Unit>(~Unit{0});
  for (std::size_t i = 0; i < count; ++i) {
    const auto distance = static_cast<Unit>((units[i] ^ 0xD800u) & ~Unit{0x7FF});
    nearest = distance < nearest ? distance : nearest;
  }
  return nearest == 0;
}

// Whether the unit `unit` is a whole ASCII character.
template <typename Unit>
constexpr bool is_ascii_unit(Unit unit) {
  return static_cast<std::make_unsigned_t<Unit>>(unit) < 0x80;
}

// Whether `unit` is a character by itself: ASCII in UTF-8, anything but a
// surrogate in UTF-16, anything in UTF-32.
template <typename Unit>
constexpr bool is_single_unit_character(Unit unit) {
  if constexpr (sizeof(Unit) == 1) {
    return is_ascii_unit(unit);
  } else if constexpr (sizeof(Unit) == 2) {
    return !is_surrogate(unit);
  } else {
    return true;
  }
}

// Whether `unit` starts a character: it is not a UTF-8 continuation byte,
// nor the low half of a UTF-16 surrogate pair.
template <typename Unit>
constexpr bool starts_character(Unit unit) {
  if constexpr (sizeof(Unit) == 1) {
    return !is_continuation_byte(static_cast<unsigned char>(unit));
  } else if constexpr (sizeof(Unit) == 2) {
    return !is_low_surrogate(unit);
  } else {
    return true;
  }
}

// Length in units of the character at `p`.
template <typename Unit>
inline std::size_t char_units(const Unit* p) {
  if constexpr (sizeof(Unit) == 1) {
    return utf8_sequence_length(static_cast<unsigned char>(*p));
  } else if constexpr (sizeof(Unit) == 2) {
    return is_high_surrogate(p[0]) ? 2 : 1;
  } else {
    return 1;
  }
}

// The character at `p`; stores its length in units in `*length`.
template <typename Unit>
inline char32_t decode_char(const Unit* p, std::size_t* length) {
  if constexpr (sizeof(Unit) == 1) {
    return utf8_decode(p, length);
  } else if constexpr (sizeof(Unit) == 2) {
    if (is_high_surrogate(p[0])) {
      *length = 2;
      return 0x10000 + ((char32_t{p[0]} - 0xD800) << 10) + (char32_t{p[1]} - 0xDC00);
    }
    *length = 1;
    return p[0];
  } else {
    *length = 1;
    return p[0];
  }
}

// Writes `cp` at `out` in UTF-8 (char), UTF-16 (std::uint16_t) or UTF-32
// (std::uint32_t) units; returns the end of what it wrote (at most four
// units).
template <typename Unit>
inline Unit* encode_char(char32_t cp, Unit* out) {
  if constexpr (sizeof(Unit) == 1) {
    // ASCII, then three bytes (most of Chinese text), each after one test.
    if (cp < 0x80) {
      *out++ = static_cast<Unit>(cp);
    } else if (cp - 0x800 < 0xF800) {
      *out++ = static_cast<Unit>(0xE0 | (cp >> 12));
      *out++ = static_cast<Unit>(0x80 | ((cp >> 6) & 0x3F));
      *out++ = static_cast<Unit>(0x80 | (cp & 0x3F));
    } else if (cp < 0x800) {
      *out++ = static_cast<Unit>(0xC0 | (cp >> 6));
      *out++ = static_cast<Unit>(0x80 | (cp & 0x3F));
    } else {
      *out++ = static_cast<Unit>(0xF0 | (cp >> 18));
      *out++ = static_cast<Unit>(0x80 | ((cp >> 12) & 0x3F));
      *out++ = static_cast<Unit>(0x80 | ((cp >> 6) & 0x3F));
      *out++ = static_cast<Unit>(0x80 | (cp & 0x3F));
    }
  } else if constexpr (sizeof(Unit) == 2) {
    if (cp < 0x10000) {
      *out++ = static_cast<Unit>(cp);
    } else {
      *out++ = static_cast<Unit>(0xD800 + ((cp - 0x10000) >> 10));
      *out++ = static_cast<Unit>(0xDC00 + ((cp - 0x10000) & 0x3FF));
    }
  } else {
    *out++ = static_cast<Unit>(cp);
  }
  return out;
}

// Appends the encoding of `cp` to `out`, a container of one of the three
// unit types (std::string, std::vector<std::uint16_t>, ...). Allocates: not
// for the conversion path.
template <typename Container>
void append_encoded(char32_t cp, Container& out) {
  typename Container::value_type units[4];
  out.insert(out.end(), units, encode_char(cp, units));
}

}  // namespace lumo

#endif  // LUMO_DICT_TEXT_UNITS_H_
