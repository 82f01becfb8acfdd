// The tuning constants of the conversion loops. Each was set by a measurement, named
// beside it: `bench` is `.venv/bin/python benchmarks/bench.py`, `compare` is
// `benchmarks/compare.py`, `engine` is `benchmarks/engine_bench.cc`, all on the
// 2-core development machine. None changes a result, only speed.
#ifndef LUMO_ENGINE_CORE_TUNING_H_
#define LUMO_ENGINE_CORE_TUNING_H_

#include <cstddef>
#include <cstdint>

namespace lumo::tuning {

// Lexicons whose keys start with fewer characters than this leave
// stretches of ordinary text untouched often enough for copying them
// without walks to pay: the shared walk copies untouched stretches after a
// miss (the key-start bitmap scan, engine: jp2t +43%, t2jp +20%), or, with
// single values, where few of their characters convert (see kLongStretch).
// Lexicons with more, like the Simplified-to-Traditional dictionaries (over
// 6 000), always look each character's single value up, since nearly every
// character of running text starts a key there (engine: s2t 186 to 286
// MB/s). Every lexicon a conversion walks keeps single values: a lookup
// costs one load and one XOR, and keeping them even where most characters
// that start keys start longer ones too measured faster (one thread: tw2sp
// +39%, t2hk +29%, hk2sp +25%, jp2t +3%, t2tw and s2tw level).
inline constexpr std::uint32_t kFewKeyStarts = 5000;

// The shared walk switches between scanning for stretches no key starts in
// and converting character by character: scanning pays when at least
// kLongStretch units pass per character converted to another, judged every
// kJudged units; characters are converted at most kBlock units at a time
// (bench: looking every character up instead measured t2tw -24%, t2jp
// -10%).
inline constexpr std::size_t kLongStretch = 16;
inline constexpr std::size_t kJudged = 512;
inline constexpr std::size_t kBlock = 252;

// Later stages run over chunks of this many units of first-stage output,
// which bounds the memory held besides the output.
inline constexpr std::size_t kChunkUnits = std::size_t{1} << 16;

}  // namespace lumo::tuning

#endif  // LUMO_ENGINE_CORE_TUNING_H_
