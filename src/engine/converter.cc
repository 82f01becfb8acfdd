#include "engine/converter.h"

#include "dict/utf8.h"

namespace lumo {
namespace {

static_assert(TextBuffer::kSlack <= LexiconTrie::kValuePadding,
              "values are copied with append_padded");

bool is_ascii(char byte) { return static_cast<unsigned char>(byte) < 0x80; }

std::size_t char_length(const char* at) {
  return utf8_sequence_length(static_cast<unsigned char>(*at));
}

// Runs one stage over data[pos, end), a tail of one stage input whose first
// byte decided `ascii_led`. Lookups see nothing past `end`.
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
      std::size_t stretch = pos;
      while (stretch < end) {
        std::size_t length = 0;
        const char32_t code_point = utf8_decode(data + stretch, &length);
        if ((!ascii_led || code_point >= 0x80) && trie->may_start_key(code_point)) break;
        stretch += length;
      }
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

// Runs one stage over a whole stage input.
void run_stage(const DictionaryGroup& group, std::string_view text, TextBuffer& output) {
  if (!text.empty()) run_stage(group, text.data(), 0, text.size(), is_ascii(text.front()), output);
}

// Receives each segment's first-stage result and passes it through the
// later stages. These run over a chunk of many segments at once, cut at the
// recorded segment ends, so that no lookup crosses a segment and no segment
// is copied on its own; a chunk is flushed once it passes kChunkBytes, which
// bounds the memory held besides the output.
class LaterStages {
 public:
  static constexpr std::size_t kChunkBytes = std::size_t{1} << 16;

  LaterStages(const Converter& converter, TextBuffer& output)
      : stages_(converter.stages), output_(output) {}

  // Where the first stage writes.
  TextBuffer& first_stage_output() { return stages_.size() > 1 ? chunk_ : output_; }

  // Marks the end of a segment in the first stage's output.
  void end_segment() {
    if (stages_.size() <= 1) return;
    ends_.push_back(chunk_.size());
    if (chunk_.size() >= kChunkBytes) flush();
  }

  // Passes every finished segment through the later stages into the output.
  void flush() {
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

 private:
  const std::vector<DictionaryGroup>& stages_;
  TextBuffer& output_;
  TextBuffer chunk_;
  TextBuffer spare_;
  std::vector<std::size_t> ends_;
};

// Segments and converts with two walks per position: one in the
// segmentation group, then one in each stage.
void convert_generic(const Converter& converter, std::string_view text, LaterStages& later) {
  const auto convert_segment = [&](std::string_view segment) {
    TextBuffer& first = later.first_stage_output();
    if (converter.stages.empty()) {
      first.append(segment);
    } else {
      run_stage(converter.stages.front(), segment, first);
    }
    later.end_segment();
  };
  if (!converter.segmentation) {
    convert_segment(text);
    return;
  }
  const DictionaryGroup& segmentation = *converter.segmentation;
  const char* const data = text.data();
  const std::size_t size = text.size();
  std::size_t pos = 0;
  std::size_t run_start = 0;
  bool in_run = false;
  while (pos < size) {
    const LexiconMatch match =
        group_longest_prefix(segmentation, std::string_view(data + pos, size - pos));
    if (match) {
      if (in_run) {
        convert_segment(text.substr(run_start, pos - run_start));
        in_run = false;
      }
      convert_segment(text.substr(pos, match.length));
      pos += match.length;
    } else {
      if (!in_run) {
        run_start = pos;
        in_run = true;
      }
      pos += char_length(data + pos);
    }
  }
  if (in_run) convert_segment(text.substr(run_start));
}

// Whether every lexicon of the segmentation group shares its trie with the
// first stage's lexicon at the same place, so one walk serves both.
bool walks_together(const Converter& converter) {
  if (!converter.segmentation || converter.stages.empty()) return false;
  const DictionaryGroup& segmentation = *converter.segmentation;
  const DictionaryGroup& stage = converter.stages.front();
  if (segmentation.empty() || segmentation.size() != stage.size()) return false;
  for (std::size_t i = 0; i < stage.size(); ++i) {
    if (!stage[i].shares_trie_with(segmentation[i])) return false;
  }
  return true;
}

// The segmentation group's match length and the first stage group's match
// at one position, found with one walk per lexicon.
struct PositionMatch {
  std::size_t segment_length = 0;
  LexiconMatch stage;
};

PositionMatch match_both(const DictionaryGroup& segmentation, const DictionaryGroup& stage,
                         const char* text, std::size_t size) {
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

// Segments and runs the first stage in one pass, with one walk per position
// answering both. Inside a run the first stage's match at a position is the
// unbounded one; it is written at once but stays tentative until the scan
// has passed its end without finding a segment start (which would cut the
// run, and the match, short): then it is rewritten with the run's bounds.
class FusedConversion {
 public:
  FusedConversion(const Converter& converter, std::string_view text, LaterStages& later)
      : segmentation_(*converter.segmentation),
        stage_(converter.stages.front()),
        shared_trie_(stage_.size() == 1 && segmentation_.front().keys() == KeySet::kMarked
                         ? &stage_.front().trie()
                         : nullptr),
        sparse_(shared_trie_ != nullptr && shared_trie_->nodes[0].children() < kSparseKeyStarts),
        data_(text.data()),
        size_(text.size()),
        later_(later),
        output_(later.first_stage_output()) {}

  void run() {
    std::size_t pos = 0;
    // The character at `pos`, decoded once: the walk at one position
    // usually decodes the next position's character already.
    std::size_t length = 0;
    char32_t code_point = size_ > 0 ? utf8_decode(data_, &length) : 0;
    while (pos < size_) {
      LexiconTrie::Walk walk;
      const PositionMatch match = match_at(pos, code_point, length, &walk);
      std::size_t next = pos + length;
      if (match.segment_length != 0) {
        if (in_run_) close_run(pos);
        convert_matched_segment(pos, match);
        next = pos + match.segment_length;
      } else {
        if (!in_run_) open_run(pos);
        const bool copied = pos == cursor_ && !match.stage;
        if (pos == cursor_) step_in_run(pos, length, match.stage);
        if (copied && sparse_) next = copy_untouchable(next);
      }
      if (next == pos + length && walk.second_length != 0) {
        code_point = walk.second;
        length = walk.second_length;
      } else if (next < size_) {
        code_point = utf8_decode(data_ + next, &length);
      }
      pos = next;
    }
    if (in_run_) close_run(size_);
  }

 private:
  // Both answers at `pos`, whose character is `code_point`; `*walk` gets
  // the shared trie's walk, when there is one.
  PositionMatch match_at(std::size_t pos, char32_t code_point, std::size_t length,
                         LexiconTrie::Walk* walk) const {
    if (shared_trie_ == nullptr) return match_both(segmentation_, stage_, data_ + pos, size_ - pos);
    *walk = shared_trie_->walk_from<true, true>(code_point, length, data_ + pos, size_ - pos);
    return {walk->marked, {walk->valued, walk->value}};
  }

  // In a run, after a character nothing matched, copies at once the
  // characters from `pos` on that no key starts with (each would be copied
  // alone otherwise); returns where they end. Worth it only where few
  // characters start keys.
  std::size_t copy_untouchable(std::size_t pos) {
    const std::size_t start = pos;
    while (pos < size_) {
      std::size_t length = 0;
      if (shared_trie_->may_start_key(utf8_decode(data_ + pos, &length))) break;
      pos += length;
    }
    output_.append(data_ + start, pos - start);
    cursor_ = pos;
    return pos;
  }

  void open_run(std::size_t pos) {
    in_run_ = true;
    run_ascii_led_ = is_ascii(data_[pos]);
    cursor_ = pos;
    tentative_end_ = pos;
  }

  // The first stage's step at the run position `pos`, whose character is
  // `length` bytes long.
  void step_in_run(std::size_t pos, std::size_t length, const LexiconMatch& match) {
    if (run_ascii_led_ && is_ascii(data_[pos])) {
      output_.append_char(data_ + pos, 1);
      cursor_ = pos + 1;
    } else if (match) {
      if (match.length > length) {  // only a longer match can be cut short
        tentative_start_ = pos;
        tentative_output_ = output_.size();
        tentative_end_ = pos + match.length;
      }
      output_.append_padded(match.value.data(), match.value.size());
      cursor_ = pos + match.length;
    } else {
      output_.append_char(data_ + pos, length);
      cursor_ = pos + length;
    }
  }

  void close_run(std::size_t end) {
    if (tentative_end_ > end) {
      output_.truncate(tentative_output_);
      run_stage(stage_, data_, tentative_start_, end, run_ascii_led_, output_);
    }
    in_run_ = false;
    later_.end_segment();
  }

  void convert_matched_segment(std::size_t pos, const PositionMatch& match) {
    const std::size_t end = pos + match.segment_length;
    const bool ascii_led = is_ascii(data_[pos]);
    std::size_t next = pos;
    if (!ascii_led && match.stage.length <= match.segment_length) {
      if (match.stage) {
        output_.append_padded(match.stage.value.data(), match.stage.value.size());
        next += match.stage.length;
      } else {
        const std::size_t length = char_length(data_ + pos);
        output_.append_char(data_ + pos, length);
        next += length;
      }
    }
    if (next < end) run_stage(stage_, data_, next, end, ascii_led, output_);
    later_.end_segment();
  }

  const DictionaryGroup& segmentation_;
  const DictionaryGroup& stage_;
  // Dictionaries whose keys start with fewer characters than this leave
  // long stretches of ordinary text untouched.
  static constexpr std::uint32_t kSparseKeyStarts = 2048;

  // The one trie of both groups when each holds just their shared lexicon.
  const LexiconTrie* const shared_trie_;
  const bool sparse_;
  const char* const data_;
  const std::size_t size_;
  LaterStages& later_;
  TextBuffer& output_;  // the first stage's

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

void convert_text_to(const Converter& converter, std::string_view text, TextBuffer& output) {
  output.reserve(output.size() + text.size() + text.size() / 5);
  LaterStages later(converter, output);
  if (walks_together(converter)) {
    FusedConversion(converter, text, later).run();
  } else {
    convert_generic(converter, text, later);
  }
  later.flush();
}

std::string convert_text(const Converter& converter, std::string_view text) {
  TextBuffer output;
  convert_text_to(converter, text, output);
  return std::string(output.view());
}

}  // namespace lumo
