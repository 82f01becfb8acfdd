// Text streams: a text that arrives in chunks and is converted piece by
// piece as it comes, the pieces joining into exactly the conversion of the
// whole.
//
// A stream holds the text that has arrived but is not yet converted, as
// UTF-16 (TextStream, fed code points) or as UTF-8 (Utf8TextStream, fed
// bytes it checks). After each chunk, everything before the last safe cut
// that later text cannot move (text_cuts.h) is ready: it converts by
// itself, and the stream keeps only what follows. In running text that is
// at most the longest key plus a few characters, so the memory held is
// bounded by the chunk size and the keys. Where no cut lies near the end,
// the held text is segmented from its start (last_run_cut). A stretch with
// no cut at all (nothing the segmentation matches, and every character held
// by some key, or the ASCII-led rule against each quiet cut) is held until
// a cut or the end comes, up to the stream's bound: past it, the stream
// reports that it can go no further.
//
// A stream made with prefixed cuts also cuts inside runs under converters
// whose stage keys start with ASCII, just after a character no key holds,
// the very end of the text arrived included (a prefixed quiet cut,
// text_cuts.h). It then keeps the run's prefix in front of the text that
// follows the cut, so that units() is the next piece with the prefix at its
// front, and the caller drops the prefix's conversion, of
// dropped_code_points() characters or dropped_utf8_bytes() bytes, from the
// front of that piece's conversion. So text typed or piped a line at a
// time comes out a line at a time under every converter.
#ifndef LUMO_ENGINE_WHOLE_TEXT_STREAM_H_
#define LUMO_ENGINE_WHOLE_TEXT_STREAM_H_

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "dict/utf8_validation.h"
#include "engine/core/converter.h"
#include "engine/whole/text_cuts.h"

namespace lumo {

// The most text a stream holds without a cut unless told otherwise, in
// units (UTF-16 units or bytes).
inline constexpr std::size_t kDefaultMaxHeld = std::size_t{64} << 20;

// What BasicTextStream::ready() found.
struct StreamReadiness {
  std::size_t units = 0;  // at the front, ready to convert; 0 when none yet
  // No cut was found and the stream holds more than its bound: it takes
  // no more text.
  bool over_bound = false;
};

template <typename Unit>
class BasicTextStream {
 public:
  // The converter must outlive the stream. `max_held` bounds the units held
  // while no cut is found (SIZE_MAX: no bound).
  // With `prefixed`, the stream may take prefixed quiet cuts, and the
  // caller must drop what the dropped_*() functions say.
  explicit BasicTextStream(const Converter& converter, std::size_t max_held = kDefaultMaxHeld,
                           bool prefixed = false)
      : converter_(converter), max_held_(max_held) {
    scan_.prefixed = prefixed;
  }

  // How many units at the front convert by themselves now, whatever
  // follows; 0 when none yet. With `ended`, no more text comes, and all
  // units are ready. Over the bound when no cut is found and more than
  // `max_held` units are held.
  StreamReadiness ready(bool ended);

  // The text held, from its first unit not yet taken.
  const Unit* units() const { return pending_.data(); }
  std::size_t size() const { return pending_.size(); }

  // Drops the first `count` units, which the caller has converted; `count`
  // is what ready() returned.
  void take(std::size_t count);

  // How much of the front of the conversion of the next piece (the units
  // ready() says, from units()) the caller drops: the conversion of the
  // prefix a prefixed cut kept, in code points or in UTF-8 bytes.
  std::size_t dropped_code_points() const { return dropped_points_; }
  std::size_t dropped_utf8_bytes() const { return dropped_bytes_; }

 protected:
  // Appends whole characters; may throw std::bad_alloc, leaving the stream
  // as it was.
  Unit* grow(std::size_t count);
  // Appends first[0, first_count) and second[0, second_count), whole
  // characters together, without writing the space first; may throw
  // std::bad_alloc, leaving the stream as it was.
  void append_units(const Unit* first, std::size_t first_count, const Unit* second,
                    std::size_t second_count);

 private:
  const Converter& converter_;
  std::size_t max_held_;
  std::vector<Unit> pending_;
  std::size_t arrived_ = 0;      // units appended since the last search
  std::size_t last_growth_ = 0;  // units the last append brought
  std::size_t clear_ = 0;        // positions before this are known to be no cut
  RunScan scan_;                 // where no cut is found near the end, a scan from the start
  bool scanning_ = false;        // whether the scan found the last cut
  // The prefix held in front of the text, in units (0: none), and its
  // conversion's length.
  std::size_t prefix_units_ = 0;
  std::size_t dropped_points_ = 0;
  std::size_t dropped_bytes_ = 0;
  // Whether the cut ready() returned keeps a prefix (scan_.prefix_start,
  // prefix_end), and that prefix's conversion's length.
  bool cut_prefixed_ = false;
  std::size_t next_points_ = 0;
  std::size_t next_bytes_ = 0;

  // Whether the scan's last cut was a quiet cut that keeps no prefix.
  bool plain_quiet_found() const {
    return scan_.found_quiet && scan_.prefix_start == std::string::npos;
  }
  // Measures the conversion of text[start, end) into next_points_ and
  // next_bytes_; throws std::bad_alloc when memory runs short.
  void measure_prefix(std::size_t start, std::size_t end);
};

class TextStream : public BasicTextStream<std::uint16_t> {
 public:
  using BasicTextStream::BasicTextStream;

  // Appends a chunk of `count` code points (of one byte, two or four, as a
  // Python str stores them), none of them a surrogate. May throw
  // std::bad_alloc, leaving the stream as it was.
  template <typename CodePoint>
  void append(const CodePoint* chars, std::size_t count);
};

class Utf8TextStream : public BasicTextStream<char> {
 public:
  using BasicTextStream::BasicTextStream;

  // Appends a chunk of bytes: the valid characters they complete, holding
  // back a character the chunk's end cuts short. Returns the check of the
  // bytes held back before and the chunk, in that order: on invalid bytes
  // (`cut_short` false and `valid` short of them all) nothing is appended.
  // May throw std::bad_alloc, leaving the stream as it was.
  Utf8Check append(std::string_view bytes);

  // The bytes held back, which a character cut short started.
  const std::string& held() const { return held_; }

 private:
  std::string held_;
};

}  // namespace lumo

#endif  // LUMO_ENGINE_WHOLE_TEXT_STREAM_H_
