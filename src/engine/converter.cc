#include "engine/converter.h"

#include "engine/fused_conversion.h"
#include "engine/stage_runner.h"

namespace lumo {
namespace {

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

}  // namespace

void convert_text_to(const Converter& converter, std::string_view text, TextBuffer& output) {
  output.reserve(output.size() + text.size() + text.size() / 5);
  LaterStages later(converter, output);
  if (walks_together(converter)) {
    convert_fused(converter, text, later);
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
