#include "engine/whole/batch_conversion.h"

#include <algorithm>
#include <cstdint>
#include <new>
#include <optional>

#include "engine/core/conversion.h"
#include "engine/whole/result_shape.h"
#include "engine/whole/row_shares.h"
#include "engine/whole/worker_threads.h"
#include "platform/hints.h"

namespace lumo {

struct BatchConversion::RowResult {
  ResultShape shape;      // characters and bound; units: its length in its output
  std::size_t start = 0;  // of its units in its share's output of its width
  std::uint32_t share = 0;
  unsigned width = 0;  // of its units: its row's
};

// The rows one thread converts, and the outputs of each unit width their
// results are appended to. A cache line each: a thread appending to its
// outputs must not disturb another's.
struct alignas(64) BatchConversion::Share {
  std::uint32_t index = 0;
  bool failed = false;
  BasicTextBuffer<char> utf8;
  BasicTextBuffer<std::uint16_t> utf16;
  BasicTextBuffer<std::uint32_t> utf32;
  // Made at a share's first row of each width.
  std::optional<RowConversion<char>> utf8_rows;
  std::optional<RowConversion<std::uint16_t>> utf16_rows;
  std::optional<RowConversion<std::uint32_t>> utf32_rows;

  // Appends the conversion of text[0, size) to `output` with `rows`, and
  // records it in `result`; false when memory ran short.
  template <typename Unit>
  bool convert_row(const Converter& converter, const Unit* text, std::size_t size,
                   BasicTextBuffer<Unit>& output, std::optional<RowConversion<Unit>>& rows,
                   RowResult& result) {
    if (!rows) rows.emplace(converter, converter.plan, output);
    const std::size_t start = output.size();
    if (!rows->convert(text, size)) return false;
    result.shape = measure_units(output.data() + start, output.size() - start);
    result.shape.units = output.size() - start;
    result.start = start;
    result.share = index;
    result.width = sizeof(Unit);
    return true;
  }

  // Converts rows[begin, end); throws nothing.
  void convert(const Converter& converter, const BatchRow* rows, std::size_t begin, std::size_t end,
               RowResult* results) {
    for (std::size_t i = begin; i < end && !failed; ++i) {
      const BatchRow& text = rows[i];
      // Rows are objects of their own, apart in memory: asking early for a
      // later row's units hides part of the wait for them (short rows: 8%).
      if (i + 4 < end) platform::prefetch(rows[i + 4].units);
      switch (text.width) {
        case 0:
          continue;
        case 1:
          failed = !convert_row(converter, static_cast<const char*>(text.units), text.size, utf8,
                                utf8_rows, results[i]);
          break;
        case 2:
          failed = !convert_row(converter, static_cast<const std::uint16_t*>(text.units), text.size,
                                utf16, utf16_rows, results[i]);
          break;
        default:
          failed = !convert_row(converter, static_cast<const std::uint32_t*>(text.units), text.size,
                                utf32, utf32_rows, results[i]);
          break;
      }
    }
  }
};

BatchConversion::BatchConversion() = default;
BatchConversion::~BatchConversion() = default;
BatchConversion::BatchConversion(BatchConversion&&) noexcept = default;
BatchConversion& BatchConversion::operator=(BatchConversion&&) noexcept = default;

ConversionOutcome BatchConversion::convert(const Converter& converter, const BatchRow* rows,
                                           std::size_t count, std::size_t threads,
                                           std::size_t piece_units) {
  try {
    results_.assign(count, RowResult{});
    const auto weight = [rows](std::size_t i) { return rows[i].size + 1; };
    std::size_t total = 0;
    for (std::size_t i = 0; i < count; ++i) total += weight(i);
    const std::size_t share_count = row_share_count(total, threads, piece_units);
    std::vector<std::size_t> starts;
    share_rows(0, count, total, share_count, weight, starts);
    shares_.reset(new Share[share_count]);
    for (std::size_t s = 0; s < share_count; ++s) shares_[s].index = static_cast<std::uint32_t>(s);
    run_in_two_phases(
        share_count,
        [&](std::size_t s) {
          shares_[s].convert(converter, rows, starts[s], starts[s + 1], results_.data());
        },
        [] { return false; }, [](std::size_t) {});
    for (std::size_t s = 0; s < share_count; ++s) {
      if (shares_[s].failed) return ConversionOutcome::kOutOfMemory;
    }
    return ConversionOutcome::kConverted;
  } catch (const std::bad_alloc&) {
    return ConversionOutcome::kOutOfMemory;
  }
}

const ResultShape& BatchConversion::shape(std::size_t row) const { return results_[row].shape; }

void BatchConversion::write(std::size_t row, void* storage) const {
  const RowResult& result = results_[row];
  const Share& share = shares_[result.share];
  const std::size_t width = result.shape.width();
  switch (result.width) {
    case 1:
      return write_code_points(share.utf8.data() + result.start, result.shape.units,
                               result.shape.characters, width, storage);
    case 2:
      return write_code_points(share.utf16.data() + result.start, result.shape.units,
                               result.shape.characters, width, storage);
    default:
      return write_code_points(share.utf32.data() + result.start, result.shape.units,
                               result.shape.characters, width, storage);
  }
}

}  // namespace lumo
