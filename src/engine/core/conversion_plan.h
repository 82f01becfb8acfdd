// ConversionPlan: what a converter's conversions may do fast, decided once
// when the converter is built and read by every conversion, so that no
// loop works it out again from the shape of the dictionary groups.
//
// Every fast path has a plain twin that gives the same result: plain_plan()
// turns them all off (no shared walk, no single values, no stretches
// copied in one go), and the differential tests compare the two.
#ifndef LUMO_ENGINE_CORE_CONVERSION_PLAN_H_
#define LUMO_ENGINE_CORE_CONVERSION_PLAN_H_

#include <cstddef>
#include <cstdint>
#include <vector>

#include "dict/dictionary_group.h"

namespace lumo {

// How one stage's group is looked up.
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
  // With shared_trie, after a character nothing matched (or, with
  // shared_singles, where stretches prove long), the characters no key
  // starts with are copied in one go: worth it where keys start with few
  // characters (tuning::kFewKeyStarts).
  bool shared_skips = false;
  // With shared_trie, characters whose single values stand are converted
  // without walks, as their walks would convert them.
  bool shared_singles = false;
  // One per stage of the converter; the first one's is read only when the
  // stages do not walk together with segmentation.
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
};

}  // namespace lumo

#endif  // LUMO_ENGINE_CORE_CONVERSION_PLAN_H_
