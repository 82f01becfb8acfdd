#include "dict/text_reader.h"

#include <cstring>

#include "dict/utf8.h"

namespace lumo {

bool next_dictionary_line(std::string_view& rest, std::string_view& line) {
  if (rest.empty()) return false;
  const void* lf = std::memchr(rest.data(), '\n', rest.size());
  const std::size_t end =
      lf == nullptr ? rest.size()
                    : static_cast<std::size_t>(static_cast<const char*>(lf) - rest.data());
  line = rest.substr(0, end);
  rest.remove_prefix(lf == nullptr ? end : end + 1);
  while (!line.empty() && line.back() == '\r') line.remove_suffix(1);
  return true;
}

namespace {

// Whether the character at text[pos] is white space; stores its length.
bool white_space_at(std::string_view text, std::size_t pos, std::size_t* length) {
  const auto byte = static_cast<unsigned char>(text[pos]);
  if (byte < 0x80) {
    *length = 1;
    return byte == ' ' || (byte >= 0x09 && byte <= 0x0D);
  }
  // Non-ASCII white space starts with C2, E1, E2 or E3; CJK text never does.
  if (byte != 0xC2 && (byte < 0xE1 || byte > 0xE3)) {
    *length = utf8_sequence_length(byte);
    return false;
  }
  return is_white_space(utf8_decode(text.data() + pos, length));
}

// The next token of `text` at or after `pos`, moving `pos` past it; an
// empty view when only white space is left.
std::string_view next_token(std::string_view text, std::size_t& pos) {
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
  return text.substr(start, pos - start);
}

// Cuts an entry line at its first TAB; false for a blank line, a comment or
// a line without a TAB.
bool split_key(std::string_view line, std::string_view& key, std::string_view& rest) {
  if (line.empty() || line.front() == '#') return false;
  const std::size_t tab = line.find('\t');
  if (tab == std::string_view::npos) return false;
  key = line.substr(0, tab);
  rest = line.substr(tab + 1);
  return true;
}

}  // namespace

bool parse_dictionary_line(std::string_view line, DictionaryEntry& entry) {
  std::string_view rest;
  if (!split_key(line, entry.key, rest)) return false;
  entry.values.clear();
  std::size_t pos = 0;
  for (std::string_view token; !(token = next_token(rest, pos)).empty();) {
    entry.values.push_back(token);
  }
  return !entry.values.empty();
}

bool parse_key_and_first_value(std::string_view line, std::string_view& key,
                               std::string_view& first_value) {
  std::string_view rest;
  if (!split_key(line, key, rest)) return false;
  std::size_t pos = 0;
  first_value = next_token(rest, pos);
  return !first_value.empty();
}

bool DictionaryTextReader::next(DictionaryEntry& entry) {
  std::string_view line;
  while (next_dictionary_line(rest_, line)) {
    if (parse_dictionary_line(line, entry)) return true;
  }
  return false;
}

}  // namespace lumo
