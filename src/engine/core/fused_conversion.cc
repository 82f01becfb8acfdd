#include "engine/core/fused_conversion.h"

#include <algorithm>
#include <cstdint>
#include <new>

#include "dict/text_units.h"
#include "engine/core/tuning.h"

namespace lumo {
namespace {

// The segmentation group's match length and the first stage group's match
// at one position, found with one walk per lexicon.
struct PositionMatch {
  std::size_t segment_length = 0;
  LexiconMatch stage;
};

template <typename Unit>
PositionMatch match_both(const DictionaryGroup& segmentation, const DictionaryGroup& stage,
                         const Unit* text, std::size_t size) {
  PositionMatch result;
  bool stage_found = false;
  for (std::size_t i = 0; i < stage.size(); ++i) {
    std::size_t segment_length = 0;
    const LexiconMatch match =
        stage[i].longest_prefix_with(segmentation[i], text, size, &segment_length);
    if (result.segment_length == 0) result.segment_length = segment_length;
    if (!stage_found && match) {
      result.stage = match;
      stage_found = true;
    }
    if (result.segment_length != 0 && stage_found) break;
  }
  return result;
}

// convert_single_block(), kept out of line: inlined into the scan, its loop
// took one instruction a character more (callgrind: t2s, jp2t, UTF-16).
template <PairTest kPairs, UnitReading kReading, typename Unit>
[[gnu::noinline]] std::size_t convert_block_apart(const LexiconTrie& trie, const Unit* data,
                                                  std::size_t& pos, std::size_t end,
                                                  BasicTextBuffer<Unit>& output, bool* walk) {
  return convert_single_block<kPairs, kReading>(trie, data, pos, end, output, walk);
}

// Where the one-pass scan converts characters by their single values
// instead of walking from them (ConversionPlan::shared_singles): nowhere,
// inside runs, or inside runs and where a run opens
// (ConversionPlan::runs_opened_by_singles).
enum class SinglesUse : unsigned char { kNowhere, kInRuns, kInAndOpeningRuns };

// Segments and runs the first stage in one pass, with one walk per position
// answering both. Inside a run the first stage's match at a position is the
// unbounded one; it is written at once but stays tentative until the scan
// has passed its end without finding a segment start (which would cut the
// run, and the match, short): then it is rewritten with the run's bounds.
// docs/design.md traces one text through it. Made once for many texts:
// the form of the scan is chosen when it is made, and each text sets only
// where it lies.
template <typename Unit>
class FusedConversion {
 public:
  FusedConversion(const Converter& converter, const ConversionPlan& plan, LaterStages<Unit>& later)
      : segmentation_(*converter.segmentation),
        stage_(converter.stages.front()),
        stage_plan_(plan.stages.front()),
        shared_trie_(plan.shared_trie),
        skip_untouched_(plan.shared_skips),
        use_singles_(plan.shared_singles),
        runs_opened_by_singles_(plan.runs_opened_by_singles),
        every_pair_(plan.every_pair),
        scan_or_look_up_(plan.scan_or_look_up),
        utf16_units_(plan.utf16_units),
        utf8_words_(plan.utf8_words),
        short_copies_(plan.short_copies),
        later_(later),
        output_(later.first_stage_output()),
        scan_(chosen_scan()) {}

  // Converts text[0, size). A scan ends outside any run, so that the next
  // text starts afresh; how convert_singles() goes carries over, as it
  // would along one long text, which changes no result.
  void convert(const Unit* text, std::size_t size) {
    data_ = text;
    size_ = size;
    (this->*scan_)();
  }

 private:
  using Scan = void (FusedConversion::*)();

  // The form of the scan the plan asks for.
  Scan chosen_scan() const {
    if (!use_singles_)
      return &FusedConversion::run_with<SinglesUse::kNowhere, UnitReading::kByCharacter>;
    if constexpr (sizeof(Unit) == 2) {
      if (utf16_units_) return scan_with_singles<UnitReading::kByUnit>();
    }
    if constexpr (sizeof(Unit) == 1) {
      if (utf8_words_) return scan_with_singles<UnitReading::kByWord>();
    }
    return scan_with_singles<UnitReading::kByCharacter>();
  }

  template <UnitReading kReading>
  Scan scan_with_singles() const {
    if (runs_opened_by_singles_)
      return &FusedConversion::run_with<SinglesUse::kInAndOpeningRuns, kReading>;
    return &FusedConversion::run_with<SinglesUse::kInRuns, kReading>;
  }

  // The scan, with characters converted alone where `kSingles` says, the
  // text read as `kReading` says. Reached through scan_, and kept out of
  // line where that is not enough: folded into its caller, s2t's UTF-16
  // scan took 2% more instructions.
  template <SinglesUse kSingles, UnitReading kReading>
  [[gnu::noinline]] void run_with() {
    std::size_t pos = 0;
    // The character at `pos`, decoded once: the walk at one position
    // usually decodes the next position's character already.
    std::size_t length = 0;
    char32_t code_point = size_ > 0 ? decode_char(data_, &length) : 0;
    while (pos < size_) {
      if constexpr (kSingles == SinglesUse::kInAndOpeningRuns) {
        // Where a segment ended, a run may start with characters converted
        // alone: no walk is needed to tell.
        if (!in_run_ && start_run_with_singles<kReading>(pos)) {
          pos = cursor_;
          if (pos < size_) code_point = decode_char(data_ + pos, &length);
          continue;
        }
      }
      LexiconTrie::Walk walk;
      const PositionMatch match = match_at(pos, code_point, length, &walk);
      std::size_t next = pos + length;
      if (match.segment_length != 0) {
        if (in_run_) close_run(pos);
        convert_matched_segment(pos, match);
        next = pos + match.segment_length;
      } else {
        if (!in_run_) open_run(pos);
        const bool stepped = pos == cursor_;
        const bool copied = stepped && !match.stage;
        if (stepped) step_in_run(pos, length, match.stage);
        if constexpr (kSingles != SinglesUse::kNowhere) {
          if (stepped && cursor_ == next) next = convert_singles<kReading>(next);
        } else if (copied && skip_untouched_) {
          next = copy_untouchable(next);
        }
      }
      if (next == pos + length && walk.second_length != 0) {
        code_point = walk.second;
        length = walk.second_length;
      } else if (next < size_) {
        code_point = decode_char(data_ + next, &length);
      }
      pos = next;
    }
    if (in_run_) close_run(size_);
  }

  // Both answers at `pos`, whose character is `code_point`; `*walk` gets
  // the shared trie's walk, when there is one.
  PositionMatch match_at(std::size_t pos, char32_t code_point, std::size_t length,
                         LexiconTrie::Walk* walk) const {
    if (shared_trie_ == nullptr) return match_both(segmentation_, stage_, data_ + pos, size_ - pos);
    *walk =
        shared_trie_->walk_from<WalkedKeys::kBoth>(code_point, length, data_ + pos, size_ - pos);
    return {walk->marked_length, {walk->valued_length, walk->value}};
  }

  // In a run, after a character nothing matched, copies at once the
  // characters from `pos` on that no key starts with (each would be copied
  // alone otherwise); returns where they end. Worth it only where few
  // characters start keys.
  std::size_t copy_untouchable(std::size_t pos) {
    cursor_ = append_untouched(pos);
    return cursor_;
  }

  // Copies the characters from `pos` on that no key starts with; returns
  // where they end.
  std::size_t append_untouched(std::size_t pos) {
    const std::size_t end =
        shared_trie_->untouchable_end<AsciiStarts::kLookedUp>(data_, pos, size_);
    append_stretch(short_copies_, data_ + pos, end - pos, size_ - pos, output_);
    return end;
  }

  // In a run, where the stage has consumed the text before `pos`: converts
  // at once the characters from `pos` on whose single values stand, as
  // their walks would one by one; returns where they end. With
  // scan_or_look_up_, stretches no key starts in may be copied whole first,
  // or each character looked up: the way is chosen anew every
  // tuning::kJudged units, by how many characters converted to others.
  // Otherwise each character is looked up. Inlined into the scan, which
  // the compiler otherwise declines where the scan has several
  // instantiations (callgrind: s2t 1 instruction a character more).
  template <UnitReading kReading>
  [[gnu::always_inline]] std::size_t convert_singles(std::size_t pos) {
    bool walk = false;  // stopped at a character that needs a walk
    // every_pair reads UTF-16 a character at a time (no utf16_units).
    constexpr UnitReading kPairReading = sizeof(Unit) == 1 ? kReading : UnitReading::kByCharacter;
    while (!walk && pos < size_) {
      const std::size_t begin = pos;
      const bool scan = scan_or_look_up_ && singles_way_.scan;
      if (scan) pos = append_untouched(pos);
      const std::size_t converted =
          pos == size_  ? 0
          : every_pair_ ? convert_block_apart<PairTest::kEveryCharacter, kPairReading>(
                              *shared_trie_, data_, pos, size_, output_, &walk)
                        : convert_block_apart<PairTest::kExtendedOnly, kReading>(
                              *shared_trie_, data_, pos, size_, output_, &walk);
      if (scan_or_look_up_) singles_way_.judge(pos - begin + (walk ? 1 : 0), converted);
    }
    cursor_ = pos;
    return pos;
  }

  // Outside a run: opens one at `pos` if the character there converts
  // alone, converting it and those after it that do (see
  // convert_singles()); false, with no run opened, otherwise.
  template <UnitReading kReading>
  bool start_run_with_singles(std::size_t pos) {
    open_run(pos);
    if (convert_singles<kReading>(pos) != pos) return true;
    in_run_ = false;
    return false;
  }

  void open_run(std::size_t pos) {
    in_run_ = true;
    run_ascii_led_ = is_ascii_unit(data_[pos]);
    cursor_ = pos;
    tentative_end_ = pos;
  }

  // The first stage's step at the run position `pos`, whose character is
  // `length` units long.
  void step_in_run(std::size_t pos, std::size_t length, const LexiconMatch& match) {
    if (run_ascii_led_ && is_ascii_unit(data_[pos])) {
      output_.append_char(data_ + pos, 1);
      cursor_ = pos + 1;
    } else if (match) {
      if (match.length > length) {  // only a longer match can be cut short
        tentative_start_ = pos;
        tentative_output_ = output_.size();
        tentative_end_ = pos + match.length;
      }
      output_.append_value(match.value);
      cursor_ = pos + match.length;
    } else {
      output_.append_char(data_ + pos, length);
      cursor_ = pos + length;
    }
  }

  void close_run(std::size_t end) {
    if (tentative_end_ > end) {
      output_.truncate(tentative_output_);
      run_stage(stage_, stage_plan_, data_, tentative_start_, end, run_ascii_led_, output_);
    }
    in_run_ = false;
    later_.end_segment();
  }

  void convert_matched_segment(std::size_t pos, const PositionMatch& match) {
    const std::size_t end = pos + match.segment_length;
    const bool ascii_led = is_ascii_unit(data_[pos]);
    std::size_t next = pos;
    if (!ascii_led && match.stage.length <= match.segment_length) {
      if (match.stage) {
        output_.append_value(match.stage.value);
        next += match.stage.length;
      } else {
        const std::size_t length = char_units(data_ + pos);
        output_.append_char(data_ + pos, length);
        next += length;
      }
    }
    if (next < end) run_stage(stage_, stage_plan_, data_, next, end, ascii_led, output_);
    later_.end_segment();
  }

  const DictionaryGroup& segmentation_;
  const DictionaryGroup& stage_;
  const StagePlan& stage_plan_;
  // The one trie of both groups when each holds just their shared lexicon.
  const LexiconTrie* const shared_trie_;
  // The plan's choices (see ConversionPlan).
  const bool skip_untouched_;  // shared_skips
  const bool use_singles_;
  const bool runs_opened_by_singles_;
  const bool every_pair_;
  const bool scan_or_look_up_;
  const bool utf16_units_;
  const bool utf8_words_;
  const bool short_copies_;
  LaterStages<Unit>& later_;
  BasicTextBuffer<Unit>& output_;  // the first stage's
  const Scan scan_;
  // The text being converted.
  const Unit* data_ = nullptr;
  std::size_t size_ = 0;

  // How convert_singles() goes: looking for stretches no key starts in
  // (scan), or character by character.
  struct SinglesWay {
    bool scan = true;
    std::size_t judged = 0;     // units gone over since the way was chosen
    std::size_t converted = 0;  // how many characters converted to others

    // Counts `units` more, holding `count` characters converted to others,
    // and chooses the way anew once enough were seen: scanning pays where
    // at least tuning::kLongStretch units pass per one converted.
    void judge(std::size_t units, std::size_t count) {
      judged += units;
      converted += count;
      if (judged < tuning::kJudged) return;
      scan = converted * tuning::kLongStretch < judged;
      judged = 0;
      converted = 0;
    }
  };
  SinglesWay singles_way_;

  bool in_run_ = false;
  bool run_ascii_led_ = false;
  std::size_t cursor_ = 0;  // first run position the stage has not consumed
  // The last match written in the run: input [start, end), output from
  // tentative_output_.
  std::size_t tentative_start_ = 0;
  std::size_t tentative_end_ = 0;
  std::size_t tentative_output_ = 0;
};

}  // namespace

template <typename Unit>
FusedRows<Unit>::FusedRows(const Converter& converter, const ConversionPlan& plan,
                           LaterStages<Unit>& later) {
  static_assert(sizeof(FusedConversion<Unit>) <= kStateBytes);
  static_assert(alignof(FusedConversion<Unit>) <= alignof(std::max_align_t));
  new (state_) FusedConversion<Unit>(converter, plan, later);
}

template <typename Unit>
FusedRows<Unit>::~FusedRows() {
  std::launder(reinterpret_cast<FusedConversion<Unit>*>(state_))->~FusedConversion();
}

template <typename Unit>
void FusedRows<Unit>::convert(const Unit* text, std::size_t size) {
  std::launder(reinterpret_cast<FusedConversion<Unit>*>(state_))->convert(text, size);
}

template class FusedRows<char>;
template class FusedRows<std::uint16_t>;
template class FusedRows<std::uint32_t>;

}  // namespace lumo
