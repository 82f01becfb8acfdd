// The tuning constants of whole-text conversion: pieces, cuts, streams and
// worker threads. Each was set by a measurement, named beside it: `bench` is
// `.venv/bin/python benchmarks/bench.py`, `compare` is `benchmarks/compare.py`,
// `engine` is `benchmarks/engine_bench.cc`, all on the 2-core development
// machine. None changes a result, only speed.
#ifndef LUMO_ENGINE_WHOLE_TUNING_H_
#define LUMO_ENGINE_WHOLE_TUNING_H_

#include <chrono>
#include <cstddef>

namespace lumo::tuning {

// A piece of a text converted on a thread of its own is at least this many
// characters: starting a thread costs about as much as converting a few
// thousand (compare: s2t 371 MB/s on two threads, about 200 on one).
inline constexpr std::size_t kPieceCharacters = std::size_t{1} << 16;

// A batch of rows is read, converted and written out in rounds of this
// many units (plus one per row) per thread: a round's rows, results and
// result objects then stay in a core's 2 MB cache from one step to the
// next (columns: 200 000 sentences of 58 bytes, one thread, t2s 0.36 to
// 0.45 of a joined convert, s2t 0.49 to 0.54). Twice a piece, so that a
// round on threads gives each a piece.
inline constexpr std::size_t kBatchRoundUnits = 2 * kPieceCharacters;

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

// A column converts in rounds of about this many bytes of rows per thread:
// a round's results then stay in a core's cache until they are copied into
// the column's output, and what a conversion holds beyond the input and
// the output stays small, while starting a round's threads costs a few
// hundredths of its time (benchmarks/columns.py, 200 000 sentences, one
// thread: rounds of 256 KiB and of 4 MiB alike within the noise, 0.55 to
// 0.66 of a joined convert).
inline constexpr std::size_t kColumnRoundBytes = std::size_t{1} << 18;

// A round reads its rows this many at a time (ColumnRows::read_rows) while
// it finds where it ends: one call for many rows, a few KiB of views at
// once (callgrind, 20 000 t2s sentences: with the row ends written in
// place, 1 426 to 1 277 instructions a row in convert_column).
inline constexpr std::size_t kColumnRowsRead = 256;

// How long a waiting thread spins before it sleeps: a sleeping thread takes
// a tenth of a millisecond or more to wake, about a whole build of a small
// converter (bench: a first s2t build takes 2.8 ms; docs/design.md, section
// 6, says what share of that the spin holds).
inline constexpr std::chrono::microseconds kSpinTime{250};

}  // namespace lumo::tuning

#endif  // LUMO_ENGINE_WHOLE_TUNING_H_
