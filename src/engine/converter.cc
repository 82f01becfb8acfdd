#include "engine/converter.h"

#include "dict/utf8.h"

namespace lumo {
namespace {

bool is_ascii(char byte) { return static_cast<unsigned char>(byte) < 0x80; }

// Appends a matched value, or the character at `text[pos]` when nothing
// matches there; returns the number of input bytes consumed.
std::size_t replace_at(const DictionaryGroup& group, std::string_view text, std::size_t pos,
                       std::string& output) {
  const std::string_view rest = text.substr(pos);
  if (const LexiconMatch match = group_longest_prefix(group, rest)) {
    output.append(match.value);
    return match.length;
  }
  const std::size_t length = utf8_sequence_length(static_cast<unsigned char>(rest.front()));
  output.append(rest.data(), length);
  return length;
}

// Passes one segment through every stage. With two or more stages the
// intermediate text lives at the end of `output`; `scratch` holds the copy
// a stage reads from.
void convert_segment(const Converter& converter, std::string_view segment, std::string& output,
                     std::string& scratch) {
  const std::vector<DictionaryGroup>& stages = converter.stages;
  if (stages.empty()) {
    output.append(segment);
    return;
  }
  if (stages.size() == 1) {
    apply_stage(stages.front(), segment, output);
    return;
  }
  const std::size_t start = output.size();
  output.append(segment);
  for (const DictionaryGroup& stage : stages) {
    scratch.assign(output, start);
    output.resize(start);
    apply_stage(stage, scratch, output);
  }
}

}  // namespace

void apply_stage(const DictionaryGroup& group, std::string_view text, std::string& output) {
  const std::size_t size = text.size();
  if (size == 0) return;
  std::size_t pos = 0;
  if (is_ascii(text.front())) {
    while (pos < size) {
      std::size_t end = pos;
      while (end < size && is_ascii(text[end])) ++end;
      output.append(text.data() + pos, end - pos);
      pos = end;
      if (pos == size) break;
      pos += replace_at(group, text, pos, output);
    }
    return;
  }
  while (pos < size) pos += replace_at(group, text, pos, output);
}

std::string convert_text(const Converter& converter, std::string_view text) {
  const std::size_t size = text.size();
  std::string output;
  output.reserve(size + size / 5);
  std::string scratch;
  if (!converter.segmentation) {
    convert_segment(converter, text, output, scratch);
    return output;
  }
  const DictionaryGroup& segmentation = *converter.segmentation;
  std::size_t pos = 0;
  std::size_t run_start = 0;
  bool in_run = false;
  while (pos < size) {
    const LexiconMatch match = group_longest_prefix(segmentation, text.substr(pos));
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
      pos += utf8_sequence_length(static_cast<unsigned char>(text[pos]));
    }
  }
  if (in_run) convert_segment(converter, text.substr(run_start), output, scratch);
  return output;
}

}  // namespace lumo
