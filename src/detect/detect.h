// Script-variant detection: which region's script a text is written in.
//
// One pass counts CJK ideographs (U+4E00..U+9FFF) against the six character
// sets, and kana (U+3040..U+30FF). Any kana makes the text Japanese, new or
// old forms by the Japanese counts. Otherwise, when there are CJK
// ideographs, a text with more Simplified characters than Traditional,
// Taiwan and Hong Kong ones together is cn-s; any other is searched for
// Taiwan and Hong Kong phrases, and a fixed table of rows decides between
// cn-tw, cn-hk, cn-s and cn-t. Confidences are
// percentages of the CJK count; sums of counts can exceed it (a character
// can be in several sets), so a confidence may exceed 100, and one above
// 255 is reported as 255.
//
// A text may be UTF-8 (char), UTF-16 (std::uint16_t) or UTF-32
// (std::uint32_t) units; the same text in any of them has the same counts
// and detection. Nothing below U+3040 counts, so a text of Latin-1
// characters alone (all below U+0100) has no detection.
#ifndef LUMO_DETECT_DETECT_H_
#define LUMO_DETECT_DETECT_H_

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string_view>

#include "engine/config/regions.h"

namespace lumo {

struct Detection {
  Region region;
  std::uint8_t confidence;
};

// The counts of one text.
struct DetectionCounts {
  std::uint64_t cjk = 0;
  std::uint64_t kana = 0;
  std::uint64_t simplified = 0;
  std::uint64_t traditional = 0;
  std::uint64_t tw_variant = 0;
  std::uint64_t hk_variant = 0;
  std::uint64_t shinjitai = 0;
  std::uint64_t kyujitai = 0;
};

// Counts the characters of the `size` units at `text` (valid UTF-8, UTF-16
// or UTF-32). Builds the character sets on first use. Thread-safe.
template <typename Unit>
DetectionCounts count_characters(const Unit* text, std::size_t size);

// The same for a UTF-8 text.
inline DetectionCounts count_characters(std::string_view text) {
  return count_characters(text.data(), text.size());
}

// The region and confidence of the `size` units at `text` (valid UTF-8,
// UTF-16 or UTF-32), or nullopt for a text without CJK ideographs or kana.
// Builds the tables it needs on first use (the character sets even for an
// empty text). Allocates only while it runs. Thread-safe.
template <typename Unit>
std::optional<Detection> detect(const Unit* text, std::size_t size);

// The same for a UTF-8 text.
inline std::optional<Detection> detect(std::string_view text) {
  return detect(text.data(), text.size());
}

}  // namespace lumo

#endif  // LUMO_DETECT_DETECT_H_
