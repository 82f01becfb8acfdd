// Text held as an array of code points of one width (1, 2 or 4 bytes per
// character, as an interpreter may store its strings), to and from UTF-8.
// Every function assumes valid input: no surrogate code points in the
// arrays, valid UTF-8 in the strings.
#ifndef LUMO_ENGINE_CODE_UNITS_H_
#define LUMO_ENGINE_CODE_UNITS_H_

#include <cstddef>
#include <cstdint>
#include <string_view>

namespace lumo {

// Whether any of `count` code points is a surrogate (U+D800 to U+DFFF),
// which has no UTF-8 form.
template <typename Unit>
bool has_surrogate(const Unit* units, std::size_t count) {
  // Folded to the smallest masked distance from the surrogate block: a
  // reduction compilers vectorize, unlike an early exit.
  Unit nearest = static_cast<Unit>(~Unit{0});
  for (std::size_t i = 0; i < count; ++i) {
    const auto distance = static_cast<Unit>((units[i] ^ 0xD800u) & ~Unit{0x7FF});
    nearest = distance < nearest ? distance : nearest;
  }
  return nearest == 0;
}

// The most bytes `count` code points of this width take in UTF-8.
template <typename Unit>
constexpr std::size_t utf8_capacity(std::size_t count) {
  return count * (sizeof(Unit) == 1 ? 2 : sizeof(Unit) == 2 ? 3 : 4);
}

// Writes the UTF-8 form of `count` code points to `out`, which must have
// room for utf8_capacity(count) bytes; returns the end of what it wrote.
// Two-byte arrays go through the overload below, which is faster where
// the processor allows; the template itself is the plain version.
template <typename Unit>
char* encode_utf8(const Unit* units, std::size_t count, char* out) {
  for (std::size_t i = 0; i < count; ++i) {
    const std::uint32_t cp = units[i];
    if (cp < 0x80) {
      *out++ = static_cast<char>(cp);
    } else if (cp < 0x800) {
      out[0] = static_cast<char>(0xC0 | (cp >> 6));
      out[1] = static_cast<char>(0x80 | (cp & 0x3F));
      out += 2;
    } else if (sizeof(Unit) <= 2 || cp < 0x10000) {
      out[0] = static_cast<char>(0xE0 | (cp >> 12));
      out[1] = static_cast<char>(0x80 | ((cp >> 6) & 0x3F));
      out[2] = static_cast<char>(0x80 | (cp & 0x3F));
      out += 3;
    } else {
      out[0] = static_cast<char>(0xF0 | (cp >> 18));
      out[1] = static_cast<char>(0x80 | ((cp >> 12) & 0x3F));
      out[2] = static_cast<char>(0x80 | ((cp >> 6) & 0x3F));
      out[3] = static_cast<char>(0x80 | (cp & 0x3F));
      out += 4;
    }
  }
  return out;
}

// What it takes to hold a UTF-8 text as code points: how many there are,
// and a bound on the largest that is exact about the width it needs (at
// most 0x7F, 0xFF, 0xFFFF or 0x10FFFF).
struct CodePointCount {
  std::size_t count = 0;
  std::uint32_t bound = 0x7F;
};

CodePointCount count_code_points(std::string_view text);

// Writes the code points of `text` to `out`, whose width must hold them
// all; returns the end of what it wrote. Like encode_utf8, with a faster
// overload for two-byte arrays.
template <typename Unit>
Unit* decode_utf8(std::string_view text, Unit* out) {
  const auto* s = reinterpret_cast<const unsigned char*>(text.data());
  const auto* const end = s + text.size();
  while (s < end) {
    const unsigned char lead = *s;
    if (lead < 0x80) {
      *out++ = static_cast<Unit>(lead);
      ++s;
    } else if (lead < 0xE0) {
      *out++ = static_cast<Unit>(((lead & 0x1Fu) << 6) | (s[1] & 0x3Fu));
      s += 2;
    } else if (lead < 0xF0) {
      *out++ = static_cast<Unit>(((lead & 0x0Fu) << 12) | ((s[1] & 0x3Fu) << 6) | (s[2] & 0x3Fu));
      s += 3;
    } else {
      *out++ = static_cast<Unit>(((lead & 0x07u) << 18) | ((s[1] & 0x3Fu) << 12) |
                                 ((s[2] & 0x3Fu) << 6) | (s[3] & 0x3Fu));
      s += 4;
    }
  }
  return out;
}

// The two-byte versions: sixteen bytes at a time through runs of ASCII
// and of three-byte characters (most Chinese text) where the processor
// has SSSE3, one character at a time elsewhere. Same results as the
// templates.
char* encode_utf8(const std::uint16_t* units, std::size_t count, char* out);
std::uint16_t* decode_utf8(std::string_view text, std::uint16_t* out);

}  // namespace lumo

#endif  // LUMO_ENGINE_CODE_UNITS_H_
