// Cutting a text into pieces that convert independently: converting the
// pieces one by one and joining the results gives exactly the conversion
// of the whole. Three kinds of position are safe cuts.
//
// A segment cut: a segmentation key starts there and no key starting
// before it reaches past it. Whatever the segmentation scan did before such
// a position, it arrives there on a segment boundary and starts a matched
// segment, and no lookup before it needs text beyond it; so the pieces
// segment exactly as they do within the whole, and segments convert
// independently.
//
// A line cut: just after a line feed, when no key of the converter holds a
// line feed and no stage key starts with an ASCII character. Then no match
// of any step spans the line feed, which every stage copies unchanged; and
// a stage input led by an ASCII character, which only skips lookups at
// ASCII characters, converts like any other. So a segment split there
// converts to the same text in two parts.
//
// A quiet cut: just after a character that no key of the converter holds
// (ConversionPlan::quiet_characters), when no stage key starts with an
// ASCII character: the line cut's reasoning for any such character. No
// match holds it, so segmentation steps over it as a run character, every
// stage copies it, and no lookup on either side reaches across it. A
// search takes one only where it finds no cut of the other kinds.
//
// A prefixed quiet cut (streams only, last_run_cut): just after a quiet
// character inside a run R whose start s is known, when some stage key
// starts with ASCII. The piece after it is converted behind R's prefix,
// from s to the first quiet character at or after s inclusive, and the
// prefix's own conversion is dropped from the front of the result. The
// prefix segments as R does (no segmentation key matches inside a run,
// none spans a quiet character), every stage copies its last character,
// so each stage's output of the prefix is non-empty and starts as its
// output of R: every stage sees the same first character, hence the same
// ASCII-led standing, as within the whole, and no match spans the junction.
// So prefix + piece converts to the prefix's conversion followed by the
// piece's conversion within the whole. No text after the cut is needed.
#ifndef LUMO_ENGINE_WHOLE_TEXT_CUTS_H_
#define LUMO_ENGINE_WHOLE_TEXT_CUTS_H_

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "engine/core/converter.h"

namespace lumo {

// The first safe cut at a character boundary in text[from, to), or npos;
// text[0, size) is UTF-8 (char), UTF-16 (std::uint16_t) or UTF-32
// (std::uint32_t) without lone surrogates, positions are in its units.
// `text` must hold converter.plan.cut_context_units units before `from` and
// as many after `to`, except where it starts or ends with the text being
// converted.
//
// The search spends work, one unit per character its trie walks visit and
// per position it looks at, from `*budget`, and gives up (npos) when that
// runs out: near long keys every position needs a long walk, and a search
// unbounded by the keys' length could cost more than the conversion it
// prepares. Thread-safe.
template <typename Unit>
std::size_t find_cut(const Converter& converter, const Unit* text, std::size_t size,
                     std::size_t from, std::size_t to, std::size_t* budget);
inline std::size_t find_cut(const Converter& converter, std::string_view text, std::size_t from,
                            std::size_t to) {
  std::size_t budget = SIZE_MAX;
  return find_cut(converter, text.data(), text.size(), from, to, &budget);
}

// The last safe cut at or after max(*clear, 1) of a text of which
// text[0, size) (as for find_cut) has arrived and more may follow: a cut
// that holds whatever comes next. Positions before *clear are known to be
// no cut; when the search covers all it may look at without finding one,
// it moves *clear on to the first position the next search must look at.
// Spends work from `*budget` as find_cut does (npos when it runs out).
template <typename Unit>
std::size_t last_cut_so_far(const Converter& converter, const Unit* text, std::size_t size,
                            std::size_t* clear, std::size_t* budget);

// Where a segmentation scan of a stream's held text stands (last_run_cut).
struct RunScan {
  std::size_t pos = 0;                        // the next position to look at
  std::size_t run_start = std::string::npos;  // of the run it is in; npos: none
  // Just after the first character no key holds in that run; npos: none yet.
  std::size_t run_quiet_end = std::string::npos;
  bool found_quiet = false;  // whether the last cut it found was a quiet cut
  // Whether it may take prefixed quiet cuts, and the prefix of the last cut
  // it found: [prefix_start, prefix_end), or npos for a plain cut.
  bool prefixed = false;
  std::size_t prefix_start = std::string::npos;
  std::size_t prefix_end = std::string::npos;
  // Moves the scan onto the text that starts `count` units on, at a safe
  // cut, which the text there starts a segment at.
  void drop(std::size_t count);
  // Moves the scan onto the text that follows a prefixed cut at `count`:
  // the found prefix, then the text from `count` on.
  void drop_keeping_prefix(std::size_t count);
};

// The longest prefix a prefixed quiet cut keeps, in units: past it, a run
// is cut by the other rules only, so that no piece re-converts much.
inline constexpr std::size_t kMaxCutPrefixUnits = 4096;

// The last safe cut after `scan->pos` found by segmenting text[0, size) (as
// for find_cut) from its start, which starts a segment (the text's start or
// a safe cut), as the conversion does: where a matched segment starts, or a
// quiet cut where the two runs it makes stand alike under the ASCII-led rule
// at every stage; npos when there is none. A run led by an ASCII character
// is ASCII-led at every stage, which copies that character first; one led
// by a character no key holds is not, at any stage; any other's standing
// depends on what stages make of it, and a cut next to it is not taken
// (nor needed where no stage key starts with ASCII). The scan resumes from
// `*scan`, so no position is walked twice, and stops where a walk could
// need text that has not arrived; it spends `*budget` as find_cut does and
// stops when that runs out. With `scan->prefixed`, a quiet cut the
// ASCII-led rule stops is taken as a prefixed quiet cut where the prefix
// is at most kMaxCutPrefixUnits long (scan->prefix_start, prefix_end say
// which), and the scan goes on to the last quiet character that has
// arrived, the very end included.
template <typename Unit>
std::size_t last_run_cut(const Converter& converter, const Unit* text, std::size_t size,
                         RunScan* scan, std::size_t* budget);

// Where text[0, size) (as for find_cut) is cut into at most `pieces` pieces
// of about equal length, to convert them at the same time: the piece
// bounds, from 0 to `size`. A cut is looked for a little past each planned
// place, with a budget of work proportional to the planned piece length,
// so that a plan costs at most size / tuning::kCutWorkShare units of work (stored
// in `*work` if given) whatever the keys; where no cut is found within its
// budget the text keeps fewer pieces.
template <typename Unit>
std::vector<std::size_t> plan_pieces(const Converter& converter, const Unit* text, std::size_t size,
                                     std::size_t pieces, std::size_t* work = nullptr);

}  // namespace lumo

#endif  // LUMO_ENGINE_WHOLE_TEXT_CUTS_H_
