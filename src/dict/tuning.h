// The tuning constants of the dictionaries' tries, indexes and build memory.
// Each was set by a measurement, named beside it: `bench` is
// `.venv/bin/python benchmarks/bench.py`, `compare` is `benchmarks/compare.py`,
// `engine` is `benchmarks/engine_bench.cc`, all on the 2-core development
// machine. None changes a result, only speed.
#ifndef LUMO_DICT_TUNING_H_
#define LUMO_DICT_TUNING_H_

#include <cstddef>
#include <cstdint>

namespace lumo::tuning {

// Edge filter bits per edge below the root: 20 keep false positives near
// 5%, and measured faster than fewer (engine: 8 to 16 bits all slower).
inline constexpr std::uint32_t kFilterBitsPerEdge = 20;

// Pair filter bits per edge below the root (the pair filter holds only the
// edges leaving the root's children, about 40% of them in the largest
// dictionaries): engine, s2t +10% and t2s +20% against one filter for all
// edges; 64 bits measured no faster.
inline constexpr std::uint64_t kPairFilterBitsPerEdge = 16;

// Lexicons with a key longer than this many bytes get a LongKeyIndex. A
// walk costs up to the longest key per position; the index a few hash
// lookups per character, whatever the keys (benchmarks/long_keys.py).
inline constexpr std::size_t kLongKeyBytes = 256;

// Positions a LongKeyIndex answers for in one go, at least: filling a
// window costs its length plus the longest key's.
inline constexpr std::size_t kLongKeyWindowUnits = std::size_t{1} << 14;

// Lexicons with an index walk while their walks read past their matches
// no more than kLongKeyEarning units per unit the scan moves on, with up to
// kLongKeyCredit units in hand; beyond that, a window of the index
// answers. Ordinary text, and keys that match where they are followed,
// thus stay near walk speed (benchmarks/long_keys.py: a key costs about
// twice none where the text follows it to its end, since such converters
// walk group by group, and 8 to 9 times where the text follows a key from
// every position without matching it, where walks alone cost about 2 000
// times).
inline constexpr std::size_t kLongKeyEarning = 4;
inline constexpr std::size_t kLongKeyCredit = std::size_t{1} << 12;

// The pool of kept build blocks keeps freed blocks from kKeptBlockBytes
// on, kKeptBytes in all. An s2t build frees 1.6 MB of scratch blocks, and
// once its converter is gone the pool holds 4.6 MB (s2twp, the largest,
// 4.8 MB), so the cap holds a whole build (engine). Without the pool,
// lumo.convert on 20 characters takes about half as long again (bench:
// s2t one-shot 2.2 against 3.2 ms).
inline constexpr std::size_t kKeptBlockBytes = 64 * 1024;
inline constexpr std::size_t kKeptBytes = 8 * 1024 * 1024;

// Tables that start all zeros (the root table's page numbers, 68 KB, and
// single values, 256 KB, per lexicon) are mapped apart from the heap, so
// that only their written pages count, and kept once freed, up to this many
// bytes: enough for the tables of any one converter. Kept, their written
// pages are not faulted in again by the next build (lower quartile of 200
// builds: t2jp 0.022 ms kept against 0.064 mapped afresh, jp2t 0.031 against
// 0.076); as heap blocks, calloc would write every page of the page-number
// table (anonymous memory of a t2jp build 272 KB against 332).
inline constexpr std::size_t kKeptZeroedBytes = 2 * 1024 * 1024;

}  // namespace lumo::tuning

#endif  // LUMO_DICT_TUNING_H_
