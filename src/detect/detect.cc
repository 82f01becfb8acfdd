#include "detect/detect.h"

#include <algorithm>
#include <array>

#include "detect/detection_tables.h"
#include "detect/phrase_search.h"
#include "dict/utf8.h"

namespace lumo {
namespace {

// n * 100 / cjk, saturated to the 8-bit confidence. Counts are 64-bit, so
// neither the sums nor the products overflow for any text that fits in
// memory.
std::uint8_t percent(std::uint64_t n, std::uint64_t cjk) {
  return static_cast<std::uint8_t>(std::min<std::uint64_t>(n * 100 / cjk, 255));
}

Detection japanese(const DetectionCounts& counts) {
  const std::uint64_t total = counts.shinjitai + counts.kyujitai;
  if (total == 0) return {Region::kJpN, 50};
  if (counts.shinjitai >= counts.kyujitai) {
    return {Region::kJpN, percent(counts.shinjitai, total)};
  }
  return {Region::kJpT, percent(counts.kyujitai, total)};
}

// Text with more Simplified characters than characters of every
// Traditional standard together is Simplified, whatever phrases it holds:
// the Taiwan phrase list holds everyday words of Simplified text (程序,
// 建立), and a single one of them must not outweigh the characters.
bool mostly_simplified(const DetectionCounts& c) {
  return c.simplified > c.traditional + c.tw_variant + c.hk_variant;
}

// The decision for Chinese text that is not mostly Simplified: phrases
// first, then the character counts.
Detection chinese(const DetectionCounts& c, const PhraseScores& phrases) {
  const std::uint64_t cjk = c.cjk;
  if (phrases.tw > phrases.hk) {
    return {Region::kCnTw, std::max<std::uint8_t>(50, percent(c.traditional + c.tw_variant, cjk))};
  }
  if (phrases.hk > phrases.tw) {
    return {Region::kCnHk, std::max<std::uint8_t>(50, percent(c.traditional + c.hk_variant, cjk))};
  }
  const std::uint64_t all_traditional = c.traditional + c.tw_variant + c.hk_variant;
  if (c.tw_variant < c.hk_variant && c.hk_variant < c.traditional) {
    return {Region::kCnT, percent(all_traditional, cjk)};
  }
  if (c.tw_variant < c.hk_variant)
    return {Region::kCnHk, percent(c.traditional + c.hk_variant, cjk)};
  if (c.tw_variant == 0 || c.tw_variant < c.traditional) {
    return {Region::kCnT, percent(all_traditional, cjk)};
  }
  return {Region::kCnTw, percent(c.traditional + c.tw_variant, cjk)};
}

constexpr char32_t kKanaFirst = 0x3040;
constexpr char32_t kKanaLast = 0x30FF;

// Whether `code_point` lies in [first, last], in one comparison.
constexpr bool in_range(char32_t code_point, char32_t first, char32_t last) {
  return code_point - first <= last - first;
}

// Tallies how many CJK characters of `text` carry each combination of set
// memberships (`by_mask`) and how many characters are kana.
void tally(const char* text, std::size_t size, const DetectionTables& tables,
           std::array<std::uint64_t, 64>& by_mask, std::uint64_t& kana) {
  for (std::size_t pos = 0; pos < size;) {
    const auto lead = static_cast<unsigned char>(text[pos]);
    // Both counted ranges lie within U+3000..U+9FFF, whose lead bytes are
    // E3 to E9.
    if (lead < 0xE3 || lead > 0xE9) {
      pos += utf8_sequence_length(lead);
      continue;
    }
    std::size_t length = 0;
    const char32_t code_point = utf8_decode(text + pos, &length);
    pos += length;
    if (in_range(code_point, DetectionTables::kCjkFirst, DetectionTables::kCjkLast)) {
      ++by_mask[tables.cjk_masks[code_point - DetectionTables::kCjkFirst]];
    } else if (in_range(code_point, kKanaFirst, kKanaLast)) {
      ++kana;
    }
  }
}

// The same over UTF-16 or UTF-32 units, each read as it stands: both
// counted ranges lie in the BMP outside the surrogates, so the two units of
// a surrogate pair count for nothing, as its character would not.
template <typename Unit>
void tally(const Unit* text, std::size_t size, const DetectionTables& tables,
           std::array<std::uint64_t, 64>& by_mask, std::uint64_t& kana) {
  for (std::size_t pos = 0; pos < size; ++pos) {
    const char32_t unit = text[pos];
    if (in_range(unit, DetectionTables::kCjkFirst, DetectionTables::kCjkLast)) {
      ++by_mask[tables.cjk_masks[unit - DetectionTables::kCjkFirst]];
    } else if (in_range(unit, kKanaFirst, kKanaLast)) {
      ++kana;
    }
  }
}

}  // namespace

template <typename Unit>
DetectionCounts count_characters(const Unit* text, std::size_t size) {
  const DetectionTables& tables = detection_tables();
  std::array<std::uint64_t, 64> by_mask{};
  DetectionCounts counts;
  tally(text, size, tables, by_mask, counts.kana);
  std::uint64_t* const by_set[] = {&counts.simplified, &counts.traditional, &counts.tw_variant,
                                   &counts.hk_variant, &counts.shinjitai,   &counts.kyujitai};
  for (std::size_t mask = 0; mask < by_mask.size(); ++mask) {
    counts.cjk += by_mask[mask];
    for (std::size_t set = 0; set < 6; ++set) {
      if (mask & (std::size_t{1} << set)) *by_set[set] += by_mask[mask];
    }
  }
  return counts;
}

template <typename Unit>
std::optional<Detection> detect(const Unit* text, std::size_t size) {
  const DetectionCounts counts = count_characters(text, size);
  if (counts.kana > 0) return japanese(counts);
  if (counts.cjk == 0) return std::nullopt;
  if (mostly_simplified(counts))
    return Detection{Region::kCnS, percent(counts.simplified, counts.cjk)};
  return chinese(counts, regional_phrase_search().score(text, size));
}

template DetectionCounts count_characters(const char*, std::size_t);
template DetectionCounts count_characters(const std::uint16_t*, std::size_t);
template DetectionCounts count_characters(const std::uint32_t*, std::size_t);
template std::optional<Detection> detect(const char*, std::size_t);
template std::optional<Detection> detect(const std::uint16_t*, std::size_t);
template std::optional<Detection> detect(const std::uint32_t*, std::size_t);

}  // namespace lumo
