// Converting a batch of texts (the rows of a column) without touching
// their owner: every row's result is kept in storage of the batch's own,
// with the shape a caller needs to make the result object (its length in
// code points and the width its largest one needs), to be written out
// into that object. A caller may therefore convert with no lock held and
// make its objects afterwards.
//
// A batch of some length is cut into shares of whole rows of about equal
// size, converted at the same time, one per thread; the calling thread
// converts the first. A share converts its rows one after another into
// one output per unit width (RowConversion), so that a short row costs
// little beyond its own conversion; each row's result is exactly that of
// a conversion of the row alone.
#ifndef LUMO_ENGINE_WHOLE_BATCH_CONVERSION_H_
#define LUMO_ENGINE_WHOLE_BATCH_CONVERSION_H_

#include <algorithm>
#include <cstddef>
#include <memory>
#include <vector>

#include "engine/core/converter.h"
#include "engine/whole/tuning.h"
#include "engine/whole/whole_conversion.h"

namespace lumo {

// The units (plus one per row) after which a caller reading a long batch
// a round at a time, to convert on `threads` threads, ends a round: a
// round then stays in a core's cache from its reading to its results' use.
inline std::size_t batch_round_units(std::size_t threads) {
  return tuning::kBatchRoundUnits * std::max<std::size_t>(threads, 1);
}

// One row of a batch: `size` units of `width` bytes each, UTF-8 (1),
// UTF-16 (2) or UTF-32 (4), holding no lone surrogate; width 0 is a
// missing row, which has no result.
struct BatchRow {
  const void* units = nullptr;
  std::size_t size = 0;
  unsigned width = 0;
};

// The results of converting a batch. Not copyable; movable.
class BatchConversion {
 public:
  BatchConversion();
  ~BatchConversion();
  BatchConversion(BatchConversion&&) noexcept;
  BatchConversion& operator=(BatchConversion&&) noexcept;

  // Converts rows[0, count) on at most `threads` threads, each share of
  // rows holding at least `piece_units` units. The rows must stay
  // readable and unchanged until it returns. Returns kConverted, or
  // kOutOfMemory when memory ran short anywhere (the results then hold
  // nothing useful). Throws nothing. Call once per object.
  ConversionOutcome convert(const Converter& converter, const BatchRow* rows, std::size_t count,
                            std::size_t threads,
                            std::size_t piece_units = tuning::kPieceCharacters);

  // After a successful convert(): the shape of row `row`'s result
  // (characters and bound). Meaningless for a missing row.
  const ResultShape& shape(std::size_t row) const;
  // After a successful convert(): writes row `row`'s result into `storage`,
  // shape(row).characters code points of shape(row).width() bytes each.
  void write(std::size_t row, void* storage) const;

 private:
  struct Share;
  struct RowResult;
  std::vector<RowResult> results_;
  std::unique_ptr<Share[]> shares_;
};

}  // namespace lumo

#endif  // LUMO_ENGINE_WHOLE_BATCH_CONVERSION_H_
