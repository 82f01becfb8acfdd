#include "engine/whole/column_conversion.h"

#include <algorithm>
#include <cstdint>
#include <memory>
#include <new>
#include <vector>

#include "dict/utf8_validation.h"
#include "engine/core/conversion.h"
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
  // Reserved on the calling thread for the share's rows: a worker thread
  // allocates nothing for it.
  std::vector<std::size_t> ends;
  std::size_t invalid_row = SIZE_MAX;
  bool out_of_memory = false;

  // Converts rows [begin, end); throws nothing. Stops at the first row
  // that is not UTF-8 or when memory runs short.
  void convert(const Converter& converter, const ColumnRows& rows) {
    output.clear();
    ends.clear();
    for (std::size_t i = begin; i < end; ++i) {
      const std::string_view row = rows.row(i);
      if (!row.empty()) {
        if (check_utf8(row.data(), row.size()).valid != row.size()) {
          invalid_row = i;
          return;
        }
        if (!convert_units_to(converter, converter.plan, row.data(), row.size(), output)) {
          out_of_memory = true;
          return;
        }
      }
      ends.push_back(output.size());
    }
  }
};

}  // namespace

ColumnResult convert_column(const Converter& converter, const ColumnRows& rows, std::size_t count,
                            ColumnSink& sink, std::size_t threads, std::size_t round_bytes,
                            std::size_t piece_units) {
  try {
    threads = std::max<std::size_t>(threads, 1);
    piece_units = std::max<std::size_t>(piece_units, 1);
    const std::size_t budget = std::max<std::size_t>(round_bytes, 1) * threads;
    std::vector<std::size_t> weights;
    std::vector<std::size_t> starts;
    std::unique_ptr<ColumnShare[]> shares(new ColumnShare[threads]);
    for (std::size_t first = 0; first < count;) {
      // A round holds the rows whose weights (their bytes and one for the
      // row itself, so that many short rows are not taken for few) reach
      // the budget.
      weights.clear();
      std::size_t total = 0;
      for (std::size_t i = first; i < count && total < budget; ++i) {
        weights.push_back(rows.row(i).size() + 1);
        total += weights.back();
      }
      const std::size_t last = first + weights.size();
      const std::size_t share_count =
          may_use_threads(total, piece_units)
              ? std::max<std::size_t>(1, std::min(threads, total / piece_units))
              : 1;
      // Share s holds the rows whose weights before them reach s /
      // share_count of the round's.
      starts.assign(share_count + 1, last);
      starts[0] = first;
      std::size_t before = 0;
      std::size_t next = 1;
      for (std::size_t i = first; i < last && next < share_count; ++i) {
        while (next < share_count && before >= total / share_count * next) starts[next++] = i;
        before += weights[i - first];
      }
      for (std::size_t s = 0; s < share_count; ++s) {
        shares[s].begin = starts[s];
        shares[s].end = starts[s + 1];
        shares[s].ends.reserve(starts[s + 1] - starts[s]);
      }
      run_in_two_phases(
          share_count, [&](std::size_t s) { shares[s].convert(converter, rows); },
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
