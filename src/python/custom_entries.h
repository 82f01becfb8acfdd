// Reading custom entries from the Python object a caller passes.
//
// Shapes, tried in this order: a dict (or subclass), walked over its stored
// items; a str (or subclass), in the "key value|..." grammar; a list or
// tuple (or subclass) of [key, value] pairs; any other mapping (an instance
// of collections.abc.Mapping), read through keys() and item lookup as dict()
// reads it; any other object with an __iter__ attribute, iterated for
// pairs. Keys and values are copied out as UTF-8, so nothing refers to a
// Python object afterwards. Iteration uses the ordinary protocol (an
// overridden __iter__ is honoured); a dict's items and a pair's halves are
// read from their storage, so overridden items() or __getitem__ are not
// called.
#ifndef LUMO_PYTHON_CUSTOM_ENTRIES_H_
#define LUMO_PYTHON_CUSTOM_ENTRIES_H_

#include "engine/config/config_loader.h"
#include "python/python.h"

namespace lumo::python {

// Fills `pairs` (never empty on success). Returns false with an exception
// set: ValueError or TypeError with the entries' own messages, or whatever
// the interpreter raised while reading the object.
bool parse_custom_entries(PyObject* entries, CustomPairs* pairs);

// A new tuple of (key, value) str tuples, or nullptr with an exception set.
PyObject* new_pairs_tuple(const CustomPairs& pairs);

// The pairs of the str `text` read as a custom string whose pieces are cut
// at `separator` (one ASCII character), as new_pairs_tuple makes them.
// Raises what the module raises for such a string; the ValueError for a
// piece without a space also holds the piece's `number` (from 0) and its
// trimmed text as `piece`, for callers that word the error their own way.
PyObject* custom_string_pairs(const char* parameter, PyObject* text, char separator);

}  // namespace lumo::python

#endif  // LUMO_PYTHON_CUSTOM_ENTRIES_H_
