// Explanations: a conversion told span by span, with the other outputs the
// dictionaries allowed where a conversion had to choose.
//
// The spans partition the input and the output in order. A span is the
// least stretch that every step converts by itself: a match of a later
// stage that covers parts of several earlier spans widens them into one.
// A span is ambiguous when a dictionary entry matched inside it lists more
// than one value; its alternatives are the outputs the span would have had
// with each further value of such an entry in place of the first, carried
// through the later stages, without repeats and without the output it
// has. Custom words are never ambiguous. Spans without alternatives next to
// each other come as one.
//
// Explaining walks the text plainly, stage by stage, apart from the fast
// paths of conversion, which it leaves untouched; its targets join into
// exactly what conversion gives. The further values of dictionary entries
// are read from the dictionary texts when a converter's first explanation
// needs them, and kept for the life of the process.
#ifndef LUMO_ENGINE_EXPLAIN_EXPLANATION_H_
#define LUMO_ENGINE_EXPLAIN_EXPLANATION_H_

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "engine/core/converter.h"

namespace lumo {

struct ExplainedSpan {
  std::size_t source_end = 0;  // where the span ends in the input; it starts where the last ended
  std::u32string target;
  std::vector<std::u32string> alternatives;
};

// The spans of the conversion of text[0, size), code points without
// surrogates. Throws std::bad_alloc when memory runs short. Thread-safe.
std::vector<ExplainedSpan> explain(const Converter& converter, const std::uint32_t* text,
                                   std::size_t size);

}  // namespace lumo

#endif  // LUMO_ENGINE_EXPLAIN_EXPLANATION_H_
