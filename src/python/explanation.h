// Converter.explain: the engine's explanation of a text as a list of
// (source, target, alternatives) tuples.
#ifndef LUMO_PYTHON_EXPLANATION_H_
#define LUMO_PYTHON_EXPLANATION_H_

#include "engine/converter.h"
#include "python/python.h"
#include "python/text_conversion.h"

namespace lumo::python {

// The spans of the conversion of `text` as a new list, or nullptr with an
// exception set. May throw std::bad_alloc: call it inside guarded().
PyObject* explained_spans(const Converter& converter, const TextArgument& text);

}  // namespace lumo::python

#endif  // LUMO_PYTHON_EXPLANATION_H_
