// RegionalPhraseSearch: which Taiwan and Hong Kong phrases occur in a text,
// found in one pass instead of one substring search per phrase.
//
// A phrase of both lists never scores. Every other phrase scores, when it
// occurs anywhere in the text, its length in characters once for each time
// it stands in its list. A text may be UTF-8 (char), UTF-16 (std::uint16_t)
// or UTF-32 (std::uint32_t) units, with the same scores in each. Immutable
// once built; safe to share.
#ifndef LUMO_DETECT_PHRASE_SEARCH_H_
#define LUMO_DETECT_PHRASE_SEARCH_H_

#include <cstddef>
#include <cstdint>
#include <span>
#include <string>
#include <string_view>
#include <unordered_map>
#include <vector>

namespace lumo {

struct PhraseScores {
  std::uint64_t tw = 0;
  std::uint64_t hk = 0;
};

class RegionalPhraseSearch {
 public:
  RegionalPhraseSearch(const std::vector<std::string>& tw_phrases,
                       const std::vector<std::string>& hk_phrases);

  // The scores of the `size` units at `text` (valid UTF-8, UTF-16 or
  // UTF-32). Thread-safe.
  template <typename Unit>
  PhraseScores score(const Unit* text, std::size_t size) const;

  // The scores of a UTF-8 text.
  PhraseScores score(std::string_view text) const { return score(text.data(), text.size()); }

 private:
  // A scoring phrase, spelt in each width a text may have, so that a match
  // is a comparison of units.
  struct Phrase {
    std::string utf8;
    std::vector<std::uint16_t> utf16;
    std::vector<std::uint32_t> utf32;
    std::uint64_t tw_weight = 0;
    std::uint64_t hk_weight = 0;

    template <typename Unit>
    std::span<const Unit> units() const {
      if constexpr (sizeof(Unit) == 1)
        return utf8;
      else if constexpr (sizeof(Unit) == 2)
        return utf16;
      else
        return utf32;
    }
  };

  bool may_start_phrase(char32_t code_point) const {
    return code_point < 0x10000 ? (bmp_first_[code_point >> 6] >> (code_point & 63)) & 1
                                : by_first_.count(code_point) != 0;
  }

  std::vector<Phrase> phrases_;  // distinct scoring phrases
  std::unordered_map<char32_t, std::vector<std::uint32_t>> by_first_;
  std::vector<std::uint64_t> bmp_first_;  // first characters below U+10000
};

// The search over tw_phrases() and hk_phrases(), built on first use.
const RegionalPhraseSearch& regional_phrase_search();

}  // namespace lumo

#endif  // LUMO_DETECT_PHRASE_SEARCH_H_
