// Converting a text with a converter, in one piece, on the calling thread.
#ifndef LUMO_ENGINE_CORE_CONVERSION_H_
#define LUMO_ENGINE_CORE_CONVERSION_H_

#include <cstddef>
#include <optional>
#include <string>
#include <string_view>

#include "engine/core/conversion_plan.h"
#include "engine/core/converter.h"
#include "engine/core/fused_conversion.h"
#include "engine/core/stage_runner.h"
#include "engine/core/text_buffer.h"

namespace lumo {

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

// Converts texts one after another, each exactly as convert_units_to()
// would alone, appending each result to one output: the way to convert
// many short texts (the rows of a column), whose set-up is then paid once:
// a text sets only where it lies. One object per thread; the converter,
// the plan and the output must outlive it. Throws nothing.
template <typename Unit>
class RowConversion {
 public:
  RowConversion(const Converter& converter, const ConversionPlan& plan,
                BasicTextBuffer<Unit>& output)
      : converter_(converter), plan_(plan), output_(output), later_(converter, plan, output) {
    if (plan.walks_together) fused_.emplace(converter, plan, later_);
  }

  // Appends the conversion of text[0, size) to the output. Returns false,
  // with the output failed(), only when memory ran short.
  bool convert(const Unit* text, std::size_t size);

 private:
  const Converter& converter_;
  const ConversionPlan& plan_;
  BasicTextBuffer<Unit>& output_;
  LaterStages<Unit> later_;
  std::optional<FusedRows<Unit>> fused_;  // with plan_.walks_together
};

// The conversion of `text` as a string; throws std::bad_alloc when memory
// runs short.
std::string convert_text(const Converter& converter, std::string_view text);

}  // namespace lumo

#endif  // LUMO_ENGINE_CORE_CONVERSION_H_
