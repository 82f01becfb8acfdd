// UTF-8 helpers shared by the reader, the lexicon and the conversion loops.
//
// Every function here assumes valid UTF-8: the texts we read are either the
// embedded dictionaries (valid by construction) or the UTF-8 form of a Python
// str (valid by construction). None of them validates or allocates.
#ifndef LUMO_DICT_UTF8_H_
#define LUMO_DICT_UTF8_H_

#include <cstddef>
#include <cstdint>
#include <string_view>
#include <type_traits>

namespace lumo {

// Length in bytes of the character whose lead byte is `lead`.
constexpr std::size_t utf8_sequence_length(unsigned char lead) {
  if (lead < 0x80) return 1;
  if (lead < 0xE0) return 2;
  if (lead < 0xF0) return 3;
  return 4;
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
    return (char32_t{lead & 0x1Fu} << 6) | (s[1] & 0x3Fu);
  }
  if (lead < 0xF0) {
    *length = 3;
    return (char32_t{lead & 0x0Fu} << 12) | (char32_t{s[1] & 0x3Fu} << 6) | (s[2] & 0x3Fu);
  }
  *length = 4;
  return (char32_t{lead & 0x07u} << 18) | (char32_t{s[1] & 0x3Fu} << 12) |
         (char32_t{s[2] & 0x3Fu} << 6) | (s[3] & 0x3Fu);
}

// Texts are held as UTF-8 (char), UTF-16 (std::uint16_t) or UTF-32
// (std::uint32_t) units; these read them alike, assuming valid text.

// The character at `p`; stores its length in units in `*length`.
template <typename Unit>
inline char32_t decode_char(const Unit* p, std::size_t* length) {
  if constexpr (sizeof(Unit) == 1) {
    return utf8_decode(p, length);
  } else if constexpr (sizeof(Unit) == 2) {
    if ((p[0] & 0xFC00u) == 0xD800u) {  // a surrogate pair
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

// Whether the unit `unit` is a whole ASCII character.
template <typename Unit>
constexpr bool is_ascii_unit(Unit unit) {
  return static_cast<std::make_unsigned_t<Unit>>(unit) < 0x80;
}

// Length in units of the character at `p`.
template <typename Unit>
inline std::size_t char_units(const Unit* p) {
  if constexpr (sizeof(Unit) == 1) {
    return utf8_sequence_length(static_cast<unsigned char>(*p));
  } else if constexpr (sizeof(Unit) == 2) {
    return (p[0] & 0xFC00u) == 0xD800u ? 2 : 1;
  } else {
    return 1;
  }
}

// Writes `cp` at `out` in UTF-8 (char), UTF-16 (std::uint16_t) or UTF-32
// (std::uint32_t) units; returns the end of what it wrote.
template <typename Unit>
inline Unit* encode_char(char32_t cp, Unit* out) {
  if constexpr (sizeof(Unit) == 1) {
    if (cp < 0x80) {
      *out++ = static_cast<Unit>(cp);
    } else if (cp < 0x800) {
      *out++ = static_cast<Unit>(0xC0 | (cp >> 6));
      *out++ = static_cast<Unit>(0x80 | (cp & 0x3F));
    } else if (cp < 0x10000) {
      *out++ = static_cast<Unit>(0xE0 | (cp >> 12));
      *out++ = static_cast<Unit>(0x80 | ((cp >> 6) & 0x3F));
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

// Appends the UTF-8 form of `cp` to `out` (any container of char with
// push_back).
template <typename Out>
void utf8_append(char32_t cp, Out& out) {
  if (cp < 0x80) {
    out.push_back(static_cast<char>(cp));
  } else if (cp < 0x800) {
    out.push_back(static_cast<char>(0xC0 | (cp >> 6)));
    out.push_back(static_cast<char>(0x80 | (cp & 0x3F)));
  } else if (cp < 0x10000) {
    out.push_back(static_cast<char>(0xE0 | (cp >> 12)));
    out.push_back(static_cast<char>(0x80 | ((cp >> 6) & 0x3F)));
    out.push_back(static_cast<char>(0x80 | (cp & 0x3F)));
  } else {
    out.push_back(static_cast<char>(0xF0 | (cp >> 18)));
    out.push_back(static_cast<char>(0x80 | ((cp >> 12) & 0x3F)));
    out.push_back(static_cast<char>(0x80 | ((cp >> 6) & 0x3F)));
    out.push_back(static_cast<char>(0x80 | (cp & 0x3F)));
  }
}

// Number of characters (code points) in `text`.
inline std::size_t utf8_length(std::string_view text) {
  std::size_t count = 0;
  for (const char c : text) {
    count += (static_cast<unsigned char>(c) & 0xC0) != 0x80;
  }
  return count;
}

// True for the code points of the Unicode White_Space property.
constexpr bool is_white_space(char32_t cp) {
  if (cp <= 0x20) return cp == 0x20 || (cp >= 0x09 && cp <= 0x0D);
  if (cp < 0x85) return false;
  return cp == 0x85 || cp == 0xA0 || cp == 0x1680 || (cp >= 0x2000 && cp <= 0x200A) ||
         cp == 0x2028 || cp == 0x2029 || cp == 0x202F || cp == 0x205F || cp == 0x3000;
}

// Length in bytes of the white space that starts `text` (0 if none).
inline std::size_t leading_white_space(std::string_view text) {
  std::size_t pos = 0;
  while (pos < text.size()) {
    std::size_t length = 0;
    if (!is_white_space(utf8_decode(text.data() + pos, &length))) break;
    pos += length;
  }
  return pos;
}

// `text` without leading and trailing white space.
inline std::string_view trim_white_space(std::string_view text) {
  text.remove_prefix(leading_white_space(text));
  // Walk back one character at a time; continuation bytes are 10xxxxxx.
  while (!text.empty()) {
    std::size_t start = text.size() - 1;
    while (start > 0 && (static_cast<unsigned char>(text[start]) & 0xC0) == 0x80) {
      --start;
    }
    std::size_t length = 0;
    if (!is_white_space(utf8_decode(text.data() + start, &length))) break;
    text.remove_suffix(text.size() - start);
  }
  return text;
}

}  // namespace lumo

#endif  // LUMO_DICT_UTF8_H_
