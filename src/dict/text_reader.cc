#include "dict/text_reader.h"

#include <algorithm>
#include <cstring>

#include "dict/utf8.h"
#include "dict/white_space.h"

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

namespace {

// The end of the run of whole characters of U+4000 and above (lead bytes E4
// to F4) that starts at `p`: none of them is white space, a TAB, a line
// break or a '#'. Stops before anything else, or a malformed sequence.
const unsigned char* skip_wide_characters(const unsigned char* p, const unsigned char* end) {
  while (end - p >= 3 && p[0] >= 0xE4 && p[0] <= 0xF4 && is_continuation_byte(p[1]) &&
         is_continuation_byte(p[2])) {
    if (p[0] < 0xF0) {
      p += 3;
    } else if (end - p >= 4 && is_continuation_byte(p[3])) {
      p += 4;
    } else {
      break;
    }
  }
  return p;
}

}  // namespace

bool next_key_and_first_value(std::string_view& rest, std::string_view& key,
                              std::string_view& first_value) {
  const auto* end = reinterpret_cast<const unsigned char*>(rest.data() + rest.size());
  while (!rest.empty()) {
    // Most lines are wide characters, a TAB, wide characters and then a
    // line break or a space: those are cut here in one pass.
    const auto* start = reinterpret_cast<const unsigned char*>(rest.data());
    const unsigned char* tab = skip_wide_characters(start, end);
    if (tab != start && tab != end && *tab == '\t') {
      const unsigned char* token_end = skip_wide_characters(tab + 1, end);
      if (token_end != tab + 1 && (token_end == end || *token_end == '\n' || *token_end == ' ')) {
        const auto key_size = static_cast<std::size_t>(tab - start);
        key = rest.substr(0, key_size);
        first_value = rest.substr(key_size + 1, static_cast<std::size_t>(token_end - tab - 1));
        const void* lf =
            token_end == end || *token_end == '\n'
                ? token_end
                : std::memchr(token_end, '\n', static_cast<std::size_t>(end - token_end));
        const std::size_t line_end =
            lf == nullptr ? rest.size()
                          : static_cast<std::size_t>(static_cast<const unsigned char*>(lf) - start);
        rest.remove_prefix(std::min(line_end + 1, rest.size()));
        return true;
      }
    }
    std::string_view line;
    next_dictionary_line(rest, line);
    if (parse_key_and_first_value(line, key, first_value)) return true;
  }
  return false;
}

bool DictionaryTextReader::next(DictionaryEntry& entry) {
  std::string_view line;
  while (next_dictionary_line(rest_, line)) {
    if (parse_dictionary_line(line, entry)) return true;
  }
  return false;
}

}  // namespace lumo
