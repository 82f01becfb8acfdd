#include "python/detection_type.h"

#include <cstddef>
#include <optional>
#include <string_view>

#include "detect/detect.h"
#include "python/arguments.h"
#include "python/errors.h"
#include "python/final_class.h"
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
  PyErr_SetString(PyExc_TypeError, "No constructor defined");
  return nullptr;
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

PyType_Slot detection_slots[] = {
    {Py_tp_new, reinterpret_cast<void*>(detection_new)},
    {Py_tp_dealloc, reinterpret_cast<void*>(detection_dealloc)},
    {Py_tp_repr, reinterpret_cast<void*>(detection_repr)},
    {Py_tp_getset, detection_getset},
    {0, nullptr},
};

// The detection of the str `text`, read from its storage: its UTF-8 form
// would stay attached to it. False with an exception set when the str
// cannot be read: for a str holding surrogates, the UnicodeEncodeError
// that reading it as UTF-8 raises. May throw std::bad_alloc.
bool detect_str(PyObject* text, std::optional<Detection>* result) {
#if PY_VERSION_HEX < 0x030C0000
  if (PyUnicode_READY(text) != 0) return false;
#endif
  const void* const data = PyUnicode_DATA(text);
  const auto length = static_cast<std::size_t>(PyUnicode_GET_LENGTH(text));
  switch (PyUnicode_KIND(text)) {
    case PyUnicode_1BYTE_KIND:
      // ASCII is UTF-8 as it stands; Latin-1 holds nothing detection counts.
      *result = PyUnicode_IS_ASCII(text) ? lumo::detect(static_cast<const char*>(data), length)
                                         : std::nullopt;
      return true;
    case PyUnicode_2BYTE_KIND: {
      const auto* const units = static_cast<const Py_UCS2*>(data);
      if (has_surrogate(units, length)) break;
      *result = lumo::detect(units, length);
      return true;
    }
    default: {
      const auto* const units = static_cast<const Py_UCS4*>(data);
      if (has_surrogate(units, length)) break;
      *result = lumo::detect(units, length);
      return true;
    }
  }
  // The interpreter raises its own error for a str it cannot encode, and
  // attaches nothing when it fails.
  std::string_view utf8;
  if (!read_utf8_plain(text, &utf8)) return false;
  *result = lumo::detect(utf8);
  return true;
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
  if (!bind_fastcall(kSignature, args, nargs, kwnames, bound)) return nullptr;
  PyObject* const text = bound[0];
  if (!PyUnicode_Check(text)) {
    std::string_view unread;
    read_utf8(kParameters[0], text, &unread);  // raises the TypeError
    return nullptr;
  }
  return guarded([&]() -> PyObject* {
    std::optional<Detection> result;
    if (!detect_str(text, &result)) return nullptr;
    if (!result) Py_RETURN_NONE;
    PyObject* self = g_detection_type->tp_alloc(g_detection_type, 0);
    if (self == nullptr) return nullptr;
    auto* detection = reinterpret_cast<DetectionObject*>(self);
    detection->region = result->region;
    detection->confidence = result->confidence;
    return self;
  });
}

}  // namespace lumo::python
