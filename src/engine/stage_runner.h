// Running conversion stages over segments: the stage loop shared by every
// conversion path, and the collector that passes first-stage results
// through the later stages. Internal to the engine.
#ifndef LUMO_ENGINE_STAGE_RUNNER_H_
#define LUMO_ENGINE_STAGE_RUNNER_H_

#include <cstddef>
#include <string_view>
#include <vector>

#include "dict/dictionary_group.h"
#include "dict/utf8.h"
#include "engine/converter.h"
#include "engine/text_buffer.h"

namespace lumo {

inline bool is_ascii(char byte) { return static_cast<unsigned char>(byte) < 0x80; }

inline std::size_t char_length(const char* at) {
  return utf8_sequence_length(static_cast<unsigned char>(*at));
}

// Runs one stage over data[pos, end), a tail of one stage input whose first
// byte decided `ascii_led`. Lookups see nothing past `end`.
void run_stage(const DictionaryGroup& group, const char* data, std::size_t pos, std::size_t end,
               bool ascii_led, TextBuffer& output);

// Runs one stage over a whole stage input.
void run_stage(const DictionaryGroup& group, std::string_view text, TextBuffer& output);

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
  void flush();

 private:
  const std::vector<DictionaryGroup>& stages_;
  TextBuffer& output_;
  TextBuffer chunk_;
  TextBuffer spare_;
  std::vector<std::size_t> ends_;
};

}  // namespace lumo

#endif  // LUMO_ENGINE_STAGE_RUNNER_H_
