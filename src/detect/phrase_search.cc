#include "detect/phrase_search.h"

#include <algorithm>
#include <map>

#include "detect/detection_tables.h"
#include "dict/text_units.h"

namespace lumo {

RegionalPhraseSearch::RegionalPhraseSearch(const std::vector<std::string>& tw_phrases,
                                           const std::vector<std::string>& hk_phrases)
    : bmp_first_(0x10000 / 64, 0) {
  std::map<std::string_view, Phrase> weights;
  for (const std::string& phrase : tw_phrases) {
    weights[phrase].tw_weight += utf8_length(phrase);
  }
  for (const std::string& phrase : hk_phrases) {
    weights[phrase].hk_weight += utf8_length(phrase);
  }
  for (auto& [text, phrase] : weights) {
    if (phrase.tw_weight != 0 && phrase.hk_weight != 0) continue;  // in both lists
    phrase.utf8 = std::string(text);
    for (std::size_t pos = 0, length = 0; pos < text.size(); pos += length) {
      const char32_t code_point = utf8_decode(text.data() + pos, &length);
      append_encoded(code_point, phrase.utf16);
      phrase.utf32.push_back(code_point);
    }
    const char32_t first = phrase.utf32.front();
    by_first_[first].push_back(static_cast<std::uint32_t>(phrases_.size()));
    if (first < 0x10000) bmp_first_[first >> 6] |= std::uint64_t{1} << (first & 63);
    phrases_.push_back(std::move(phrase));
  }
}

template <typename Unit>
PhraseScores RegionalPhraseSearch::score(const Unit* text, std::size_t size) const {
  PhraseScores scores;
  std::vector<bool> found(phrases_.size(), false);
  std::size_t remaining = phrases_.size();
  for (std::size_t pos = 0; pos < size && remaining > 0;) {
    std::size_t length = 0;
    const char32_t code_point = decode_char(text + pos, &length);
    if (may_start_phrase(code_point)) {
      for (const std::uint32_t index : by_first_.at(code_point)) {
        const Phrase& phrase = phrases_[index];
        const std::span<const Unit> units = phrase.units<Unit>();
        if (found[index] || size - pos < units.size() ||
            !std::equal(units.begin(), units.end(), text + pos)) {
          continue;
        }
        found[index] = true;
        --remaining;
        scores.tw += phrase.tw_weight;
        scores.hk += phrase.hk_weight;
      }
    }
    pos += length;
  }
  return scores;
}

template PhraseScores RegionalPhraseSearch::score(const char*, std::size_t) const;
template PhraseScores RegionalPhraseSearch::score(const std::uint16_t*, std::size_t) const;
template PhraseScores RegionalPhraseSearch::score(const std::uint32_t*, std::size_t) const;

const RegionalPhraseSearch& regional_phrase_search() {
  static const auto* const search = [] {
    const std::vector<std::string>& tw = tw_phrases();
    const std::vector<std::string>& hk = hk_phrases();
    return new RegionalPhraseSearch(tw, hk);
  }();
  return *search;
}

}  // namespace lumo
