// A dictionary group: the ordered lexicons that one segmentation step or one
// conversion stage consults. First-lexicon-wins: the first lexicon that
// matches any prefix supplies the match, even when a later one would match
// a longer key.
#ifndef LUMO_DICT_DICTIONARY_GROUP_H_
#define LUMO_DICT_DICTIONARY_GROUP_H_

#include <string_view>
#include <vector>

#include "dict/lexicon.h"

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

}  // namespace lumo

#endif  // LUMO_DICT_DICTIONARY_GROUP_H_
