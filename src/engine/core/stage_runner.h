// Running conversion stages over segments: the stage loop shared by every
// conversion path, and the collector that passes first-stage results
// through the later stages. Internal to the engine.
#ifndef LUMO_ENGINE_CORE_STAGE_RUNNER_H_
#define LUMO_ENGINE_CORE_STAGE_RUNNER_H_

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <vector>

#include "dict/dictionary_group.h"
#include "dict/text_units.h"
#include "engine/core/converter.h"
#include "engine/core/text_buffer.h"
#include "engine/core/tuning.h"

namespace lumo {

// Runs one stage over data[pos, end), a tail of one stage input whose first
// unit decided `ascii_led`. Lookups see nothing past `end`. Text is UTF-8
// (char), UTF-16 (std::uint16_t) or UTF-32 (std::uint32_t).
template <typename Unit>
void run_stage(const DictionaryGroup& group, const StagePlan& plan, const Unit* data,
               std::size_t pos, std::size_t end, bool ascii_led, BasicTextBuffer<Unit>& output);

// Converts the characters from data[pos] on by their single values in
// `trie` (see LexiconTrie::single_at) while these stand, where the text
// ends at `end`: those that start in the next tuning::kBlock units. Moves
// `pos` past them; sets `*walk` if it stopped at a character that needs a
// walk. Returns how many converted to other characters. kEveryPair: see
// LexiconTrie::single_at.
template <bool kEveryPair, typename Unit>
std::size_t convert_single_block(const LexiconTrie& trie, const Unit* data, std::size_t& pos,
                                 std::size_t end, BasicTextBuffer<Unit>& output, bool* walk) {
  // A character converted alone is at most twice as long as it was (a
  // value is one character; a character of one unit converts to one of at
  // most two, but in UTF-8, where one of one unit is ASCII and stays); the
  // last one may end three units past the block.
  static_assert(2 * (tuning::kBlock + 3) <= BasicTextBuffer<Unit>::kMaxRoom);
  const std::size_t stop = pos + std::min(tuning::kBlock, end - pos);
  Unit* out = output.room_for(2 * (stop - pos + 3));
  std::size_t converted = 0;
  // With kEveryPair, each character after the first was decoded as the one
  // after its predecessor (which is not the last of the text, since `pos`
  // is then before `stop`).
  std::size_t length = 0;
  char32_t code_point = kEveryPair ? decode_char(data + pos, &length) : 0;
  while (pos < stop) {
    if constexpr (!kEveryPair) {
      if constexpr (sizeof(Unit) == 2) {
        // Read as a unit: a high surrogate's single value is kWalk.
        code_point = data[pos];
        length = 1;
      } else {
        code_point = decode_char(data + pos, &length);
      }
    }
    char32_t next = 0;
    std::size_t next_length = 0;
    const std::uint32_t single =
        trie.single_at<kEveryPair>(data, pos, end, code_point, length, &next, &next_length);
    if (single == LexiconTrie::kWalk) {
      *walk = true;
      break;
    }
    converted += single != code_point;
    out = encode_char(single, out);
    pos += length;
    if constexpr (kEveryPair) {
      code_point = next;
      length = next_length;
    }
  }
  output.keep_until(out);
  return converted;
}

// Receives each segment's first-stage result and passes it through the
// later stages. These run over a chunk of many segments at once, cut at the
// recorded segment ends, so that no lookup crosses a segment and no segment
// is copied on its own; a chunk is flushed once it passes tuning::kChunkUnits, which
// bounds the memory held besides the output. Allocates nothing that can
// throw: running short of memory leaves the output failed().
template <typename Unit>
class LaterStages {
 public:
  LaterStages(const Converter& converter, const ConversionPlan& plan, BasicTextBuffer<Unit>& output)
      : stages_(converter.stages), plans_(plan.stages), output_(output) {}

  // Where the first stage writes.
  BasicTextBuffer<Unit>& first_stage_output() { return stages_.size() > 1 ? chunk_ : output_; }

  // Marks the end of a segment in the first stage's output.
  void end_segment() {
    if (stages_.size() <= 1) return;
    const std::size_t end = chunk_.size();
    ends_.append(&end, 1);
    if (chunk_.size() >= tuning::kChunkUnits) flush();
  }

  // Passes every finished segment through the later stages into the output;
  // where memory ran short on the way, marks the output failed instead.
  void flush();

 private:
  const std::vector<DictionaryGroup>& stages_;
  const std::vector<StagePlan>& plans_;
  BasicTextBuffer<Unit>& output_;
  BasicTextBuffer<Unit> chunk_;
  BasicTextBuffer<Unit> spare_;
  BasicTextBuffer<std::size_t> ends_;  // of the segments in chunk_
};

}  // namespace lumo

#endif  // LUMO_ENGINE_CORE_STAGE_RUNNER_H_
