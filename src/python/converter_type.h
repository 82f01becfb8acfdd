// The Python class Converter: a reusable converter bound to one built-in
// configuration. An instance owns its engine converter and a copy of its
// configuration name from construction to destruction and never changes.
#ifndef LUMO_PYTHON_CONVERTER_TYPE_H_
#define LUMO_PYTHON_CONVERTER_TYPE_H_

#include <string_view>

#include "engine/config/config_loader.h"
#include "python/python.h"

namespace lumo::python {

// Creates the class (once per process); a new reference, or nullptr.
PyObject* create_converter_type();

// A new instance owning `converter`, named `config`, built with the custom
// `pairs`; nullptr on failure. Needs create_converter_type() to have
// succeeded.
PyObject* new_converter_object(Converter&& converter, std::string_view config,
                               CustomPairs&& pairs = {});

}  // namespace lumo::python

#endif  // LUMO_PYTHON_CONVERTER_TYPE_H_
