// The one-pass conversion path: when the segmentation group and the first
// stage share their tries, one walk per position answers both, and the
// first stage runs as the text is segmented. Internal to the engine.
#ifndef LUMO_ENGINE_FUSED_CONVERSION_H_
#define LUMO_ENGINE_FUSED_CONVERSION_H_

#include <string_view>

#include "engine/converter.h"
#include "engine/stage_runner.h"

namespace lumo {

// Whether every lexicon of the segmentation group shares its trie with the
// first stage's lexicon at the same place, so one walk serves both.
bool walks_together(const Converter& converter);

// Converts `text` in one pass; needs walks_together(converter).
void convert_fused(const Converter& converter, std::string_view text, LaterStages& later);

}  // namespace lumo

#endif  // LUMO_ENGINE_FUSED_CONVERSION_H_
