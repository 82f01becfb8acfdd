#include "engine/whole/batch_conversion.h"

#include <algorithm>
#include <cstdint>
#include <cstdlib>
#include <new>

#include "engine/whole/worker_threads.h"

namespace lumo {

struct BatchConversion::RowResult {
  ResultShape shape;
  std::size_t share = 0;
  std::size_t offset = 0;  // of its code points in the share's bytes
};

// The rows one thread converts, and the bytes their results are made in. A
// cache line each: a thread growing its bytes must not disturb another's.
struct alignas(64) BatchConversion::Share {
  std::size_t index = 0;
  RowResult* row = nullptr;  // the row being converted
  char* bytes = nullptr;     // malloc'd; grows by realloc
  std::size_t size = 0;
  std::size_t capacity = 0;
  bool failed = false;
  // Made on the calling thread: a worker thread allocates nothing for it.
  ResultStorage storage;

  Share() : storage([this](const ResultShape& shape) { return take(shape); }) {}
  Share(const Share&) = delete;
  Share& operator=(const Share&) = delete;
  ~Share() { std::free(bytes); }

  // Room for the current row's result of `shape`, recorded on the row;
  // nullptr when memory runs short. Throws nothing.
  void* take(const ResultShape& shape) {
    const std::size_t width = shape.width();
    const std::size_t offset = (size + 3) & ~std::size_t{3};  // aligned for four-byte units
    if (shape.characters > (SIZE_MAX - offset) / width) return nullptr;
    const std::size_t end = offset + shape.characters * width;
    if (end > capacity || bytes == nullptr) {
      const std::size_t wanted = std::max({end, capacity + capacity / 2, std::size_t{4096}});
      void* const grown = std::realloc(bytes, wanted);
      if (grown == nullptr) return nullptr;
      bytes = static_cast<char*>(grown);
      capacity = wanted;
    }
    size = end;
    row->shape = shape;
    row->share = index;
    row->offset = offset;
    return bytes + offset;
  }

  // Converts rows[begin, end) into this share's bytes; throws nothing.
  void convert(const Converter& converter, const BatchRow* rows, std::size_t begin, std::size_t end,
               RowResult* results) {
    const ConversionOptions one_thread{1, true};
    for (std::size_t i = begin; i < end && !failed; ++i) {
      const BatchRow& text = rows[i];
      row = &results[i];
      ConversionOutcome outcome = ConversionOutcome::kConverted;
      switch (text.width) {
        case 0:
          continue;
        case 1:
          outcome = convert_whole(converter, static_cast<const char*>(text.units), text.size,
                                  one_thread, storage);
          break;
        case 2:
          outcome = convert_whole(converter, static_cast<const std::uint16_t*>(text.units),
                                  text.size, one_thread, storage);
          break;
        default:
          outcome = convert_whole(converter, static_cast<const std::uint32_t*>(text.units),
                                  text.size, one_thread, storage);
          break;
      }
      failed = outcome != ConversionOutcome::kConverted;
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
    // A row's weight is its units and one for the row itself, so that a
    // share of many short rows is not taken for a small one.
    std::size_t total = 0;
    for (std::size_t i = 0; i < count; ++i) total += rows[i].size + 1;
    piece_units = std::max<std::size_t>(piece_units, 1);
    const std::size_t share_count =
        may_use_threads(total, piece_units)
            ? std::max<std::size_t>(1, std::min(threads, total / piece_units))
            : 1;
    // Share s holds the rows whose weights before them reach s / share_count
    // of the total.
    std::vector<std::size_t> starts(share_count + 1, count);
    starts[0] = 0;
    std::size_t before = 0;
    std::size_t next = 1;
    for (std::size_t i = 0; i < count && next < share_count; ++i) {
      while (next < share_count && before >= total / share_count * next) starts[next++] = i;
      before += rows[i].size + 1;
    }
    shares_.reset(new Share[share_count]);
    for (std::size_t s = 0; s < share_count; ++s) shares_[s].index = s;
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

const void* BatchConversion::code_points(std::size_t row) const {
  const RowResult& result = results_[row];
  return shares_[result.share].bytes + result.offset;
}

}  // namespace lumo
