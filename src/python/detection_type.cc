#include "python/detection_type.h"

#include <cstddef>
#include <optional>
#include <string_view>

#include "detect/detect.h"
#include "python/arguments.h"
#include "python/errors.h"
#include "python/final_class.h"
#include "python/messages.h"
#include "python/pickling.h"
#include "python/text_conversion.h"

namespace lumo::python {
namespace {

struct DetectionObject {
  PyObject ob_base;
  Region region;
  unsigned char confidence;
};

// Created once by create_detection_type and kept for the life of the process.
PyTypeObject* g_detection_type = nullptr;

const DetectionObject& detection_of(PyObject* self) {
  return *reinterpret_cast<const DetectionObject*>(self);
}

PyObject* detection_new(PyTypeObject*, PyObject*, PyObject*) {
  return raise_type_error(messages::detection_without_constructor());
}

void detection_dealloc(PyObject* self) {
  PyTypeObject* type = Py_TYPE(self);
  type->tp_free(self);
  Py_DECREF(type);
}

PyObject* detection_repr(PyObject* self) {
  const DetectionObject& detection = detection_of(self);
  return PyUnicode_FromFormat("<lumo.Detection region=%s confidence=%u>",
                              std::string(region_code(detection.region)).c_str(),
                              static_cast<unsigned>(detection.confidence));
}

PyObject* detection_get_region(PyObject* self, void*) {
  return new_str(region_code(detection_of(self).region));
}

PyObject* detection_get_confidence(PyObject* self, void*) {
  return PyLong_FromLong(detection_of(self).confidence);
}

PyGetSetDef detection_getset[] = {
    {"region", detection_get_region, nullptr, nullptr, nullptr},
    {"confidence", detection_get_confidence, nullptr, nullptr, nullptr},
    {nullptr, nullptr, nullptr, nullptr, nullptr},
};

// Pickles as _lumo_pickle.detection(region, confidence).
PyObject* detection_reduce(PyObject* self, PyObject*) {
  const DetectionObject& detection = detection_of(self);
  PyObject* const restore = restore_function("detection");
  if (restore == nullptr) return nullptr;
  PyObject* const region = new_str(region_code(detection.region));
  PyObject* const result =
      region == nullptr
          ? nullptr
          : Py_BuildValue("(O(Oi))", restore, region, static_cast<int>(detection.confidence));
  Py_DECREF(restore);
  Py_XDECREF(region);
  return result;
}

PyObject* new_detection(const Detection& result) {
  PyObject* self = g_detection_type->tp_alloc(g_detection_type, 0);
  if (self == nullptr) return nullptr;
  auto* detection = reinterpret_cast<DetectionObject*>(self);
  detection->region = result.region;
  detection->confidence = result.confidence;
  return self;
}

// Detection._restore(region, confidence): the detection a pickle holds.
PyObject* detection_restore(PyObject*, PyObject* const* args, Py_ssize_t nargs, PyObject* kwnames) {
  static const char* const kParameters[] = {"region", "confidence"};
  static const Signature kSignature{"Detection._restore", kParameters, 2};
  PyObject* bound[2];
  std::string_view code;
  if (!bind_fastcall(kSignature, args, nargs, kwnames, bound) ||
      !read_utf8("region", bound[0], &code)) {
    return nullptr;
  }
  const Result<Region> region = parse_region_code(code);
  if (!region) return raise_value_error(region.error());
  const long confidence = PyLong_Check(bound[1]) ? PyLong_AsLong(bound[1]) : -1;
  if (confidence < 0 || confidence > 255) {
    if (!PyErr_Occurred()) raise_value_error(messages::confidence_out_of_range());
    return nullptr;
  }
  return new_detection({region.value(), static_cast<unsigned char>(confidence)});
}

PyMethodDef detection_methods[] = {
    {"__reduce__", detection_reduce, METH_NOARGS, nullptr},
    {"__copy__", same_object, METH_NOARGS, nullptr},
    {"__deepcopy__", same_object, METH_O, nullptr},
    {"_restore", as_cfunction(detection_restore), METH_FASTCALL | METH_KEYWORDS | METH_STATIC,
     nullptr},
    {nullptr, nullptr, 0, nullptr},
};

PyType_Slot detection_slots[] = {
    {Py_tp_methods, detection_methods},
    {Py_tp_new, reinterpret_cast<void*>(detection_new)},
    {Py_tp_dealloc, reinterpret_cast<void*>(detection_dealloc)},
    {Py_tp_repr, reinterpret_cast<void*>(detection_repr)},
    {Py_tp_getset, detection_getset},
    {0, nullptr},
};

// The detection of `text`, read from its storage: its UTF-8 form would
// stay attached to it. May throw std::bad_alloc.
std::optional<Detection> detect_str(const TextArgument& text) {
  const void* const data = PyUnicode_DATA(text.str);
  const auto length = static_cast<std::size_t>(PyUnicode_GET_LENGTH(text.str));
  switch (PyUnicode_KIND(text.str)) {
    case PyUnicode_1BYTE_KIND:
      // ASCII is UTF-8 as it stands; Latin-1 holds nothing detection counts.
      if (!PyUnicode_IS_ASCII(text.str)) return std::nullopt;
      return lumo::detect(static_cast<const char*>(data), length);
    case PyUnicode_2BYTE_KIND:
      return lumo::detect(static_cast<const Py_UCS2*>(data), length);
    default:
      return lumo::detect(static_cast<const Py_UCS4*>(data), length);
  }
}

}  // namespace

PyObject* create_detection_type() {
  static PyType_Spec spec = {"builtins.Detection", sizeof(DetectionObject), 0, 0, detection_slots};
  return create_final_class(&spec, &g_detection_type);
}

PyObject* detect(PyObject*, PyObject* const* args, Py_ssize_t nargs, PyObject* kwnames) {
  static const char* const kParameters[] = {"text"};
  static const Signature kSignature{"detect", kParameters, 1};
  PyObject* bound[1];
  TextArgument text;
  if (!bind_fastcall(kSignature, args, nargs, kwnames, bound) ||
      !read_text(kParameters[0], bound[0], &text)) {
    return nullptr;
  }
  return guarded([&]() -> PyObject* {
    const std::optional<Detection> result = detect_str(text);
    if (!result) Py_RETURN_NONE;
    return new_detection(*result);
  });
}

}  // namespace lumo::python
