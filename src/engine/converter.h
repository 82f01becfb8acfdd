// Converter: an optional segmentation group and an ordered list of stages,
// and the conversion core over them.
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
#ifndef LUMO_ENGINE_CONVERTER_H_
#define LUMO_ENGINE_CONVERTER_H_

#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "dict/dictionary_group.h"
#include "engine/conversion_plan.h"
#include "engine/text_buffer.h"

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

// Appends the conversion of `text`, which must be valid UTF-8, to
// `output`. Returns false, with `output` failed(), only when memory ran
// short; throws nothing, so it may run on any thread. Thread-safe.
bool convert_text_to(const Converter& converter, std::string_view text, TextBuffer& output);

// The same for a UTF-16 (std::uint16_t) or UTF-32 (std::uint32_t) text,
// which must hold no lone surrogate: the conversion is that of its UTF-8
// form, in the same form.
template <typename Unit>
bool convert_units_to(const Converter& converter, const Unit* text, std::size_t size,
                      BasicTextBuffer<Unit>& output);

// The same following `plan`, a plan of `converter` (its own, or its
// plain_plan()).
template <typename Unit>
bool convert_units_to(const Converter& converter, const ConversionPlan& plan, const Unit* text,
                      std::size_t size, BasicTextBuffer<Unit>& output);

// The conversion of `text` as a string; throws std::bad_alloc when memory
// runs short.
std::string convert_text(const Converter& converter, std::string_view text);

}  // namespace lumo

#endif  // LUMO_ENGINE_CONVERTER_H_
