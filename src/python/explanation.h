// Converter.explain: the engine's explanation of a text as a list of
// (source, target, alternatives) tuples.
#ifndef LUMO_PYTHON_EXPLANATION_H_
#define LUMO_PYTHON_EXPLANATION_H_

#include <cstddef>
#include <cstdint>

#include "engine/explain/explanation.h"
#include "python/python.h"
#include "python/text_conversion.h"

namespace lumo::python {

// The spans of the conversion of `text` as a new list, or nullptr with an
// exception set. May throw std::bad_alloc: call it inside guarded().
PyObject* explained_spans(const Converter& converter, const TextArgument& text);

// The same for UTF-16 text[0, size) without lone surrogates.
PyObject* explained_spans(const Converter& converter, const std::uint16_t* text, std::size_t size);

}  // namespace lumo::python

#endif  // LUMO_PYTHON_EXPLANATION_H_
