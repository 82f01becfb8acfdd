#include "engine/whole/whole_conversion.h"

#include <algorithm>
#include <cstdint>
#include <cstring>
#include <memory>
#include <type_traits>
#include <vector>

#include "dict/text_units.h"
#include "engine/core/conversion.h"
#include "engine/core/planning.h"
#include "engine/whole/text_cuts.h"
#include "engine/whole/worker_threads.h"

namespace lumo {
namespace {

// One piece's result, in the input's form: two-byte input converts to
// UTF-16, where a dictionary value beyond U+FFFF takes a surrogate pair. A
// cache line each: a thread appending to its output must not disturb
// another's.
template <typename Unit>
struct alignas(64) Piece {
  BasicTextBuffer<Unit> output;
  std::size_t characters = 0;
  char32_t bound = 0x7F;
  std::size_t offset = 0;       // of its first character in the result
  std::size_t unit_offset = 0;  // of its first unit, for a result in the text's form
  bool converted = false;       // false when memory ran short

  // Converts units[0, count) into `output` and measures it, unless the
  // result keeps the text's form; throws nothing.
  void convert(const Converter& converter, const ConversionPlan& plan, const Unit* units,
               std::size_t count, bool own_form) {
    converted = convert_units_to(converter, plan, units, count, output);
    if (converted && !own_form) measure();
  }

  // Counts the output's characters and finds the bound of its largest.
  void measure() {
    const ResultShape shape = measure_units(output.data(), output.size());
    characters = shape.characters;
    bound = shape.bound;
  }

  // Writes the output into `storage` made for `shape`, in the text's form
  // with `own_form`.
  void copy_into(void* storage, const ResultShape& shape, bool own_form) const {
    if (own_form) {
      if (output.size() != 0) {
        std::memcpy(static_cast<Unit*>(storage) + unit_offset, output.data(),
                    output.size() * sizeof(Unit));
      }
      return;
    }
    // The piece's code points at its offset, in the width of the whole.
    write_code_points(output.data(), output.size(), characters, shape.width(),
                      static_cast<char*>(storage) + offset * shape.width());
  }
};

// The shape of the pieces' outputs joined, their offsets set; false when a
// piece ran short of memory.
template <typename Unit>
bool join(Piece<Unit>* pieces, std::size_t count, ResultShape* shape) {
  for (std::size_t i = 0; i < count; ++i) {
    if (!pieces[i].converted) return false;
    pieces[i].offset = shape->characters;
    pieces[i].unit_offset = shape->units;
    shape->characters += pieces[i].characters;
    shape->units += pieces[i].output.size();
    shape->bound = std::max(shape->bound, pieces[i].bound);
  }
  return true;
}

}  // namespace

template <typename Unit>
ConversionOutcome convert_whole(const Converter& converter, const Unit* text, std::size_t size,
                                const ConversionOptions& options, const ResultStorage& storage) {
  const ConversionPlan plain = options.fast_paths ? ConversionPlan{} : plain_plan(converter);
  const ConversionPlan& plan = options.fast_paths ? converter.plan : plain;
  const std::size_t piece_units = std::max<std::size_t>(options.piece_units, 1);
  const std::size_t wanted = !options.fast_paths || !may_use_threads(size, piece_units)
                                 ? 1
                                 : std::min(options.threads, size / piece_units);
  if (wanted <= 1) {
    // Most calls convert a short text: the same steps as below, on this
    // thread alone, without the planning and the thread job's allocations.
    Piece<Unit> piece;
    piece.convert(converter, plan, text, size, options.own_form);
    ResultShape shape;
    if (!join(&piece, 1, &shape)) return ConversionOutcome::kOutOfMemory;
    void* const result = storage(shape);
    if (result == nullptr) return ConversionOutcome::kNoStorage;
    piece.copy_into(result, shape, options.own_form);
    return ConversionOutcome::kConverted;
  }
  const std::vector<std::size_t> bounds = plan_pieces(converter, text, size, wanted);
  const std::size_t count = bounds.size() - 1;
  const std::unique_ptr<Piece<Unit>[]> pieces(new Piece<Unit>[count]);
  ResultShape shape;
  void* result = nullptr;
  bool converted = true;
  run_in_two_phases(
      count,
      [&](std::size_t i) {
        pieces[i].convert(converter, plan, text + bounds[i], bounds[i + 1] - bounds[i],
                          options.own_form);
      },
      [&] {
        converted = join(pieces.get(), count, &shape);
        return converted && (result = storage(shape)) != nullptr;
      },
      [&](std::size_t i) { pieces[i].copy_into(result, shape, options.own_form); });
  if (!converted) return ConversionOutcome::kOutOfMemory;
  return result == nullptr ? ConversionOutcome::kNoStorage : ConversionOutcome::kConverted;
}

template ConversionOutcome convert_whole(const Converter&, const char*, std::size_t,
                                         const ConversionOptions&, const ResultStorage&);
template ConversionOutcome convert_whole(const Converter&, const std::uint16_t*, std::size_t,
                                         const ConversionOptions&, const ResultStorage&);
template ConversionOutcome convert_whole(const Converter&, const std::uint32_t*, std::size_t,
                                         const ConversionOptions&, const ResultStorage&);

}  // namespace lumo
