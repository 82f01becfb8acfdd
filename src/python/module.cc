// The module lumo: registration and the module-level functions.
//
// The binding layer only converts and forwards: names are resolved and
// converters built by the engine, and every engine message becomes a
// ValueError unchanged. Every function runs under the interpreter lock.
#include <string_view>

#include "engine/config/config_loader.h"
#include "engine/config/regions.h"
#include "python/arguments.h"
#include "python/arrow_result_type.h"
#include "python/converter_type.h"
#include "python/custom_entries.h"
#include "python/detection_type.h"
#include "python/errors.h"
#include "python/messages.h"
#include "python/python.h"
#include "python/stream_type.h"
#include "python/text_conversion.h"

namespace lumo::python {
namespace {

PyObject* new_str_list(const std::string_view* items, std::size_t count) {
  PyObject* list = PyList_New(static_cast<Py_ssize_t>(count));
  if (list == nullptr) return nullptr;
  for (std::size_t i = 0; i < count; ++i) {
    PyObject* item = new_str(items[i]);
    if (item == nullptr) {
      Py_DECREF(list);
      return nullptr;
    }
    PyList_SET_ITEM(list, static_cast<Py_ssize_t>(i), item);
  }
  return list;
}

PyObject* configs(PyObject*, PyObject*) { return new_str_list(kConfigNames.data(), kConfigCount); }

PyObject* locales(PyObject*, PyObject*) { return new_str_list(kRegionCodes.data(), kRegionCount); }

// A new str: `text` converted by a converter built for `id` with `pairs`.
PyObject* convert_once(ConfigId id, const CustomPairs& pairs, const TextArgument& text) {
  return guarded([&] { return converted_str(build_converter(id, pairs, thread_count()), text); });
}

// Binds the arguments, then reads the text and the `count` string
// parameters after it, in order.
bool bind_text_and_strings(const Signature& signature, PyObject* const* args, Py_ssize_t nargs,
                           PyObject* kwnames, PyObject** bound, TextArgument* text,
                           std::string_view* strings, std::size_t count) {
  if (!bind_fastcall(signature, args, nargs, kwnames, bound) ||
      !read_text(signature.parameters[0], bound[0], text)) {
    return false;
  }
  for (std::size_t i = 0; i < count; ++i) {
    if (!read_utf8(signature.parameters[i + 1], bound[i + 1], &strings[i])) return false;
  }
  return true;
}

// bind_text_and_strings for a text and a configuration name, which is then
// resolved into `*id`.
bool bind_text_and_config(const Signature& signature, PyObject* const* args, Py_ssize_t nargs,
                          PyObject* kwnames, PyObject** bound, TextArgument* text, ConfigId* id) {
  std::string_view config;
  if (!bind_text_and_strings(signature, args, nargs, kwnames, bound, text, &config, 1)) {
    return false;
  }
  Result<ConfigId> resolved = resolve_config_name(config);
  if (!resolved) {
    raise_value_error(resolved.error());
    return false;
  }
  *id = resolved.value();
  return true;
}

PyObject* convert(PyObject*, PyObject* const* args, Py_ssize_t nargs, PyObject* kwnames) {
  static const char* const kParameters[] = {"text", "config"};
  static const Signature kSignature{"convert", kParameters, 2};
  PyObject* bound[2];
  TextArgument text;
  ConfigId id;
  if (!bind_text_and_config(kSignature, args, nargs, kwnames, bound, &text, &id)) return nullptr;
  return convert_once(id, {}, text);
}

PyObject* convert_region(PyObject*, PyObject* const* args, Py_ssize_t nargs, PyObject* kwnames) {
  static const char* const kParameters[] = {"text", "from", "to"};
  static const Signature kSignature{"convert_region", kParameters, 3};
  PyObject* bound[3];
  TextArgument text;
  std::string_view codes[2];  // from, to
  if (!bind_text_and_strings(kSignature, args, nargs, kwnames, bound, &text, codes, 2)) {
    return nullptr;
  }
  Result<ConfigId> id = route_regions(codes[0], codes[1]);
  if (!id) return raise_value_error(id.error());
  return convert_once(id.value(), {}, text);
}

PyObject* convert_with_custom(PyObject*, PyObject* const* args, Py_ssize_t nargs,
                              PyObject* kwnames) {
  static const char* const kParameters[] = {"text", "config", "entries"};
  static const Signature kSignature{"convert_with_custom", kParameters, 3};
  PyObject* bound[3];
  TextArgument text;
  ConfigId id;
  // The name is checked before the entries are looked at.
  if (!bind_text_and_config(kSignature, args, nargs, kwnames, bound, &text, &id)) return nullptr;
  CustomPairs pairs;
  if (!parse_custom_entries(bound[2], &pairs)) return nullptr;
  return convert_once(id, pairs, text);
}

PyMethodDef detect_def = {"detect", as_cfunction(detect), METH_FASTCALL | METH_KEYWORDS,
                          "detect(text)\n--\n\nIdentify the script variant of `text`. Returns "
                          "`None` when there are no\nCJK characters or kana."};
PyMethodDef configs_def = {
    "configs", as_cfunction(configs), METH_NOARGS,
    "configs()\n--\n\nAll 16 built-in OpenCC config names in canonical order."};
PyMethodDef locales_def = {
    "locales", as_cfunction(locales), METH_NOARGS,
    "locales()\n--\n\nAll 6 region codes in canonical order (`cn-s`, `cn-t`, `cn-tw`,\n"
    "`cn-hk`, `jp-n`, `jp-t`)."};
PyMethodDef convert_def = {
    "convert", as_cfunction(convert), METH_FASTCALL | METH_KEYWORDS,
    "convert(text, config)\n--\n\nConvert `text` using one of the 16 built-in OpenCC configs."};
PyMethodDef convert_region_def = {
    "convert_region", as_cfunction(convert_region), METH_FASTCALL | METH_KEYWORDS,
    "convert_region(text, from, to)\n--\n\nConvert `text` using a `(from, to)` semantic-region "
    "pair."};
PyMethodDef convert_with_custom_def = {
    "convert_with_custom", as_cfunction(convert_with_custom), METH_FASTCALL | METH_KEYWORDS,
    "convert_with_custom(text, config, entries)\n--\n\nConvert with custom words, one-shot. Same "
    "`entries` shapes as\n`Converter.convert_with_custom`."};

// m_size 0, not -1: a re-import then calls PyInit_lumo again instead of
// copying a saved dictionary, so the interpreter check and the "same module
// object" rule hold on every import.
PyModuleDef module_def = {
    PyModuleDef_HEAD_INIT,
    "lumo",
    "Register the `lumo` Python module.",
    0,
    nullptr,
    nullptr,
    nullptr,
    nullptr,
    nullptr,
};

// The module object, created once per process.
PyObject* g_module = nullptr;

// Sets module.<name> = value and appends name to __all__; steals `value`.
bool add_attribute(PyObject* module, PyObject* all, const char* name, PyObject* value) {
  if (value == nullptr) return false;
  PyObject* key = PyUnicode_InternFromString(name);
  const bool ok =
      key != nullptr && PyObject_SetAttr(module, key, value) == 0 && PyList_Append(all, key) == 0;
  Py_XDECREF(key);
  Py_DECREF(value);
  return ok;
}

PyObject* new_function(PyMethodDef* def, PyObject* module) {
  PyObject* module_name = PyModule_GetNameObject(module);
  if (module_name == nullptr) return nullptr;
  PyObject* function = PyCMethod_New(def, module, module_name, nullptr);
  Py_DECREF(module_name);
  return function;
}

bool register_attributes(PyObject* module) {
  PyObject* all = PyObject_GetAttrString(module, "__all__");
  if (all == nullptr) {
    if (!PyErr_ExceptionMatches(PyExc_AttributeError)) return false;
    PyErr_Clear();
    all = PyList_New(0);
    if (all == nullptr || PyObject_SetAttrString(module, "__all__", all) < 0) {
      Py_XDECREF(all);
      return false;
    }
  }
  const bool ok =
      add_attribute(module, all, "__version__", PyUnicode_FromString(LUMO_VERSION)) &&
      add_attribute(module, all, "Converter", create_converter_type()) &&
      add_attribute(module, all, "Detection", create_detection_type()) &&
      add_attribute(module, all, "detect", new_function(&detect_def, module)) &&
      add_attribute(module, all, "configs", new_function(&configs_def, module)) &&
      add_attribute(module, all, "locales", new_function(&locales_def, module)) &&
      add_attribute(module, all, "convert", new_function(&convert_def, module)) &&
      add_attribute(module, all, "convert_region", new_function(&convert_region_def, module)) &&
      add_attribute(module, all, "convert_with_custom",
                    new_function(&convert_with_custom_def, module));
  Py_DECREF(all);
  return ok;
}

// The classes and the exception the module makes but names nowhere, made
// once here rather than on first use, so that no two calls can race to
// make one, with or without the interpreter's lock.
bool create_unnamed_types() {
  return create_internal_error_type() && create_stream_type() && create_converted_column_types();
}

}  // namespace
}  // namespace lumo::python

PyMODINIT_FUNC PyInit_lumo() {
  using lumo::python::g_module;
  // The module keeps process-wide state (its classes, the internal-failure
  // type), so it lives in the main interpreter only.
  if (PyInterpreterState_GetID(PyInterpreterState_Get()) != 0) {
    PyErr_SetString(PyExc_ImportError, lumo::python::messages::no_sub_interpreters().c_str());
    return nullptr;
  }
  if (g_module != nullptr) {
    Py_INCREF(g_module);
    return g_module;
  }
  if (!lumo::python::create_unnamed_types()) return nullptr;
  PyObject* module = PyModule_Create(&lumo::python::module_def);
  if (module == nullptr) return nullptr;
  if (!lumo::python::register_attributes(module)) {
    Py_DECREF(module);
    return nullptr;
  }
  g_module = module;
  Py_INCREF(g_module);  // kept for re-initialisation
  return module;
}
