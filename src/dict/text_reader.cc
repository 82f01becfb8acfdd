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

// Splits `text` at runs of white space into `values`, dropping empty tokens.
void split_values(std::string_view text, std::vector<std::string_view>& values) {
  const char* const data = text.data();
  const std::size_t size = text.size();
  std::size_t pos = 0;
  std::size_t token_start = 0;
  bool in_token = false;
  while (pos < size) {
    const auto byte = static_cast<unsigned char>(data[pos]);
    std::size_t length = 1;
    bool space;
    if (byte < 0x80) {
      space = byte == ' ' || (byte >= 0x09 && byte <= 0x0D);
    } else {
      space = is_white_space(utf8_decode(data + pos, &length));
    }
    if (space) {
      if (in_token) values.emplace_back(data + token_start, pos - token_start);
      in_token = false;
    } else if (!in_token) {
      in_token = true;
      token_start = pos;
    }
    pos += length;
  }
  if (in_token) values.emplace_back(data + token_start, size - token_start);
}

}  // namespace

bool parse_dictionary_line(std::string_view line, DictionaryEntry& entry) {
  if (line.empty() || line.front() == '#') return false;
  const std::size_t tab = line.find('\t');
  if (tab == std::string_view::npos) return false;
  entry.values.clear();
  split_values(line.substr(tab + 1), entry.values);
  if (entry.values.empty()) return false;
  entry.key = line.substr(0, tab);
  return true;
}

bool DictionaryTextReader::next(DictionaryEntry& entry) {
  std::string_view line;
  while (next_dictionary_line(rest_, line)) {
    if (parse_dictionary_line(line, entry)) return true;
  }
  return false;
}

}  // namespace lumo
