// A dictionary group: the ordered lexicons that one segmentation step or one
// conversion stage consults. First-lexicon-wins: the first lexicon that
// matches any prefix supplies the match, even when a later one would match
// a longer key.
#ifndef LUMO_DICT_DICTIONARY_GROUP_H_
#define LUMO_DICT_DICTIONARY_GROUP_H_

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <string_view>
#include <vector>

#include "dict/lexicon.h"
#include "dict/long_key_index.h"
#include "dict/tuning.h"

namespace lumo {

using DictionaryGroup = std::vector<Lexicon>;

// The match of the first lexicon in `group` that matches a prefix of
// text[0, size), or an empty match. Thread-safe.
template <typename Unit>
LexiconMatch group_longest_prefix(const DictionaryGroup& group, const Unit* text,
                                  std::size_t size) {
  for (const Lexicon& lexicon : group) {
    if (const LexiconMatch match = lexicon.longest_prefix(text, size)) return match;
  }
  return {};
}
inline LexiconMatch group_longest_prefix(const DictionaryGroup& group, std::string_view text) {
  return group_longest_prefix(group, text.data(), text.size());
}

// The lookups of group_longest_prefix along one text, at positions that
// never move back: the same matches, in time linear in the text whatever
// the keys.
//
// Lexicons with a LongKeyIndex walk too, as long as walks read little past
// the keys they match: each unit the scan moves on earns some credit, each
// unit a walk reads past its match spends it. When a walk overspends, the
// positions after it are answered from a window the index fills, of
// `window` units or the longest key's length, whichever is more, which
// costs a few lookups per character. A text that follows a long key from
// many positions without matching it (the case that makes walks
// quadratic) is thus read through windows, and any other at walk speed.
// Allocates (std::bad_alloc) only for the windows.
template <typename Unit>
class GroupScan {
 public:
  // `window` and `credit` as tuning::kLongKeyWindowUnits and
  // tuning::kLongKeyCredit are (tests make them small).
  GroupScan(const DictionaryGroup& group, const Unit* text, std::size_t size,
            std::size_t window = tuning::kLongKeyWindowUnits,
            std::size_t credit = tuning::kLongKeyCredit)
      : group_(group), text_(text), size_(size), window_(window), credit_(credit) {}

  // group_longest_prefix(group, text + pos, size - pos), pos < size;
  // stores in `*lexicon`, if given, the index of the lexicon that matched.
  LexiconMatch at(std::size_t pos, std::size_t* lexicon = nullptr) {
    for (std::size_t i = 0; i < group_.size(); ++i) {
      const Lexicon& candidate = group_[i];
      const LexiconMatch match = candidate.trie().long_keys
                                     ? indexed_at(i, pos)
                                     : candidate.longest_prefix(text_ + pos, size_ - pos);
      if (match) {
        if (lexicon != nullptr) *lexicon = i;
        return match;
      }
    }
    return {};
  }

 private:
  // Per lexicon with an index: its window, and the walks' credit.
  struct Window {
    std::size_t from = 0;
    std::size_t to = 0;
    std::vector<std::uint32_t> lengths;
    std::size_t last = 0;  // the position of the last walk
    std::size_t credit = 0;
  };

  LexiconMatch indexed_at(std::size_t i, std::size_t pos) {
    if (windows_.empty()) {
      windows_.resize(group_.size());
      for (Window& window : windows_) window.credit = credit_;
    }
    Window& window = windows_[i];
    const Lexicon& lexicon = group_[i];
    if (pos >= window.from && pos < window.to) {
      // A walk along exactly the key found, for its value.
      // (Bounded by the text, however the index read it.)
      const std::size_t length =
          std::min<std::size_t>(window.lengths[pos - window.from], size_ - pos);
      return length == 0 ? LexiconMatch{} : lexicon.longest_prefix(text_ + pos, length);
    }
    window.credit =
        std::min(credit_, window.credit + tuning::kLongKeyEarning * (pos - window.last));
    window.last = pos;
    std::size_t unlimited = SIZE_MAX;
    const CountedMatch walk = lexicon.counted_longest_prefix(text_ + pos, size_ - pos, &unlimited);
    const std::size_t past = walk.reached - walk.match.length;
    if (past <= window.credit) {
      window.credit -= past;
    } else {
      fill(window, lexicon, std::min(size_, pos + char_units(text_ + pos)));
      window.credit = credit_;
    }
    return walk.match;
  }

  // Fills `window` from `from` on.
  void fill(Window& window, const Lexicon& lexicon, std::size_t from) {
    const LongKeyIndex& index = *lexicon.trie().long_keys;
    const std::size_t span = std::max(window_, index.max_key_units());
    std::size_t to = size_ - from > span ? from + span : size_;
    while (to < size_ && !starts_character(text_[to])) ++to;
    window.lengths.assign(to - from, 0);
    index.longest_keys(text_, size_, from, to, lexicon.keys() == KeySet::kMarked,
                       window.lengths.data());
    window.from = from;
    window.to = to;
  }

  const DictionaryGroup& group_;
  const Unit* text_;
  std::size_t size_;
  std::size_t window_;
  std::size_t credit_;
  std::vector<Window> windows_;
};

}  // namespace lumo

#endif  // LUMO_DICT_DICTIONARY_GROUP_H_
