// The one-pass conversion path: when the segmentation group and the first
// stage share their tries, one walk per position answers both, and the
// first stage runs as the text is segmented. Internal to the engine.
#ifndef LUMO_ENGINE_CORE_FUSED_CONVERSION_H_
#define LUMO_ENGINE_CORE_FUSED_CONVERSION_H_

#include <cstddef>

#include "engine/core/conversion_plan.h"
#include "engine/core/converter.h"
#include "engine/core/stage_runner.h"

namespace lumo {

// Converts texts (UTF-8, UTF-16 or UTF-32) one after another in one pass
// each, following `plan`, a plan of `converter` whose walks_together
// holds, into `later`'s first stage. What a pass reads from the converter
// and the plan, and the form of the scan it runs, are taken once, when
// this is made; a text then sets only where it lies. The converter, the
// plan and `later` must outlive it. Throws nothing; one per thread.
template <typename Unit>
class FusedRows {
 public:
  FusedRows(const Converter& converter, const ConversionPlan& plan, LaterStages<Unit>& later);
  ~FusedRows();
  FusedRows(const FusedRows&) = delete;
  FusedRows& operator=(const FusedRows&) = delete;

  // Converts text[0, size).
  void convert(const Unit* text, std::size_t size);

 private:
  // The scan's state (a class of fused_conversion.cc), made in place: a
  // conversion of one short text allocates nothing.
  static constexpr std::size_t kStateBytes = 256;
  alignas(alignof(std::max_align_t)) unsigned char state_[kStateBytes];
};

}  // namespace lumo

#endif  // LUMO_ENGINE_CORE_FUSED_CONVERSION_H_
