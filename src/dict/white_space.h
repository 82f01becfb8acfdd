// White space in UTF-8 text: the one definition (the Unicode White_Space
// property) and the one way texts are cut into white-space separated
// tokens, for the dictionary reader, inline dictionaries and custom words
// alike.
//
// Texts are valid UTF-8 (see utf8.h). Results are slices of the text;
// nothing here allocates.
#ifndef LUMO_DICT_WHITE_SPACE_H_
#define LUMO_DICT_WHITE_SPACE_H_

#include <algorithm>
#include <cstddef>
#include <string_view>

#include "dict/utf8.h"

namespace lumo {

// True for the code points of the Unicode White_Space property.
constexpr bool is_white_space(char32_t cp) {
  if (cp <= 0x20) return cp == 0x20 || (cp >= 0x09 && cp <= 0x0D);
  if (cp < 0x85) return false;
  return cp == 0x85 || cp == 0xA0 || cp == 0x1680 || (cp >= 0x2000 && cp <= 0x200A) ||
         cp == 0x2028 || cp == 0x2029 || cp == 0x202F || cp == 0x205F || cp == 0x3000;
}

// Whether the character at text[pos] is white space; stores its length in
// bytes in `*length`. Needs: pos < text.size(), at the start of a character.
// A sequence cut short by the end of the text, which only text that is not
// UTF-8 holds, is no white space and reaches just to the end: nothing is
// read past it.
inline bool white_space_at(std::string_view text, std::size_t pos, std::size_t* length) {
  const auto byte = static_cast<unsigned char>(text[pos]);
  if (byte < 0x80) {
    *length = 1;
    return byte == ' ' || (byte >= 0x09 && byte <= 0x0D);
  }
  *length = utf8_sequence_length(byte);
  if (*length > text.size() - pos) {
    *length = text.size() - pos;
    return false;
  }
  // Non-ASCII white space starts with C2, E1, E2 or E3; CJK text never does.
  if (byte != 0xC2 && (byte < 0xE1 || byte > 0xE3)) return false;
  return is_white_space(utf8_decode(text.data() + pos, length));
}

// Length in bytes of the white space that starts `text` (0 if none).
inline std::size_t leading_white_space(std::string_view text) {
  std::size_t pos = 0;
  std::size_t length = 0;
  while (pos < text.size() && white_space_at(text, pos, &length)) pos += length;
  return pos;
}

// `text` without leading and trailing white space.
inline std::string_view trim_white_space(std::string_view text) {
  text.remove_prefix(leading_white_space(text));
  while (!text.empty()) {
    std::size_t start = text.size() - 1;
    while (start > 0 && is_continuation_byte(static_cast<unsigned char>(text[start]))) --start;
    std::size_t length = 0;
    if (!white_space_at(text, start, &length)) break;
    text.remove_suffix(text.size() - start);
  }
  return text;
}

// The next white-space separated token of `text` at or after `pos`, moving
// `pos` past it; an empty view when only white space is left. Needs:
// pos <= text.size().
inline std::string_view next_token(std::string_view text, std::size_t& pos) {
  std::size_t length = 0;
  while (pos < text.size() && white_space_at(text, pos, &length)) pos += length;
  const std::size_t start = pos;
  const auto* bytes = reinterpret_cast<const unsigned char*>(text.data());
  while (pos < text.size()) {
    // Lead bytes E4-EF (U+4000 to U+FFFF, CJK among them) and F0-F4 start
    // no white space: skipped whole, they spare most of the checks.
    const unsigned char byte = bytes[pos];
    if (byte >= 0xE4) {
      pos += byte >= 0xF0 ? 4 : 3;
      continue;
    }
    if (white_space_at(text, pos, &length)) break;
    pos += length;
  }
  pos = std::min(pos, text.size());  // past a character cut short
  return text.substr(start, pos - start);
}

}  // namespace lumo

#endif  // LUMO_DICT_WHITE_SPACE_H_
