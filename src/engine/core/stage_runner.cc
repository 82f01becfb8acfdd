#include "engine/core/stage_runner.h"

namespace lumo {

static_assert(TextBuffer::kSlack <= LexiconTrie::kValuePadding,
              "values are copied with append_value");

namespace {

// run_stage(), reading UTF-16 text as `kReading` says wherever characters
// are looked up by their single values.
template <UnitReading kReading, typename Unit>
void run_stage_reading(const DictionaryGroup& group, const StagePlan& plan, const Unit* data,
                       std::size_t pos, std::size_t end, bool ascii_led,
                       BasicTextBuffer<Unit>& output) {
  const LexiconTrie* const trie = plan.trie;
  const bool singles = plan.singles;
  const bool skips = plan.skips;
  const bool ascii_runs = plan.ascii_runs;
  const bool short_copies = plan.short_copies;
  GroupScan<Unit> scan(group, data, end);
  while (pos < end) {
    // ASCII characters that start keys need walks: in an input led by one,
    // the branch below copies them.
    if (singles) {
      bool walk = false;
      while (!walk && pos < end) {
        convert_single_block<PairTest::kExtendedOnly, kReading>(*trie, data, pos, end, output,
                                                                &walk);
      }
      if (pos == end) break;
    }
    if (ascii_led && is_ascii_unit(data[pos])) {
      std::size_t stretch = pos + 1;
      if (ascii_runs) {
        while (stretch < end && is_ascii_unit(data[stretch])) ++stretch;
      }
      append_stretch(short_copies, data + pos, stretch - pos, end - pos, output);
      pos = stretch;
      continue;
    }
    if (skips) {
      // Copy in one go what no key of the stage can start.
      const std::size_t stretch =
          ascii_led ? trie->untouchable_end<AsciiStarts::kSkipped>(data, pos, end)
                    : trie->untouchable_end<AsciiStarts::kLookedUp>(data, pos, end);
      if (stretch > pos) {
        append_stretch(short_copies, data + pos, stretch - pos, end - pos, output);
        pos = stretch;
        continue;
      }
    }
    LexiconMatch match;
    if (trie != nullptr) {
      const LexiconTrie::Walk walk = trie->walk<WalkedKeys::kValued>(data + pos, end - pos);
      match = {walk.valued_length, walk.value};
    } else {
      match = scan.at(pos);
    }
    if (match) {
      output.append_value(match.value);
      pos += match.length;
    } else {
      const std::size_t length = char_units(data + pos);
      output.append_char(data + pos, length);
      pos += length;
    }
  }
}

// Runs a later stage over each segment of `input`, whose ends are
// ends[0, count), into `target`; where `target` is not the last stage's,
// moves each end to the segment's end in it.
template <UnitReading kReading, typename Unit>
void run_stage_over_segments(const DictionaryGroup& group, const StagePlan& plan,
                             const BasicTextBuffer<Unit>& input, std::size_t* ends,
                             std::size_t count, bool last, BasicTextBuffer<Unit>& target) {
  std::size_t start = 0;
  for (std::size_t i = 0; i < count; ++i) {
    const std::size_t end = ends[i];
    if (end > start) {
      run_stage_reading<kReading>(group, plan, input.data(), start, end,
                                  is_ascii_unit(input.data()[start]), target);
    }
    start = end;
    if (!last) ends[i] = target.size();
  }
}

}  // namespace

template <typename Unit>
void run_stage(const DictionaryGroup& group, const StagePlan& plan, const Unit* data,
               std::size_t pos, std::size_t end, bool ascii_led, BasicTextBuffer<Unit>& output) {
  if constexpr (sizeof(Unit) == 2) {
    if (plan.utf16_units) {
      return run_stage_reading<UnitReading::kByUnit>(group, plan, data, pos, end, ascii_led,
                                                     output);
    }
  }
  if constexpr (sizeof(Unit) == 1) {
    if (plan.utf8_words) {
      return run_stage_reading<UnitReading::kByWord>(group, plan, data, pos, end, ascii_led,
                                                     output);
    }
  }
  run_stage_reading<UnitReading::kByCharacter>(group, plan, data, pos, end, ascii_led, output);
}

template <typename Unit>
void LaterStages<Unit>::flush_segments() {
  if (ends_.size() == 0) return;
  BasicTextBuffer<Unit>* input = &chunk_;
  std::size_t* const ends = ends_.data();
  for (std::size_t k = 1; k < stages_.size() && !output_.failed(); ++k) {
    // What a failed buffer holds is not to be read.
    if (input->failed() || ends_.failed()) {
      output_.fail();
      break;
    }
    const bool last = k + 1 == stages_.size();
    BasicTextBuffer<Unit>& target = last ? output_ : (input == &chunk_ ? spare_ : chunk_);
    if (!last) target.clear();
    const bool by_unit = sizeof(Unit) == 2 && plans_[k].utf16_units;
    const bool by_word = sizeof(Unit) == 1 && plans_[k].utf8_words;
    if (by_unit) {
      run_stage_over_segments<UnitReading::kByUnit>(stages_[k], plans_[k], *input, ends,
                                                    ends_.size(), last, target);
    } else if (by_word) {
      run_stage_over_segments<UnitReading::kByWord>(stages_[k], plans_[k], *input, ends,
                                                    ends_.size(), last, target);
    } else {
      run_stage_over_segments<UnitReading::kByCharacter>(stages_[k], plans_[k], *input, ends,
                                                         ends_.size(), last, target);
    }
    input = &target;
  }
  chunk_.clear();
  ends_.clear();
}

#define LUMO_INSTANTIATE(Unit)                                                                \
  template void run_stage(const DictionaryGroup&, const StagePlan&, const Unit*, std::size_t, \
                          std::size_t, bool, BasicTextBuffer<Unit>&);                         \
  template class LaterStages<Unit>;
LUMO_INSTANTIATE(char)
LUMO_INSTANTIATE(std::uint16_t)
LUMO_INSTANTIATE(std::uint32_t)
#undef LUMO_INSTANTIATE

}  // namespace lumo
