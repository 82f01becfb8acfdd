// The one-pass conversion path: when the segmentation group and the first
// stage share their tries, one walk per position answers both, and the
// first stage runs as the text is segmented. Internal to the engine.
#ifndef LUMO_ENGINE_CORE_FUSED_CONVERSION_H_
#define LUMO_ENGINE_CORE_FUSED_CONVERSION_H_

#include <string_view>

#include "engine/core/converter.h"
#include "engine/core/stage_runner.h"

namespace lumo {

// Converts text[0, size) (UTF-8, UTF-16 or UTF-32) in one pass following
// `plan`, a plan of `converter` whose walks_together holds.
template <typename Unit>
void convert_fused(const Converter& converter, const ConversionPlan& plan, const Unit* text,
                   std::size_t size, LaterStages<Unit>& later);

}  // namespace lumo

#endif  // LUMO_ENGINE_CORE_FUSED_CONVERSION_H_
