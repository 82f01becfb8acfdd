// Converting the rows of a column, each a UTF-8 text read in place, into
// one UTF-8 output holding their results in order.
//
// A column is converted in rounds of whole rows holding about `round_bytes`
// bytes per thread, so that memory beyond the input and the output stays
// bounded however long the column. A round of some length is cut into
// shares of whole rows of about equal size, converted at the same time, one
// per thread (the calling thread converts the first); each row converts as
// convert_whole would on one thread, so its result is exactly that of a
// conversion of the row alone. After each round, the calling thread hands
// the shares' results, in order, to the caller's sink.
#ifndef LUMO_ENGINE_WHOLE_COLUMN_CONVERSION_H_
#define LUMO_ENGINE_WHOLE_COLUMN_CONVERSION_H_

#include <cstddef>
#include <string_view>

#include "engine/core/converter.h"
#include "engine/whole/tuning.h"

namespace lumo {

// The rows of a column, read where they lie. row() is called from several
// threads at once and must throw nothing.
class ColumnRows {
 public:
  virtual ~ColumnRows() = default;
  // Row `index`'s bytes, not yet checked for UTF-8; empty for a missing row.
  virtual std::string_view row(std::size_t index) const = 0;
  // Rows [begin, end), as row() reads each, into out[0, end - begin): the
  // way a conversion reads them, one call for many rows.
  virtual void read_rows(std::size_t begin, std::size_t end, std::string_view* out) const {
    for (std::size_t i = begin; i < end; ++i) out[i - begin] = row(i);
  }
  // The bytes that rows [begin, end) lie in, one after another, with
  // nothing between them but the bytes of missing rows; or a view with a
  // null data() when the rows do not lie so. Such bytes are checked for
  // UTF-8 at once, and a row is then checked by its ends alone.
  virtual std::string_view span(std::size_t begin, std::size_t end) const {
    (void)begin;
    (void)end;
    return {};
  }
};

// Where the converted rows go, in order, on the calling thread.
class ColumnSink {
 public:
  virtual ~ColumnSink() = default;
  // Takes the results of rows [first, first + count): that of row first + k
  // is bytes[k == 0 ? 0 : ends[k - 1], ends[k]). False when memory ran
  // short; may throw std::bad_alloc.
  virtual bool take(std::size_t first, std::size_t count, const char* bytes,
                    const std::size_t* ends) = 0;
};

enum class ColumnOutcome {
  kConverted,    // every row went to the sink
  kInvalidUtf8,  // a row is not UTF-8: ColumnResult::row
  kOutOfMemory,  // memory ran short, here or in the sink
};

struct ColumnResult {
  ColumnOutcome outcome = ColumnOutcome::kConverted;
  // With kInvalidUtf8, the first row that is not UTF-8.
  std::size_t row = 0;
};

// Converts rows [0, count) of `rows` into `sink` on at most `threads`
// threads, each share of a round holding at least `piece_units` bytes. The
// rows must stay readable and unchanged until it returns. With an outcome
// other than kConverted the sink may have taken some rows, whose results
// the caller drops. Throws nothing. Thread-safe.
ColumnResult convert_column(const Converter& converter, const ColumnRows& rows, std::size_t count,
                            ColumnSink& sink, std::size_t threads,
                            std::size_t round_bytes = tuning::kColumnRoundBytes,
                            std::size_t piece_units = tuning::kPieceCharacters);

}  // namespace lumo

#endif  // LUMO_ENGINE_WHOLE_COLUMN_CONVERSION_H_
