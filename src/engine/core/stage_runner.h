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

// How convert_single_block reads text: a character at a time; UTF-16 a
// unit at a time (kByUnit, StagePlan::utf16_units); or UTF-8 two
// three-byte characters at a time where it can (kByWord,
// StagePlan::utf8_words: convert_three_byte_run). A form a way is not
// for is read a character at a time.
enum class UnitReading : unsigned char { kByCharacter, kByUnit, kByWord };

// Converts by their single values the three-byte characters of UTF-8 at
// `text`, two at a time, while they stand; one that longer keys start
// with is tested against the pair filter with the character after it, as
// single_at() tests it with either PairTest. A pair's word and the next
// one are read and decoded together, and the next one is carried to the
// following step, so that each character is read and decoded once. Pairs
// start before `limit` bytes, where the eight bytes of their word and of
// the next one can be read; `out` has room for as many bytes as it
// converts. A pair whose second character cannot be told to stand (it
// needs a walk, or a longer key may start with it, or the character after
// it is not of three bytes while longer keys start with it) converts its
// first only. Returns how many bytes it converted, a multiple of 3, maybe
// 0; sets `*walk` if it stopped at a character that needs a walk;
// `*converted` counts the characters converted to others.
inline std::size_t convert_three_byte_run(const LexiconTrie::SingleLookup& singles,
                                          const unsigned char* text, std::size_t limit,
                                          unsigned char* out, std::size_t* converted, bool* walk) {
  std::uint64_t word = utf8_load_word(text);
  if (!utf8_word_holds_two_threes(word)) return 0;
  std::uint64_t pair = utf8_decode_three_pair(word);
  std::size_t done = 0;
  std::size_t changed = 0;
  while (done < limit) {
    const std::uint64_t next_word = utf8_load_word(text + done + 6);
    const std::uint64_t next_pair = utf8_decode_three_pair(next_word);
    const auto first = static_cast<char32_t>(pair & 0xFFFF);
    const auto second = static_cast<char32_t>(pair >> 24);
    // Both below U+10000: within the table, which sends those past the
    // single values to the character-by-character way.
    std::uint32_t first_single = singles.three_byte_singles[first];
    std::uint32_t second_single = singles.three_byte_singles[second];
    std::size_t count = 6;
    if (((first_single | second_single) & LexiconTrie::kExtended) != 0) {  // kWalk too
      if ((first_single & LexiconTrie::kExtended) != 0) {
        if (first_single == LexiconTrie::kWalk || singles.may_have_pair(first, second)) {
          *walk = true;
          break;
        }
        first_single &= ~LexiconTrie::kExtended;
      }
      if ((second_single & LexiconTrie::kExtended) != 0) {
        // Only a three-byte character after it was decoded.
        const bool third_of_three = (next_word & 0xF0) == 0xE0;
        if (second_single == LexiconTrie::kWalk || !third_of_three ||
            singles.may_have_pair(second, static_cast<char32_t>(next_pair & 0xFFFF))) {
          // Where the next character is not of three bytes, the
          // character-by-character way tells whether the second stands.
          *walk = third_of_three;
          second_single = 0;  // the second is written as it was, and dropped
          count = 3;
        } else {
          second_single &= ~LexiconTrie::kExtended;
        }
      }
    }
    changed += (first_single != 0) + (second_single != 0);
    // The XORs are spread as the bytes lie: the word of the results is the
    // word read XOR both.
    const std::uint64_t xors = first_single | (std::uint64_t{second_single} << 24);
    utf8_store_word(word ^ xors, count, out + done);
    done += count;
    if (count != 6 || !utf8_word_holds_two_threes(next_word)) break;
    word = next_word;
    pair = next_pair;
  }
  *converted += changed;
  return done;
}

// Converts the characters from data[pos] on by their single values in
// `trie` (see LexiconTrie::single_at) while these stand, where the text
// ends at `end`: those that start in the next tuning::kBlock units. Moves
// `pos` past them; sets `*walk` if it stopped at a character that needs a
// walk. Returns how many converted to other characters. With
// PairTest::kEveryCharacter, characters read one at a time are read as the
// pairs' second ones.
template <PairTest kPairs, UnitReading kReading, typename Unit>
std::size_t convert_single_block(const LexiconTrie& trie, const Unit* data, std::size_t& pos,
                                 std::size_t end, BasicTextBuffer<Unit>& output, bool* walk) {
  constexpr bool kEveryPair = kPairs == PairTest::kEveryCharacter;
  // A character converted alone is at most twice as long as it was (a
  // value is one character; a character of one unit converts to one of at
  // most two, but in UTF-8, where one of one unit is ASCII and stays); the
  // last one may end three units past the block.
  static_assert(2 * (tuning::kBlock + 3) <= BasicTextBuffer<Unit>::kMaxRoom);
  // The tables' addresses in locals, not read from `trie`, which writes of
  // UTF-8 through char pointers would make the loop reload.
  const LexiconTrie::SingleLookup singles = trie.single_lookup();
  const std::size_t stop = pos + std::min(tuning::kBlock, end - pos);
  Unit* out = output.room_for(2 * (stop - pos + 3));
  std::size_t converted = 0;
  // With kByWord, a pair's six bytes lie before `stop`, and its word's
  // eight and the next pair's before `end`.
  constexpr bool kByWord = sizeof(Unit) == 1 && kReading == UnitReading::kByWord;
  constexpr std::size_t kRunBytes = 6 + 8;  // a pair's six, the next word's eight
  const std::size_t words_end =
      kByWord && end >= kRunBytes && stop >= 6 ? std::min(end - kRunBytes + 1, stop - 5) : 0;
  // With kEveryPair, each character after the first was decoded as the one
  // after its predecessor (which is not the last of the text, since `pos`
  // is then before `stop`).
  std::size_t length = 0;
  char32_t code_point = kEveryPair ? decode_char(data + pos, &length) : 0;
  while (pos < stop) {
    if constexpr (kByWord) {
      if (pos < words_end) {
        const std::size_t run = convert_three_byte_run(
            singles, reinterpret_cast<const unsigned char*>(data + pos), words_end - pos,
            reinterpret_cast<unsigned char*>(out), &converted, walk);
        pos += run;
        out += run;
        if (*walk) break;
        if (run != 0) {
          // The character-by-character way carries the next character.
          if constexpr (kEveryPair) {
            if (pos < stop) code_point = decode_char(data + pos, &length);
          }
          continue;
        }
      }
    }
    if constexpr (kByWord) {
      // ASCII characters no key starts with (single value 0: they stay)
      // are copied here, rather than each paying a word's read first.
      const std::size_t start = pos;
      while (pos < stop && is_ascii_unit(data[pos]) &&
             singles.single_values[static_cast<unsigned char>(data[pos])] == 0) {
        *out++ = data[pos++];
      }
      if (pos != start) {
        if constexpr (kEveryPair) {
          if (pos < stop) code_point = decode_char(data + pos, &length);
        }
        continue;
      }
    }
    if constexpr (!kEveryPair) {
      if constexpr (sizeof(Unit) == 2 && kReading == UnitReading::kByUnit) {
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
        singles.single_at<kPairs>(data, pos, end, code_point, length, &next, &next_length);
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

// Appends data[0, count) to `output`, where `readable` units (`count` or
// more) can be read, with one fixed-size move for a short count where
// `short_copies` says so.
template <typename Unit>
void append_stretch(bool short_copies, const Unit* data, std::size_t count, std::size_t readable,
                    BasicTextBuffer<Unit>& output) {
  if (short_copies) {
    output.append_readable(data, count, readable);
  } else {
    output.append(data, count);
  }
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
  BasicTextBuffer<Unit>& first_stage_output() { return has_later() ? chunk_ : output_; }

  // Marks the end of a segment in the first stage's output.
  void end_segment() {
    if (!has_later()) return;
    const std::size_t end = chunk_.size();
    ends_.append(&end, 1);
    if (chunk_.size() >= tuning::kChunkUnits) flush_segments();
  }

  // Passes every finished segment through the later stages into the output;
  // where memory ran short on the way, marks the output failed instead.
  // Nothing to do, and inlined, where the converter has one stage or none.
  void flush() {
    if (has_later()) flush_segments();
  }

 private:
  bool has_later() const { return stages_.size() > 1; }
  void flush_segments();

  const std::vector<DictionaryGroup>& stages_;
  const std::vector<StagePlan>& plans_;
  BasicTextBuffer<Unit>& output_;
  BasicTextBuffer<Unit> chunk_;
  BasicTextBuffer<Unit> spare_;
  BasicTextBuffer<std::size_t> ends_;  // of the segments in chunk_
};

}  // namespace lumo

#endif  // LUMO_ENGINE_CORE_STAGE_RUNNER_H_
