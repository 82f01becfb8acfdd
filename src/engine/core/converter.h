// Converter: an optional segmentation group and an ordered list of stages,
// with the plan of its fast paths (conversion.h converts with it).
//
// Conversion cuts the input once into segments by maximum forward matching
// against the segmentation group, then passes each segment by itself through
// every stage in order. A stage replaces, left to right, the longest key of
// its group found at the current position by its value and copies
// characters no key matches. In a stage input that starts with an ASCII
// byte, no lookup starts at an ASCII character.
//
// A converter is immutable once built; any number of threads may convert
// with it at once.
#ifndef LUMO_ENGINE_CORE_CONVERTER_H_
#define LUMO_ENGINE_CORE_CONVERTER_H_

#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "dict/dictionary_group.h"
#include "engine/core/conversion_plan.h"

namespace lumo {

struct Converter {
  std::optional<DictionaryGroup> segmentation;
  std::vector<DictionaryGroup> stages;
  // Its fast paths, decided when it is built (fast_plan()).
  ConversionPlan plan;
  // Where each stage's valued keys come from, lexicon by lexicon after the
  // custom head: the dictionary texts each merges, in order (none for
  // inline entries). Explanations read the further values of their entries
  // there; conversion never looks.
  std::vector<std::vector<std::vector<std::string_view>>> stage_texts;
  bool custom_head = false;  // whether every group starts with custom words
};

}  // namespace lumo

#endif  // LUMO_ENGINE_CORE_CONVERTER_H_
