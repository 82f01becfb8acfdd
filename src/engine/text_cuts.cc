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

template <typename Unit>
bool is_line_cut(const Unit* text, std::size_t pos) {
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

template <typename Unit>
std::size_t find_cut(const Converter& converter, const Unit* text, std::size_t size,
                     std::size_t from, std::size_t to) {
  to = std::min(to, size);
  const bool line_cuts = line_cuts_allowed(converter);
  if (!converter.segmentation) {
    if (!line_cuts) return std::string::npos;
    for (std::size_t pos = std::max<std::size_t>(from, 1); pos < to; ++pos) {
      if (is_line_cut(text, pos)) return pos;
    }
    return std::string::npos;
  }
  const DictionaryGroup& segmentation = *converter.segmentation;
  const std::size_t context = cut_context_bytes(converter);
  // A key starting `context` or more units before a position cannot reach
  // past it; the scan starts at the first character after that.
  std::size_t pos = from >= context ? from - context + 1 : 0;
  // On to a character boundary: past UTF-8 continuation bytes, or the
  // second half of a UTF-16 surrogate pair.
  if constexpr (sizeof(Unit) == 1) {
    while (pos < from && (static_cast<unsigned char>(text[pos]) & 0xC0) == 0x80) ++pos;
  } else if constexpr (sizeof(Unit) == 2) {
    if (pos < from && (text[pos] & 0xFC00u) == 0xDC00u) ++pos;
  }
  std::size_t reach = 0;  // the furthest end of a key starting since
  while (pos < to) {
    if (pos >= from && line_cuts && is_line_cut(text, pos)) return pos;
    const std::size_t length = group_longest_prefix(segmentation, text + pos, size - pos).length;
    if (pos >= from && length != 0 && reach <= pos) return pos;
    reach = std::max(reach, pos + length);
    pos += char_units(text + pos);
  }
  return std::string::npos;
}

template std::size_t find_cut(const Converter&, const char*, std::size_t, std::size_t, std::size_t);
template std::size_t find_cut(const Converter&, const std::uint16_t*, std::size_t, std::size_t,
                              std::size_t);
template std::size_t find_cut(const Converter&, const std::uint32_t*, std::size_t, std::size_t,
                              std::size_t);

}  // namespace lumo
