// ConversionPlan: what a converter's conversions may do fast, decided once
// when the converter is built and read by every conversion, so that no
// loop works it out again from the shape of the dictionary groups.
//
// Every fast path is a field of the plan and has a plain twin that gives
// the same result: fast_plan() (planning.h) takes the paths it is asked
// for where the converter allows them, plain_plan() none, and the
// differential tests compare each path alone, and all of them, with none.
// docs/design.md lists them with what keeps each exact.
#ifndef LUMO_ENGINE_CORE_CONVERSION_PLAN_H_
#define LUMO_ENGINE_CORE_CONVERSION_PLAN_H_

#include <cstddef>
#include <cstdint>
#include <initializer_list>
#include <vector>

#include "dict/dictionary_group.h"

namespace lumo {

// The fast paths a plan may take, each named after the field it sets. A
// path named with others after "needs" is taken only with them.
enum class FastPath : unsigned char {
  kWalksTogether,        // walks_together
  kSharedTrie,           // shared_trie; needs kWalksTogether
  kSharedSkips,          // shared_skips; needs kSharedTrie
  kSharedSingles,        // shared_singles; needs kSharedTrie
  kRunsOpenedBySingles,  // runs_opened_by_singles; needs kSharedSingles
  kEveryPair,            // every_pair; needs kSharedSingles
  kScanOrLookUp,         // scan_or_look_up; needs kSharedSkips and kSharedSingles
  kStageTrie,            // StagePlan::trie
  kStageSingles,         // StagePlan::singles; needs kStageTrie
  kStageSkips,           // StagePlan::skips; needs kStageTrie
  kAsciiRuns,            // StagePlan::ascii_runs
  kUtf16Units,           // utf16_units, StagePlan::utf16_units; needs the singles
  kShortCopies,          // short_copies, StagePlan::short_copies
  kUtf8Words,            // utf8_words, StagePlan::utf8_words; needs the singles
  kCount
};

// A set of fast paths.
class FastPaths {
 public:
  constexpr FastPaths() = default;
  constexpr FastPaths(std::initializer_list<FastPath> paths) {
    for (const FastPath path : paths) bits_ |= bit(path);
  }
  static constexpr FastPaths all() { return FastPaths(bit(FastPath::kCount) - 1); }

  constexpr bool has(FastPath path) const { return (bits_ & bit(path)) != 0; }
  constexpr FastPaths with(FastPaths other) const { return FastPaths(bits_ | other.bits_); }
  constexpr bool operator==(const FastPaths&) const = default;

 private:
  constexpr explicit FastPaths(std::uint32_t bits) : bits_(bits) {}
  static constexpr std::uint32_t bit(FastPath path) {
    return std::uint32_t{1} << static_cast<unsigned>(path);
  }
  static_assert(static_cast<unsigned>(FastPath::kCount) <= 32);

  std::uint32_t bits_ = 0;
};

// How one stage's group is looked up and its untouched text copied.
struct StagePlan {
  // The trie of the group's one valued lexicon, walked directly; null when
  // the group is looked up lexicon by lexicon, the first match winning.
  const LexiconTrie* trie = nullptr;
  // Each character is looked up in the trie's single values first: those
  // whose single value stands convert without a walk. Chosen wherever the
  // trie keeps them: a lookup costs about what a test against the key-start
  // bitmap does, and converts the character too (engine: t2jp 1040 to 2105
  // MB/s against copying untouched stretches). Needs `trie`.
  bool singles = false;
  // Stretches no key starts in are copied in one go. Needs `trie`.
  bool skips = false;
  // In a stage input led by an ASCII character, runs of ASCII characters,
  // which no lookup starts at, are copied in one go.
  bool ascii_runs = false;
  // With `singles`, UTF-16 text is looked up a unit at a time: the single
  // values hold kWalk for the high surrogates that lead characters keys
  // start with, so a unit that leads a pair goes to a walk, and every other
  // unit is a character.
  bool utf16_units = false;
  // Short stretches are copied with one fixed-size move, which the output's
  // slack absorbs (BasicTextBuffer::append_readable).
  bool short_copies = false;
  // With `singles`, UTF-8 text is looked up two three-byte characters at a
  // time (convert_three_byte_run), read and written as one word, while
  // both stand alone and convert to three-byte characters; any other
  // character is looked up alone.
  bool utf8_words = false;

  bool operator==(const StagePlan&) const = default;
};

struct ConversionPlan {
  // Each lexicon of the segmentation group shares its trie with the first
  // stage's lexicon at the same place: one walk per position answers both,
  // and the first stage runs as the text is segmented.
  bool walks_together = false;
  // The one trie of both groups, when each holds just their shared lexicon:
  // walked once per position without going through the groups. Needs
  // walks_together.
  const LexiconTrie* shared_trie = nullptr;
  // With shared_trie, after a character nothing matched, the characters no
  // key starts with are copied in one go: worth it where keys start with
  // few characters (tuning::kFewKeyStarts).
  bool shared_skips = false;
  // With shared_trie, characters whose single values stand are converted
  // without walks, as their walks would convert them.
  bool shared_singles = false;
  // With shared_singles, where a segment ended, a character whose single
  // value stands opens a run without a walk: it starts no segment that
  // matters and matches no key longer than itself.
  bool runs_opened_by_singles = false;
  // With shared_singles, the pair filter is read for every character
  // (PairTest::kEveryCharacter): worth it where keys start with many
  // characters, most of which start longer keys too.
  bool every_pair = false;
  // With shared_singles and shared_skips, the walk switches as it goes
  // between scanning for stretches no key starts in and converting
  // character by character, by how many characters convert to others
  // (tuning::kLongStretch); without it, every character is looked up.
  bool scan_or_look_up = false;
  // With shared_singles, UTF-16 text is looked up a unit at a time, as
  // StagePlan::utf16_units; not with every_pair, which decodes the
  // characters as the pairs' second ones.
  bool utf16_units = false;
  // Untouched stretches are copied as StagePlan::short_copies.
  bool short_copies = false;
  // With shared_singles, UTF-8 text is looked up as StagePlan::utf8_words.
  bool utf8_words = false;
  // One per stage of the converter. With walks_together, the first one's is
  // read where the first stage runs by itself: over matched segments and
  // the rest of a run that cut a tentative match short.
  std::vector<StagePlan> stages;
  // Cuts (see text_cuts.h). A segment cut needs segmentation, and this many
  // units of context on each side: the bytes of its longest key, which no
  // text holds in more units. A line cut, just after a line feed, needs no
  // key to hold a line feed and no stage key to start with ASCII.
  bool segment_cuts = false;
  std::size_t cut_context_units = 0;
  bool line_cuts = false;
  // A quiet cut, just after a character that no key of the converter holds,
  // needs no stage key to start with ASCII; where some does, a scan of a
  // stream's held text from its start finds the quiet cuts the ASCII-led
  // rule allows (last_run_cut). quiet_characters has one bit per code point
  // below U+10000, set for those no key holds; a character past U+FFFF is
  // never quiet.
  bool quiet_cuts = false;
  std::vector<std::uint64_t> quiet_characters;

  bool can_cut() const { return segment_cuts || line_cuts || quiet_cuts; }
  // Whether `code_point` is a character after which a quiet cut lies.
  bool is_quiet(char32_t code_point) const {
    return code_point < 0x10000 && ((quiet_characters[code_point >> 6] >> (code_point & 63)) & 1);
  }

  bool operator==(const ConversionPlan&) const = default;
};

}  // namespace lumo

#endif  // LUMO_ENGINE_CORE_CONVERSION_PLAN_H_
