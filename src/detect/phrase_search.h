// RegionalPhraseSearch: which Taiwan and Hong Kong phrases occur in a text,
// found in one pass instead of one substring search per phrase.
//
// A phrase of both lists never scores. Every other phrase scores, when it
// occurs anywhere in the text, its length in characters once for each time
// it stands in its list. Immutable once built; safe to share.
#ifndef LUMO_DETECT_PHRASE_SEARCH_H_
#define LUMO_DETECT_PHRASE_SEARCH_H_

#include <cstdint>
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

  // The scores of `text` (valid UTF-8). Thread-safe.
  PhraseScores score(std::string_view text) const;

 private:
  struct Phrase {
    std::string text;
    std::uint64_t tw_weight = 0;
    std::uint64_t hk_weight = 0;
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
