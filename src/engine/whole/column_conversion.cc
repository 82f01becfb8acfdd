#include "engine/whole/column_conversion.h"

#include <algorithm>
#include <cstdint>
#include <memory>
#include <new>
#include <optional>
#include <string_view>
#include <vector>

#include "dict/utf8_validation.h"
#include "engine/core/conversion.h"
#include "engine/whole/row_shares.h"
#include "engine/whole/tuning.h"
#include "engine/whole/whole_conversion.h"
#include "engine/whole/worker_threads.h"

namespace lumo {
namespace {

// The rows one thread converts in a round, and their results. A cache line
// each: a thread growing its output must not disturb another's. Kept from
// round to round, so that its storage is made once.
struct alignas(64) ColumnShare {
  std::size_t begin = 0;
  std::size_t end = 0;
  TextBuffer output;
  // Made at the share's first row: a conversion's set-up, paid once.
  std::optional<RowConversion<char>> row_conversion;
  // Sized on the calling thread for the share's rows: a worker thread
  // allocates nothing for it.
  std::vector<std::size_t> ends;
  std::size_t invalid_row = SIZE_MAX;
  bool out_of_memory = false;

  // Converts rows [begin, end), whose bytes are read[0, end - begin) (see
  // ColumnRows::read_rows); throws nothing. Stops at the first row that is
  // not UTF-8 or when memory runs short.
  void convert(const Converter& converter, const ColumnRows& rows, const std::string_view* read) {
    output.clear();
    std::size_t* const row_ends = ends.data();
    // Where the rows lie in bytes that are UTF-8 as a whole, a row is UTF-8
    // when both its ends fall at the start of a character (or at the end
    // of those bytes): it then holds whole characters only.
    const std::string_view span = rows.span(begin, end);
    const bool span_valid =
        span.data() != nullptr && check_utf8(span.data(), span.size()).valid == span.size();
    const char* const span_end = span.data() + span.size();
    const auto starts_character = [span_end](const char* at) {
      return at == span_end || (static_cast<unsigned char>(*at) & 0xC0) != 0x80;
    };
    for (std::size_t i = begin; i < end; ++i) {
      const std::string_view row = read[i - begin];
      if (!row.empty()) {
        const bool valid =
            span_valid ? starts_character(row.data()) && starts_character(row.data() + row.size())
                       : check_utf8(row.data(), row.size()).valid == row.size();
        if (!valid) {
          invalid_row = i;
          return;
        }
        if (!row_conversion) row_conversion.emplace(converter, converter.plan, output);
        if (!row_conversion->convert(row.data(), row.size())) {
          out_of_memory = true;
          return;
        }
      }
      row_ends[i - begin] = output.size();
    }
  }
};

}  // namespace

ColumnResult convert_column(const Converter& converter, const ColumnRows& rows, std::size_t count,
                            ColumnSink& sink, std::size_t threads, std::size_t round_bytes,
                            std::size_t piece_units) {
  try {
    threads = std::max<std::size_t>(threads, 1);
    const std::size_t budget = std::max<std::size_t>(round_bytes, 1) * threads;
    std::vector<std::string_view> read;  // a round's rows
    std::vector<std::size_t> starts;
    std::unique_ptr<ColumnShare[]> shares(new ColumnShare[threads]);
    for (std::size_t first = 0; first < count;) {
      // A round holds the rows whose weights (their bytes and one for the
      // row itself, so that many short rows are not taken for few) reach
      // the budget. Rows are read tuning::kColumnRowsRead at a
      // time until then.
      std::size_t total = 0;
      std::size_t last = first;
      read.clear();
      while (last < count && total < budget) {
        const std::size_t read_end = std::min(count, last + tuning::kColumnRowsRead);
        read.resize(read_end - first);
        rows.read_rows(last, read_end, read.data() + (last - first));
        for (; last < read_end && total < budget; ++last) total += read[last - first].size() + 1;
      }
      const std::size_t share_count = row_share_count(total, threads, piece_units);
      share_rows(
          first, last, total, share_count,
          [&read, first](std::size_t i) { return read[i - first].size() + 1; }, starts);
      for (std::size_t s = 0; s < share_count; ++s) {
        shares[s].begin = starts[s];
        shares[s].end = starts[s + 1];
        shares[s].ends.resize(starts[s + 1] - starts[s]);
      }
      run_in_two_phases(
          share_count,
          [&](std::size_t s) {
            shares[s].convert(converter, rows, read.data() + (shares[s].begin - first));
          },
          [] { return false; }, [](std::size_t) {});
      for (std::size_t s = 0; s < share_count; ++s) {
        const ColumnShare& share = shares[s];
        if (share.invalid_row != SIZE_MAX) return {ColumnOutcome::kInvalidUtf8, share.invalid_row};
        if (share.out_of_memory) return {ColumnOutcome::kOutOfMemory, 0};
      }
      for (std::size_t s = 0; s < share_count; ++s) {
        const ColumnShare& share = shares[s];
        if (share.end == share.begin) continue;
        if (!sink.take(share.begin, share.end - share.begin, share.output.data(),
                       share.ends.data())) {
          return {ColumnOutcome::kOutOfMemory, 0};
        }
      }
      first = last;
    }
    return {};
  } catch (const std::bad_alloc&) {
    return {ColumnOutcome::kOutOfMemory, 0};
  }
}

}  // namespace lumo
