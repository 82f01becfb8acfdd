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

Detection chinese(const DetectionCounts& c, std::string_view text) {
  const PhraseScores phrases = regional_phrase_search().score(text);
  const std::uint64_t cjk = c.cjk;
  if (phrases.tw > phrases.hk) {
    return {Region::kCnTw, std::max<std::uint8_t>(50, percent(c.traditional + c.tw_variant, cjk))};
  }
  if (phrases.hk > phrases.tw) {
    return {Region::kCnHk, std::max<std::uint8_t>(50, percent(c.traditional + c.hk_variant, cjk))};
  }
  if (c.simplified > c.traditional + c.tw_variant + c.hk_variant) {
    return {Region::kCnS, percent(c.simplified, cjk)};
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

}  // namespace

DetectionCounts count_characters(std::string_view text) {
  const DetectionTables& tables = detection_tables();
  // How many CJK characters carry each combination of set memberships.
  std::array<std::uint64_t, 64> by_mask{};
  DetectionCounts counts;
  const char* const data = text.data();
  const std::size_t size = text.size();
  for (std::size_t pos = 0; pos < size;) {
    const auto lead = static_cast<unsigned char>(data[pos]);
    if (lead < 0xE3 || lead > 0xE9) {
      pos += utf8_sequence_length(lead);
      continue;
    }
    std::size_t length = 0;
    const char32_t code_point = utf8_decode(data + pos, &length);
    pos += length;
    if (code_point >= DetectionTables::kCjkFirst && code_point <= DetectionTables::kCjkLast) {
      ++by_mask[tables.cjk_masks[code_point - DetectionTables::kCjkFirst]];
    } else if (code_point >= 0x3040 && code_point <= 0x30FF) {
      ++counts.kana;
    }
  }
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

std::optional<Detection> detect(std::string_view text) {
  const DetectionCounts counts = count_characters(text);
  if (counts.kana > 0) return japanese(counts);
  if (counts.cjk == 0) return std::nullopt;
  return chinese(counts, text);
}

}  // namespace lumo
