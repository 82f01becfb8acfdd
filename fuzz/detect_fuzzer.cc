// Detection's fast scorer against a plain one. The fast scorer counts
// characters through a table of set masks and finds the regional phrases in
// one pass; the plain one looks each character up in the six sorted sets
// and searches the UTF-8 text for each phrase. Counts, phrase scores and
// detections agree, and are the same for the text in UTF-8, UTF-16 and
// UTF-32.
//
// Input: a flags byte (how the text is read), then the text, repaired
// into valid code points.
#include <cstdint>
#include <cstring>
#include <map>
#include <string>

#include "detect/detect.h"
#include "detect/detection_tables.h"
#include "detect/phrase_search.h"
#include "fuzz/fuzz_support.h"

namespace lumo::fuzz {
namespace {

bool operator==(const DetectionCounts& a, const DetectionCounts& b) {
  return a.cjk == b.cjk && a.kana == b.kana && a.simplified == b.simplified &&
         a.traditional == b.traditional && a.tw_variant == b.tw_variant &&
         a.hk_variant == b.hk_variant && a.shinjitai == b.shinjitai && a.kyujitai == b.kyujitai;
}

bool same(const std::optional<Detection>& a, const std::optional<Detection>& b) {
  return a.has_value() == b.has_value() &&
         (!a || (a->region == b->region && a->confidence == b->confidence));
}

DetectionCounts plain_counts(const std::u32string& text) {
  const DetectionTables& tables = detection_tables();
  DetectionCounts counts;
  std::uint64_t* const by_set[] = {&counts.simplified, &counts.traditional, &counts.tw_variant,
                                   &counts.hk_variant, &counts.shinjitai,   &counts.kyujitai};
  for (const char32_t code_point : text) {
    if (code_point >= 0x3040 && code_point <= 0x30FF) ++counts.kana;
    if (code_point < DetectionTables::kCjkFirst || code_point > DetectionTables::kCjkLast) continue;
    ++counts.cjk;
    for (std::size_t set = 0; set < 6; ++set)
      *by_set[set] += contains(tables.sets[set], code_point);
  }
  return counts;
}

// Each phrase in one list only scores its length once per time it stands
// there, when it occurs anywhere in the text.
PhraseScores plain_phrase_scores(const std::string& utf8) {
  std::map<std::string, PhraseScores> weights;
  for (const std::string& phrase : tw_phrases()) weights[phrase].tw += utf8_length(phrase);
  for (const std::string& phrase : hk_phrases()) weights[phrase].hk += utf8_length(phrase);
  PhraseScores scores;
  for (const auto& [phrase, weight] : weights) {
    if ((weight.tw != 0 && weight.hk != 0) || utf8.find(phrase) == std::string::npos) continue;
    scores.tw += weight.tw;
    scores.hk += weight.hk;
  }
  return scores;
}

template <typename Unit>
void check_form(const std::vector<Unit>& units, const DetectionCounts& counts,
                const PhraseScores& scores, const std::optional<Detection>& detection) {
  check(count_characters(units.data(), units.size()) == counts,
        "the fast and plain character counts differ");
  const PhraseScores fast = regional_phrase_search().score(units.data(), units.size());
  check(fast.tw == scores.tw && fast.hk == scores.hk, "the fast and plain phrase scores differ");
  check(same(detect(units.data(), units.size()), detection),
        "the text's forms are detected differently");
}

}  // namespace
}  // namespace lumo::fuzz

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  using namespace lumo;
  using namespace lumo::fuzz;
  if (size == 0) return 0;
  const std::string bytes(reinterpret_cast<const char*>(data) + 1, size - 1);
  std::u16string units(bytes.size() / 2, u'\0');
  std::memcpy(units.data(), bytes.data(), units.size() * 2);
  const std::u32string text = (data[0] & 1) ? decode_repaired(bytes) : decode_repaired(units);

  const std::vector<char> utf8 = encode_as<char>(text);
  const DetectionCounts counts = plain_counts(text);
  const PhraseScores scores = plain_phrase_scores(std::string(utf8.begin(), utf8.end()));
  const std::optional<Detection> detection = detect(utf8.data(), utf8.size());
  check(detection.has_value() == (counts.cjk > 0 || counts.kana > 0),
        "a detection without CJK ideographs or kana, or none with them");
  check_form(utf8, counts, scores, detection);
  check_form(encode_as<std::uint16_t>(text), counts, scores, detection);
  check_form(encode_as<std::uint32_t>(text), counts, scores, detection);
  return 0;
}
