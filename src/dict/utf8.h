// UTF-8: reading characters out of bytes.
//
// Every function here assumes valid UTF-8: the texts we read are either the
// embedded dictionaries (valid by construction) or the UTF-8 form of a Python
// str (valid by construction). None of them validates or allocates. The
// bit arithmetic of decoding lives here only.
#ifndef LUMO_DICT_UTF8_H_
#define LUMO_DICT_UTF8_H_

#include <bit>
#include <cstddef>
#include <cstdint>
#include <cstring>
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

// Two three-byte characters (U+0800 to U+FFFF, nearly all of Chinese
// text) at a time, in an 8-byte word: the bytes at a position as one
// number, the first byte lowest, read and written with one access; the
// characters are its bytes 0-2 and 3-5. Their code points (or values XORed
// with them) are held as a pair: the first in bits 0-15, the second in
// bits 24-39, so that both are decoded and encoded with the same
// instructions.
inline std::uint64_t utf8_load_word(const unsigned char* s) {
  std::uint64_t word = 0;
  if constexpr (std::endian::native == std::endian::little) {
    std::memcpy(&word, s, sizeof(word));
  } else {
    for (int i = 7; i >= 0; --i) word = (word << 8) | s[i];
  }
  return word;
}
// Writes the first `count` bytes of `word` (3 or 6: one or both of its
// characters) at `s`, and no byte after them: a write reaching past them
// would overlap the next read of text at the same offset within a page,
// which the processor takes for a dependence (4K aliasing: jp2t 690 to 470
// MB/s where output and text advance alike).
inline void utf8_store_word(std::uint64_t word, std::size_t count, unsigned char* s) {
  if constexpr (std::endian::native == std::endian::little) {
    if (count == 6) {
      std::memcpy(s, &word, 4);
      std::memcpy(s + 4, reinterpret_cast<const unsigned char*>(&word) + 4, 2);
    } else {
      std::memcpy(s, &word, 2);
      s[2] = static_cast<unsigned char>(word >> 16);
    }
  } else {
    for (std::size_t i = 0; i < count; ++i) s[i] = static_cast<unsigned char>(word >> (8 * i));
  }
}
// A mask of a character's bits in both characters' places.
constexpr std::uint64_t utf8_pair_mask(std::uint64_t mask) { return mask | (mask << 24); }
// Whether bytes 0 and 3 of `word` lead three-byte characters.
constexpr bool utf8_word_holds_two_threes(std::uint64_t word) {
  return (word & utf8_pair_mask(0xF0)) == utf8_pair_mask(0xE0);
}
// The pair of code points of the two three-byte characters of `word`.
constexpr std::uint64_t utf8_decode_three_pair(std::uint64_t word) {
  return ((word & utf8_pair_mask(0x0F)) << 12) | ((word >> 2) & utf8_pair_mask(0xFC0)) |
         ((word >> 16) & utf8_pair_mask(0x3F));
}
// The bits a pair of code points below U+10000 sets in a word of two
// three-byte characters, lead and continuation marks aside. Linear: the
// pair of XORs of two characters with two others, spread, is what turns
// the word of the first two into the word of the others, where all four
// are of three bytes.
constexpr std::uint64_t utf8_spread_three_pair(std::uint64_t pair) {
  return ((pair >> 12) & utf8_pair_mask(0x0F)) | ((pair << 2) & utf8_pair_mask(0x3F00)) |
         ((pair << 16) & utf8_pair_mask(0x3F0000));
}

// Decodes the character starting at `p`; stores its byte length in `*length`.
// Needs: `p` points at a lead byte of a complete, valid sequence.
inline char32_t utf8_decode(const char* p, std::size_t* length) {
  const auto* s = reinterpret_cast<const unsigned char*>(p);
  const unsigned char lead = s[0];
  // ASCII, then three bytes (most of Chinese text), each after one test.
  if (lead < 0x80) {
    *length = 1;
    return lead;
  }
  if ((lead & 0xF0) == 0xE0) {
    *length = 3;
    return utf8_decode_three(s);
  }
  if (lead < 0xE0) {
    *length = 2;
    return utf8_decode_two(s);
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
