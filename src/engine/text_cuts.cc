#include "engine/text_cuts.h"

#include <algorithm>

#include "dict/utf8.h"

namespace lumo {
namespace {

bool line_cuts_allowed(const Converter& converter) {
  if (converter.segmentation) {
    for (const Lexicon& lexicon : *converter.segmentation) {
      if (lexicon.trie().line_feed_in_keys) return false;
    }
  }
  for (const DictionaryGroup& stage : converter.stages) {
    for (const Lexicon& lexicon : stage) {
      if (lexicon.trie().line_feed_in_keys || lexicon.trie().ascii_starts_key()) return false;
    }
  }
  return true;
}

bool is_line_cut(std::string_view text, std::size_t pos) {
  return pos > 0 && text[pos - 1] == '\n';
}

}  // namespace

bool can_cut(const Converter& converter) {
  return converter.segmentation.has_value() || line_cuts_allowed(converter);
}

std::size_t cut_context_bytes(const Converter& converter) {
  std::size_t longest = 0;
  if (converter.segmentation) {
    for (const Lexicon& lexicon : *converter.segmentation) {
      longest = std::max(longest, lexicon.trie().max_key_bytes);
    }
  }
  return longest;
}

std::size_t find_cut(const Converter& converter, std::string_view text, std::size_t from,
                     std::size_t to) {
  to = std::min(to, text.size());
  const bool line_cuts = line_cuts_allowed(converter);
  if (!converter.segmentation) {
    if (!line_cuts || from >= to) return std::string::npos;
    const std::size_t line_feed = text.find('\n', from == 0 ? 0 : from - 1);
    return line_feed < to - 1 ? line_feed + 1 : std::string::npos;
  }
  const DictionaryGroup& segmentation = *converter.segmentation;
  const std::size_t context = cut_context_bytes(converter);
  // A key starting `context` or more bytes before a position cannot reach
  // past it; the scan starts at the first character after that.
  std::size_t pos = from >= context ? from - context + 1 : 0;
  while (pos < from && (static_cast<unsigned char>(text[pos]) & 0xC0) == 0x80) ++pos;
  std::size_t reach = 0;  // the furthest end of a key starting since
  while (pos < to) {
    if (pos >= from && line_cuts && is_line_cut(text, pos)) return pos;
    const std::size_t length = group_longest_prefix(segmentation, text.substr(pos)).length;
    if (pos >= from && length != 0 && reach <= pos) return pos;
    reach = std::max(reach, pos + length);
    pos += utf8_sequence_length(static_cast<unsigned char>(text[pos]));
  }
  return std::string::npos;
}

}  // namespace lumo
