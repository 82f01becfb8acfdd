#include "engine/stage_runner.h"

namespace lumo {

static_assert(TextBuffer::kSlack <= LexiconTrie::kValuePadding,
              "values are copied with append_padded");

void run_stage(const DictionaryGroup& group, const char* data, std::size_t pos, std::size_t end,
               bool ascii_led, TextBuffer& output) {
  // A group of one valued lexicon is walked directly.
  const LexiconTrie* const trie = group.size() == 1 && group.front().keys() == KeySet::kValued
                                      ? &group.front().trie()
                                      : nullptr;
  while (pos < end) {
    if (ascii_led && is_ascii(data[pos])) {
      std::size_t stretch = pos + 1;
      while (stretch < end && is_ascii(data[stretch])) ++stretch;
      output.append(data + pos, stretch - pos);
      pos = stretch;
      continue;
    }
    if (trie != nullptr) {
      // Copy in one go what no key of the stage can start.
      const std::size_t stretch = ascii_led ? trie->untouchable_end<false>(data, pos, end)
                                            : trie->untouchable_end<true>(data, pos, end);
      if (stretch > pos) {
        output.append(data + pos, stretch - pos);
        pos = stretch;
        continue;
      }
    }
    LexiconMatch match;
    if (trie != nullptr) {
      const LexiconTrie::Walk walk = trie->walk<false, true>(data + pos, end - pos);
      match = {walk.valued, walk.value};
    } else {
      match = group_longest_prefix(group, std::string_view(data + pos, end - pos));
    }
    if (match) {
      output.append_padded(match.value.data(), match.value.size());
      pos += match.length;
    } else {
      const std::size_t length = char_length(data + pos);
      output.append_char(data + pos, length);
      pos += length;
    }
  }
}

void run_stage(const DictionaryGroup& group, std::string_view text, TextBuffer& output) {
  if (!text.empty()) run_stage(group, text.data(), 0, text.size(), is_ascii(text.front()), output);
}

void LaterStages::flush() {
  if (stages_.size() <= 1 || ends_.empty()) return;
  TextBuffer* input = &chunk_;
  for (std::size_t k = 1; k < stages_.size(); ++k) {
    const bool last = k + 1 == stages_.size();
    TextBuffer& target = last ? output_ : (input == &chunk_ ? spare_ : chunk_);
    if (!last) target.clear();
    std::size_t start = 0;
    for (std::size_t& end : ends_) {
      if (end > start) {
        run_stage(stages_[k], input->data(), start, end, is_ascii(input->data()[start]), target);
      }
      start = end;
      if (!last) end = target.size();  // the segment's end in this stage's output
    }
    input = &target;
  }
  chunk_.clear();
  ends_.clear();
}

}  // namespace lumo
