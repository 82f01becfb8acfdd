// Converting a batch of texts into a list of new str objects. The binding
// reads every item's storage with the interpreter lock held, keeping the
// items alive; the engine converts them with the lock released (on
// threads across rows when the batch is long, LUMO_THREADS respected,
// engine/whole/batch_conversion.h); the binding then makes the str
// objects.
#ifndef LUMO_PYTHON_TEXT_BATCH_H_
#define LUMO_PYTHON_TEXT_BATCH_H_

#include "engine/whole/whole_conversion.h"
#include "python/python.h"

namespace lumo::python {

// A new list holding, for each item of the iterable `texts`, its
// conversion (a str item, read as convert reads its text) or None (a None
// item); or nullptr with an exception set: TypeError naming the index of
// an item that is neither, the interpreter's UnicodeEncodeError for a str
// holding a lone surrogate, MemoryError when memory runs short, or what
// iterating `texts` raises. May throw std::bad_alloc: call it inside
// guarded().
PyObject* converted_list(const Converter& converter, PyObject* texts);

}  // namespace lumo::python

#endif  // LUMO_PYTHON_TEXT_BATCH_H_
