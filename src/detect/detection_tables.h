// The tables detection counts and searches with, derived from the embedded
// dictionary texts with the reader's rules.
//
// Six character sets, built together on the first call of detection_tables()
// and kept for the life of the process, and two regional phrase lists, each
// built on its own first use. Every table is built behind a one-time guard
// (concurrent first callers wait for the single build) and is read without
// locking afterwards.
#ifndef LUMO_DETECT_DETECTION_TABLES_H_
#define LUMO_DETECT_DETECTION_TABLES_H_

#include <array>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace lumo {

// A set of code points, sorted ascending without repeats.
using CodePointSet = std::vector<char32_t>;

bool contains(const CodePointSet& set, char32_t code_point);

// Every code point of the key of each entry of `text`, skipping entries
// with an empty key and, when `skip_identity` is set, entries whose first
// value equals their key.
CodePointSet key_character_set(std::string_view text, bool skip_identity);

// Every code point of the first value of each entry of `text`.
CodePointSet first_value_character_set(std::string_view text);

// The first values of at least two characters of the entries of `text`, in
// text order, repeats kept.
std::vector<std::string> phrase_list_of(std::string_view text);

// The six sets, in their build order, and for the scan a membership mask per
// code point of U+4E00..U+9FFF (bit i set when the character is in set i).
struct DetectionTables {
  enum SetIndex { kSimplified, kTraditional, kTwVariant, kHkVariant, kShinjitai, kKyujitai };
  static constexpr char32_t kCjkFirst = 0x4E00;
  static constexpr char32_t kCjkLast = 0x9FFF;

  std::array<CodePointSet, 6> sets;
  std::array<std::uint8_t, kCjkLast - kCjkFirst + 1> cjk_masks;
};

// The character sets, built on first use.
const DetectionTables& detection_tables();

// The regional phrase list of TWPhrases or HKPhrases, built on first use.
const std::vector<std::string>& tw_phrases();
const std::vector<std::string>& hk_phrases();

}  // namespace lumo

#endif  // LUMO_DETECT_DETECTION_TABLES_H_
