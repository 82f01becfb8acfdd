// Script-variant detection: which region's script a text is written in.
//
// One pass counts CJK ideographs (U+4E00..U+9FFF) against the six character
// sets, and kana (U+3040..U+30FF). Any kana makes the text Japanese, new or
// old forms by the Japanese counts. Otherwise, when there are CJK
// ideographs, Taiwan and Hong Kong phrases are searched and a fixed table of
// rows decides between cn-tw, cn-hk, cn-s and cn-t. Confidences are
// percentages of the CJK count; sums of counts can exceed it (a character
// can be in several sets), so a confidence may exceed 100, and one above
// 255 is reported as 255.
#ifndef LUMO_DETECT_DETECT_H_
#define LUMO_DETECT_DETECT_H_

#include <cstdint>
#include <optional>
#include <string_view>

#include "engine/regions.h"

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

// Counts the characters of `text` (valid UTF-8). Builds the character sets
// on first use. Thread-safe.
DetectionCounts count_characters(std::string_view text);

// The region and confidence of `text`, or nullopt for a text without CJK
// ideographs or kana. Builds the tables it needs on first use (the
// character sets even for an empty text). Thread-safe.
std::optional<Detection> detect(std::string_view text);

}  // namespace lumo

#endif  // LUMO_DETECT_DETECT_H_
