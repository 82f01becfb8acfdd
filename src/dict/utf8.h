// UTF-8: reading characters out of bytes.
//
// Every function here assumes valid UTF-8: the texts we read are either the
// embedded dictionaries (valid by construction) or the UTF-8 form of a Python
// str (valid by construction). None of them validates or allocates. The
// bit arithmetic of decoding lives here only.
#ifndef LUMO_DICT_UTF8_H_
#define LUMO_DICT_UTF8_H_

#include <cstddef>
#include <string_view>

namespace lumo {

// Length in bytes of the character whose lead byte is `lead`.
constexpr std::size_t utf8_sequence_length(unsigned char lead) {
  if (lead < 0x80) return 1;
  if (lead < 0xE0) return 2;
  if (lead < 0xF0) return 3;
  return 4;
}

// Whether `byte` continues a character (10xxxxxx) rather than starting one.
constexpr bool is_continuation_byte(unsigned char byte) { return (byte & 0xC0) == 0x80; }

// The character of two, three or four bytes at `s`. Needs: `s` points at
// a lead byte of that length (C2-DF, E0-EF, F0-F4) and its continuation
// bytes. Hot loops that have read the lead byte call these directly.
inline char32_t utf8_decode_two(const unsigned char* s) {
  return (char32_t{s[0] & 0x1Fu} << 6) | (s[1] & 0x3Fu);
}
inline char32_t utf8_decode_three(const unsigned char* s) {
  return (char32_t{s[0] & 0x0Fu} << 12) | (char32_t{s[1] & 0x3Fu} << 6) | (s[2] & 0x3Fu);
}
inline char32_t utf8_decode_four(const unsigned char* s) {
  return (char32_t{s[0] & 0x07u} << 18) | (char32_t{s[1] & 0x3Fu} << 12) |
         (char32_t{s[2] & 0x3Fu} << 6) | (s[3] & 0x3Fu);
}

// Decodes the character starting at `p`; stores its byte length in `*length`.
// Needs: `p` points at a lead byte of a complete, valid sequence.
inline char32_t utf8_decode(const char* p, std::size_t* length) {
  const auto* s = reinterpret_cast<const unsigned char*>(p);
  const unsigned char lead = s[0];
  if (lead < 0x80) {
    *length = 1;
    return lead;
  }
  if (lead < 0xE0) {
    *length = 2;
    return utf8_decode_two(s);
  }
  if (lead < 0xF0) {
    *length = 3;
    return utf8_decode_three(s);
  }
  *length = 4;
  return utf8_decode_four(s);
}

// Number of characters (code points) in `text`.
inline std::size_t utf8_length(std::string_view text) {
  std::size_t count = 0;
  for (const char c : text) count += !is_continuation_byte(static_cast<unsigned char>(c));
  return count;
}

}  // namespace lumo

#endif  // LUMO_DICT_UTF8_H_
