#include "engine/whole/text_cuts.h"

#include <algorithm>
#include <cstdint>

#include "dict/text_units.h"
#include "engine/whole/tuning.h"

namespace lumo {
namespace {

template <typename Unit>
bool is_line_cut(const Unit* text, std::size_t pos) {
  return pos > 0 && text[pos - 1] == '\n';
}

// Whether a quiet cut lies at `pos`, a character boundary past 0: the
// character that ends there is one no key holds.
template <typename Unit>
bool is_quiet_cut(const ConversionPlan& plan, const Unit* text, std::size_t pos) {
  std::size_t start = pos - 1;
  while (start > 0 && !starts_character(text[start])) --start;
  std::size_t length = 0;
  return plan.is_quiet(decode_char(text + start, &length));
}

// group_longest_prefix(), spending a unit of `*budget` per character a
// walk visits; npos when the budget runs out first.
template <typename Unit>
std::size_t counted_group_prefix(const DictionaryGroup& group, const Unit* text, std::size_t size,
                                 std::size_t* budget) {
  for (const Lexicon& lexicon : group) {
    const CountedMatch walk = lexicon.counted_longest_prefix(text, size, budget);
    if (!walk.complete) return std::string::npos;
    if (walk.match) return walk.match.length;
  }
  return 0;
}

// The first safe cut in text[from, to) (as find_cut), or with `last` the
// last one the search reached before its budget ran out. A quiet cut is
// taken only where the search finds no cut of the other kinds.
template <typename Unit>
std::size_t scan_cuts(const Converter& converter, const Unit* text, std::size_t size,
                      std::size_t from, std::size_t to, std::size_t* budget, bool last) {
  to = std::min(to, size);
  const ConversionPlan& plan = converter.plan;
  const bool line_cuts = plan.line_cuts;
  const bool quiet_cuts = plan.quiet_cuts;
  const std::size_t context = plan.cut_context_units;
  // A key starting `context` or more units before a position cannot reach
  // past it; the scan starts at the first character after that (at `from`
  // without segmentation).
  std::size_t pos = context == 0 ? from : from >= context ? from - context + 1 : 0;
  // On to a character boundary: past UTF-8 continuation bytes, or the
  // second half of a UTF-16 surrogate pair.
  while (pos < from && !starts_character(text[pos])) ++pos;
  // Segment cuts are looked for while the budget lasts (not at all without
  // segmentation, or when the walks before `from` alone would exceed it),
  // line cuts and quiet cuts to the end.
  bool walking = plan.segment_cuts && from - pos <= *budget;
  std::size_t reach = 0;  // the furthest end of a key starting since
  std::size_t found = std::string::npos;
  std::size_t quiet = std::string::npos;
  while (pos < to) {
    if (!walking) {
      if (!line_cuts && !quiet_cuts) break;
      pos = std::max(pos, std::max<std::size_t>(from, 1));
      if (pos >= to) break;
    }
    bool cut = pos >= from && line_cuts && is_line_cut(text, pos);
    if (walking) {
      const std::size_t length =
          counted_group_prefix(*converter.segmentation, text + pos, size - pos, budget);
      if (length == std::string::npos) {
        walking = false;
        continue;
      }
      cut = cut || (pos >= from && length != 0 && reach <= pos);
      reach = std::max(reach, pos + length);
    }
    // `from` may fall inside a character, and the scan with it: a quiet cut
    // is taken only at a character boundary.
    if (cut) {
      if (!last) return pos;
      found = pos;
    } else if (quiet_cuts && pos >= from && pos > 0 && (last || quiet == std::string::npos) &&
               starts_character(text[pos]) && is_quiet_cut(plan, text, pos)) {
      quiet = pos;
    }
    pos += char_units(text + pos);
  }
  return found != std::string::npos ? found : quiet;
}

}  // namespace

template <typename Unit>
std::size_t find_cut(const Converter& converter, const Unit* text, std::size_t size,
                     std::size_t from, std::size_t to, std::size_t* budget) {
  return scan_cuts(converter, text, size, from, to, budget, false);
}

template <typename Unit>
std::size_t last_cut_so_far(const Converter& converter, const Unit* text, std::size_t size,
                            std::size_t* clear, std::size_t* budget) {
  const ConversionPlan& plan = converter.plan;
  const std::size_t from = std::max<std::size_t>(*clear, 1);
  if (size < from) return std::string::npos;
  // A segment cut needs a key's length of text after it; line cuts and
  // quiet cuts need nothing after them, so the last of these past `to`
  // comes first.
  const std::size_t context = plan.cut_context_units;
  const std::size_t to = size >= context + from ? size - context : from;
  if (plan.line_cuts && text[size - 1] == '\n') return size;
  if (plan.quiet_cuts) {
    // Back from the end over character boundaries; `to` is at least 1.
    for (std::size_t pos = size; pos >= to;) {
      if (is_quiet_cut(plan, text, pos)) return pos;
      --pos;
      while (pos > 0 && !starts_character(text[pos])) --pos;
    }
  }
  if (size < context + from) return std::string::npos;
  // Back from the end, over ever wider windows: in running text the first
  // one holds a cut.
  std::size_t end = to;
  std::size_t width = tuning::kStreamCutWindow;
  while (end > from) {
    const std::size_t start = end - std::min(width, end - from);
    const std::size_t cut = scan_cuts(converter, text, size, start, end, budget, true);
    if (cut != std::string::npos) return cut;
    if (*budget == 0) return std::string::npos;
    end = start;
    width *= 2;
  }
  *clear = std::max(*clear, to);
  return std::string::npos;
}

namespace {

// Whether some key of `group` may start with `code_point`: the key-start
// bitmaps know the characters below U+10000.
bool starts_a_key(const DictionaryGroup& group, char32_t code_point) {
  if (code_point >= 0x10000) return true;
  return std::any_of(group.begin(), group.end(), [code_point](const Lexicon& lexicon) {
    return (lexicon.trie().key_starts[code_point >> 6] >> (code_point & 63)) & 1;
  });
}

// How a run led by text[pos] stands under the ASCII-led rule: 1 ASCII-led
// at every stage, 0 at none, -1 not known without converting it.
template <typename Unit>
int run_standing(const ConversionPlan& plan, const Unit* text, std::size_t pos) {
  if (is_ascii_unit(text[pos])) return 1;
  std::size_t length = 0;
  return plan.is_quiet(decode_char(text + pos, &length)) ? 0 : -1;
}

}  // namespace

void RunScan::drop(std::size_t count) {
  prefix_start = prefix_end = std::string::npos;
  if (pos <= count) {
    pos = 0;
    run_start = run_quiet_end = std::string::npos;
    return;
  }
  pos -= count;
  // A run the cut split starts the text anew.
  if (run_start != std::string::npos) run_start = run_start < count ? 0 : run_start - count;
  if (run_quiet_end != std::string::npos) {
    run_quiet_end = run_quiet_end <= count ? std::string::npos : run_quiet_end - count;
  }
}

void RunScan::drop_keeping_prefix(std::size_t count) {
  const std::size_t start = prefix_start;
  const std::size_t length = prefix_end - prefix_start;
  // A position in the prefix keeps its place in it; one from `count` on
  // follows the prefix.
  const auto moved = [&](std::size_t at) {
    if (at == std::string::npos) return at;
    return at < count ? at - std::min(at, start) : at - count + length;
  };
  pos = moved(pos);
  run_start = moved(run_start);
  run_quiet_end = moved(run_quiet_end);
  prefix_start = prefix_end = std::string::npos;
}

template <typename Unit>
std::size_t last_run_cut(const Converter& converter, const Unit* text, std::size_t size,
                         RunScan* scan, std::size_t* budget) {
  const ConversionPlan& plan = converter.plan;
  // Every walk sees as far as a key reaches, and a quiet cut the character
  // after it.
  const std::size_t ahead = std::max<std::size_t>(plan.cut_context_units, 4);
  std::size_t pos = scan->pos;
  std::size_t run_start = scan->run_start;
  std::size_t run_quiet_end = scan->run_quiet_end;
  std::size_t found = std::string::npos;
  // No key holds a quiet character, so no walk before the last one to
  // arrive needs text after it: a prefixed scan goes on up to there.
  std::size_t stop = size > ahead ? size - ahead : 0;
  if (scan->prefixed) {
    for (std::size_t end = size; end > std::max(stop, pos);) {
      if (is_quiet_cut(plan, text, end)) {
        stop = end;
        break;
      }
      --end;
      while (end > 0 && !starts_character(text[end])) --end;
    }
  }
  while (pos < stop) {
    std::size_t units = 0;
    const char32_t code_point = decode_char(text + pos, &units);
    std::size_t length = 0;
    if (converter.segmentation && starts_a_key(*converter.segmentation, code_point)) {
      length = counted_group_prefix(*converter.segmentation, text + pos, size - pos, budget);
      if (length == std::string::npos) break;
    }
    if (length != 0) {
      // A matched segment starts here: the text before it segments alone
      // as it does here, and so does the text from here.
      if (pos > 0) {
        found = pos;
        scan->found_quiet = false;
        scan->prefix_start = scan->prefix_end = std::string::npos;
      }
      run_start = run_quiet_end = std::string::npos;
      pos += length;
      continue;
    }
    if (run_start == std::string::npos) run_start = pos;
    const bool quiet = plan.is_quiet(code_point);
    pos += units;
    if (!quiet) continue;
    if (run_quiet_end == std::string::npos) run_quiet_end = pos;
    bool plain = plan.quiet_cuts;
    if (!plain && pos < size) {
      const int standing = run_standing(plan, text, run_start);
      plain = standing >= 0 && standing == run_standing(plan, text, pos);
    }
    if (plain) {
      scan->prefix_start = scan->prefix_end = std::string::npos;
    } else if (scan->prefixed && run_quiet_end - run_start <= kMaxCutPrefixUnits) {
      scan->prefix_start = run_start;
      scan->prefix_end = run_quiet_end;
    } else {
      continue;
    }
    found = pos;
    scan->found_quiet = true;
  }
  scan->pos = pos;
  scan->run_start = run_start;
  scan->run_quiet_end = run_quiet_end;
  return found;
}

template <typename Unit>
std::vector<std::size_t> plan_pieces(const Converter& converter, const Unit* text, std::size_t size,
                                     std::size_t pieces, std::size_t* work) {
  std::vector<std::size_t> bounds{0};
  std::size_t spent = 0;
  if (pieces > 1 && converter.plan.can_cut()) {
    const std::size_t length = size / pieces;
    for (std::size_t i = 1; i < pieces; ++i) {
      const std::size_t target = length * i;
      if (target <= bounds.back()) continue;
      std::size_t budget = length / tuning::kCutWorkShare;
      const std::size_t cut =
          find_cut(converter, text, size, target, target + tuning::kCutSearchUnits, &budget);
      spent += length / tuning::kCutWorkShare - budget;
      if (cut != std::string::npos && cut > bounds.back() && cut < size) bounds.push_back(cut);
    }
  }
  bounds.push_back(size);
  if (work != nullptr) *work = spent;
  return bounds;
}

#define LUMO_INSTANTIATE(Unit)                                                                   \
  template std::size_t find_cut(const Converter&, const Unit*, std::size_t, std::size_t,         \
                                std::size_t, std::size_t*);                                      \
  template std::vector<std::size_t> plan_pieces(const Converter&, const Unit*, std::size_t,      \
                                                std::size_t, std::size_t*);                      \
  template std::size_t last_cut_so_far(const Converter&, const Unit*, std::size_t, std::size_t*, \
                                       std::size_t*);                                            \
  template std::size_t last_run_cut(const Converter&, const Unit*, std::size_t, RunScan*,        \
                                    std::size_t*);
LUMO_INSTANTIATE(char)
LUMO_INSTANTIATE(std::uint16_t)
LUMO_INSTANTIATE(std::uint32_t)
#undef LUMO_INSTANTIATE

}  // namespace lumo
