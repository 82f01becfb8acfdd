// The tuning constants of building and conversion, in one place. Each was
// set by a measurement, named beside it: `bench` is
// `.venv/bin/python benchmarks/bench.py`, `compare` is
// `benchmarks/compare.py`, `engine` is `benchmarks/engine_bench.cc`, all on
// the 2-core development machine. None changes a result, only speed.
#ifndef LUMO_DICT_TUNING_H_
#define LUMO_DICT_TUNING_H_

#include <chrono>
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
// character of running text starts a key there (engine: s2t 286 MB/s, 186
// walking). Every lexicon a conversion walks keeps single values, since a
// lookup costs one load and one XOR: even where most characters that start
// keys start longer ones too, looking up measures faster than walking (one
// thread: tw2sp +39%, t2hk +29%, hk2sp +25%, jp2t +3%, t2tw and s2tw
// level).
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

// Edge filter bits per edge below the root: 20 keep false positives near
// 5%, and measured faster than fewer (engine: 8 to 16 bits all slower).
inline constexpr std::uint32_t kFilterBitsPerEdge = 20;

// Pair filter bits per edge below the root (the pair filter holds only the
// edges leaving the root's children, about 40% of them in the largest
// dictionaries): engine, s2t +10% and t2s +20% against one filter for all
// edges; 64 bits measured no faster.
inline constexpr std::uint64_t kPairFilterBitsPerEdge = 16;

// Later stages run over chunks of this many units of first-stage output,
// which bounds the memory held besides the output.
inline constexpr std::size_t kChunkUnits = std::size_t{1} << 16;

// A piece of a text converted on a thread of its own is at least this many
// characters: starting a thread costs about as much as converting a few
// thousand (compare: s2t 371 MB/s on two threads, about 200 on one).
inline constexpr std::size_t kPieceCharacters = std::size_t{1} << 16;

// How far past its planned place a cut is looked for, in units; in running
// text one is usually found within a few characters, at most within a
// paragraph.
inline constexpr std::size_t kCutSearchUnits = std::size_t{1} << 14;

// A text converted as it arrives looks for its last cut in the last this
// many units first, then in windows twice as wide each time; and its search
// may spend this many units of work per unit that arrived, plus
// kCutSearchUnits. In running text a cut is a few characters back.
inline constexpr std::size_t kStreamCutWindow = 256;
inline constexpr std::size_t kStreamCutWork = 16;

// The work a cut search may spend is the planned piece's length over this:
// a plan then costs at most a thirty-second of the text's length in walk
// steps, however long the keys (benchmarks/long_keys.py: threaded calls at
// 0.96 to 1.05 of one thread next to keys of 5 000 to 10^6 characters).
inline constexpr std::size_t kCutWorkShare = 32;

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
// bytes: enough for the tables of any one converter. Mapped afresh for each
// build, their written pages would be faulted in every time (lower quartile
// of 200 builds: t2jp 0.064 against 0.022 ms kept, jp2t 0.076 against
// 0.031); as heap blocks, calloc would write every page of the page-number
// table (anonymous memory of a t2jp build 332 against 272 KB).
inline constexpr std::size_t kKeptZeroedBytes = 2 * 1024 * 1024;

// Dictionary texts from this size on are built on two threads, when there
// are two (bench: s2t build 3.2 to 1.6 ms).
inline constexpr std::size_t kTwoThreadTextBytes = std::size_t{1} << 19;

// How long a waiting thread spins before it sleeps: a sleeping thread takes
// a tenth of a millisecond or more to wake, about a whole build of a small
// converter (bench: a first s2t build, on two threads, takes 2.8 ms).
inline constexpr std::chrono::microseconds kSpinTime{250};

}  // namespace lumo::tuning

#endif  // LUMO_DICT_TUNING_H_
