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
  while (pos < end) {
    if (ascii_led && is_ascii(data[pos])) {
      std::size_t stretch = pos + 1;
      while (stretch < end && is_ascii(data[stretch])) ++stretch;
      output.append(data + pos, stretch - pos);
      pos = stretch;
      continue;
    }
    const LexiconMatch match = group_longest_prefix(group, std::string_view(data + pos, end - pos));
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

void apply_stage(const DictionaryGroup& group, std::string_view text, TextBuffer& output) {
  if (text.empty()) return;
  run_stage(group, text.data(), 0, text.size(), is_ascii(text.front()), output);
}

// Passes output[start ..], a segment's first-stage result, through the
// remaining stages; `scratch` holds the copy each stage reads.
void run_later_stages(const Converter& converter, std::size_t start, TextBuffer& output,
                      TextBuffer& scratch) {
  for (std::size_t k = 1; k < converter.stages.size(); ++k) {
    scratch.clear();
    scratch.append(output.view_from(start));
    output.truncate(start);
    apply_stage(converter.stages[k], scratch.view(), output);
  }
}

void convert_segment(const Converter& converter, std::string_view segment, TextBuffer& output,
                     TextBuffer& scratch) {
  if (converter.stages.empty()) {
    output.append(segment);
    return;
  }
  const std::size_t start = output.size();
  apply_stage(converter.stages.front(), segment, output);
  run_later_stages(converter, start, output, scratch);
}

// Segments and converts with two walks per position: one in the
// segmentation group, then one in each stage.
void convert_generic(const Converter& converter, std::string_view text, TextBuffer& output) {
  TextBuffer scratch;
  if (!converter.segmentation) {
    convert_segment(converter, text, output, scratch);
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
        convert_segment(converter, text.substr(run_start, pos - run_start), output, scratch);
        in_run = false;
      }
      convert_segment(converter, text.substr(pos, match.length), output, scratch);
      pos += match.length;
    } else {
      if (!in_run) {
        run_start = pos;
        in_run = true;
      }
      pos += char_length(data + pos);
    }
  }
  if (in_run) convert_segment(converter, text.substr(run_start), output, scratch);
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
  FusedConversion(const Converter& converter, std::string_view text, TextBuffer& output)
      : converter_(converter),
        segmentation_(*converter.segmentation),
        stage_(converter.stages.front()),
        shared_trie_(stage_.size() == 1 && segmentation_.front().keys() == KeySet::kMarked
                         ? &stage_.front().trie()
                         : nullptr),
        data_(text.data()),
        size_(text.size()),
        output_(output) {}

  void run() {
    std::size_t pos = 0;
    while (pos < size_) {
      const PositionMatch match = match_at(pos);
      if (match.segment_length != 0) {
        if (in_run_) close_run(pos);
        convert_matched_segment(pos, match);
        pos += match.segment_length;
        continue;
      }
      if (!in_run_) open_run(pos);
      if (pos == cursor_) step_in_run(pos, match.stage);
      pos += char_length(data_ + pos);
    }
    if (in_run_) close_run(size_);
  }

 private:
  PositionMatch match_at(std::size_t pos) const {
    if (shared_trie_ == nullptr) return match_both(segmentation_, stage_, data_ + pos, size_ - pos);
    PositionMatch match;
    shared_trie_->walk<true, true>(data_ + pos, size_ - pos, &match.segment_length,
                                   &match.stage.length, &match.stage.value);
    return match;
  }

  void open_run(std::size_t pos) {
    in_run_ = true;
    run_ascii_led_ = is_ascii(data_[pos]);
    run_output_start_ = output_.size();
    cursor_ = pos;
    tentative_end_ = pos;
  }

  // The first stage's step at the run position `pos`.
  void step_in_run(std::size_t pos, const LexiconMatch& match) {
    if (run_ascii_led_ && is_ascii(data_[pos])) {
      output_.append_char(data_ + pos, 1);
      cursor_ = pos + 1;
    } else if (match) {
      tentative_start_ = pos;
      tentative_output_ = output_.size();
      output_.append_padded(match.value.data(), match.value.size());
      cursor_ = tentative_end_ = pos + match.length;
    } else {
      const std::size_t length = char_length(data_ + pos);
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
    run_later_stages(converter_, run_output_start_, output_, scratch_);
  }

  void convert_matched_segment(std::size_t pos, const PositionMatch& match) {
    const std::size_t end = pos + match.segment_length;
    const std::size_t start = output_.size();
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
    run_stage(stage_, data_, next, end, ascii_led, output_);
    run_later_stages(converter_, start, output_, scratch_);
  }

  const Converter& converter_;
  const DictionaryGroup& segmentation_;
  const DictionaryGroup& stage_;
  // The one trie of both groups when each holds just their shared lexicon.
  const LexiconTrie* const shared_trie_;
  const char* const data_;
  const std::size_t size_;
  TextBuffer& output_;
  TextBuffer scratch_;

  bool in_run_ = false;
  bool run_ascii_led_ = false;
  std::size_t run_output_start_ = 0;
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
  if (walks_together(converter)) {
    FusedConversion(converter, text, output).run();
  } else {
    convert_generic(converter, text, output);
  }
}

std::string convert_text(const Converter& converter, std::string_view text) {
  TextBuffer output;
  convert_text_to(converter, text, output);
  return std::string(output.view());
}

}  // namespace lumo
