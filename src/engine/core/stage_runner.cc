#include "engine/core/stage_runner.h"

namespace lumo {

static_assert(TextBuffer::kSlack <= LexiconTrie::kValuePadding,
              "values are copied with append_value");

template <typename Unit>
void run_stage(const DictionaryGroup& group, const StagePlan& plan, const Unit* data,
               std::size_t pos, std::size_t end, bool ascii_led, BasicTextBuffer<Unit>& output) {
  const LexiconTrie* const trie = plan.trie;
  GroupScan<Unit> scan(group, data, end);
  while (pos < end) {
    // ASCII characters that start keys need walks: in an input led by one,
    // the branch below copies them.
    if (plan.singles) {
      bool walk = false;
      while (!walk && pos < end) convert_single_block<false>(*trie, data, pos, end, output, &walk);
      if (pos == end) break;
    }
    if (ascii_led && is_ascii_unit(data[pos])) {
      std::size_t stretch = pos + 1;
      if (plan.ascii_runs) {
        while (stretch < end && is_ascii_unit(data[stretch])) ++stretch;
      }
      output.append_readable(data + pos, stretch - pos, end - pos);
      pos = stretch;
      continue;
    }
    if (plan.skips) {
      // Copy in one go what no key of the stage can start.
      const std::size_t stretch = ascii_led ? trie->untouchable_end<false>(data, pos, end)
                                            : trie->untouchable_end<true>(data, pos, end);
      if (stretch > pos) {
        output.append_readable(data + pos, stretch - pos, end - pos);
        pos = stretch;
        continue;
      }
    }
    LexiconMatch match;
    if (trie != nullptr) {
      const LexiconTrie::Walk walk = trie->walk<false, true>(data + pos, end - pos);
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

template <typename Unit>
void LaterStages<Unit>::flush() {
  if (stages_.size() <= 1 || ends_.size() == 0) return;
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
    std::size_t start = 0;
    for (std::size_t i = 0; i < ends_.size(); ++i) {
      const std::size_t end = ends[i];
      if (end > start) {
        run_stage(stages_[k], plans_[k], input->data(), start, end,
                  is_ascii_unit(input->data()[start]), target);
      }
      start = end;
      if (!last) ends[i] = target.size();  // the segment's end in this stage's output
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
