#include "engine/core/conversion.h"

#include <new>

#include "engine/core/stage_runner.h"

namespace lumo {
namespace {

// Segments and converts with two walks per position: one in the
// segmentation group, then one in each stage.
template <typename Unit>
void convert_generic(const Converter& converter, const ConversionPlan& plan, const Unit* data,
                     std::size_t size, LaterStages<Unit>& later) {
  // Converts the non-empty segment data[start, end).
  const auto convert_segment = [&](std::size_t start, std::size_t end) {
    BasicTextBuffer<Unit>& first = later.first_stage_output();
    if (converter.stages.empty()) {
      first.append(data + start, end - start);
    } else {
      run_stage(converter.stages.front(), plan.stages.front(), data, start, end,
                is_ascii_unit(data[start]), first);
    }
    later.end_segment();
  };
  if (!converter.segmentation) {
    if (size > 0) convert_segment(0, size);
    return;
  }
  GroupScan<Unit> segmentation(*converter.segmentation, data, size);
  std::size_t pos = 0;
  std::size_t run_start = 0;
  bool in_run = false;
  while (pos < size) {
    const LexiconMatch match = segmentation.at(pos);
    if (match) {
      if (in_run) {
        convert_segment(run_start, pos);
        in_run = false;
      }
      convert_segment(pos, pos + match.length);
      pos += match.length;
    } else {
      if (!in_run) {
        run_start = pos;
        in_run = true;
      }
      pos += char_units(data + pos);
    }
  }
  if (in_run) convert_segment(run_start, size);
}

}  // namespace

template <typename Unit>
bool RowConversion<Unit>::convert(const Unit* text, std::size_t size) {
  if (!output_.reserve(output_.size() + size + size / 5)) return false;
  if (fused_) {
    fused_->convert(text, size);
  } else {
    convert_generic(converter_, plan_, text, size, later_);
  }
  later_.flush();
  return !output_.failed();
}

template <typename Unit>
bool convert_units_to(const Converter& converter, const ConversionPlan& plan, const Unit* text,
                      std::size_t size, BasicTextBuffer<Unit>& output) {
  return RowConversion<Unit>(converter, plan, output).convert(text, size);
}

template <typename Unit>
bool convert_units_to(const Converter& converter, const Unit* text, std::size_t size,
                      BasicTextBuffer<Unit>& output) {
  return convert_units_to(converter, converter.plan, text, size, output);
}

#define LUMO_INSTANTIATE(Unit)                                                         \
  template bool convert_units_to(const Converter&, const Unit*, std::size_t,           \
                                 BasicTextBuffer<Unit>&);                              \
  template bool convert_units_to(const Converter&, const ConversionPlan&, const Unit*, \
                                 std::size_t, BasicTextBuffer<Unit>&);                 \
  template class RowConversion<Unit>;
LUMO_INSTANTIATE(char)
LUMO_INSTANTIATE(std::uint16_t)
LUMO_INSTANTIATE(std::uint32_t)
#undef LUMO_INSTANTIATE

bool convert_text_to(const Converter& converter, std::string_view text, TextBuffer& output) {
  return convert_units_to(converter, text.data(), text.size(), output);
}

std::string convert_text(const Converter& converter, std::string_view text) {
  TextBuffer output;
  if (!convert_text_to(converter, text, output)) throw std::bad_alloc();
  return std::string(output.view());
}

}  // namespace lumo
