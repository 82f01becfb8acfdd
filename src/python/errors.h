// How engine outcomes become Python exceptions.
//
// Engine error messages become ValueError with the text unchanged. Internal
// failures (InternalError, or any other unexpected C++ exception) become the
// module's internal-failure exception, which derives directly from
// BaseException so that `except Exception` does not swallow a broken
// invariant. Running out of memory becomes MemoryError. All of this happens
// at the module boundary: no C++ exception crosses into the interpreter.
#ifndef LUMO_PYTHON_ERRORS_H_
#define LUMO_PYTHON_ERRORS_H_

#include <new>
#include <string_view>

#include "engine/config/internal_error.h"
#include "python/messages.h"
#include "python/python.h"

namespace lumo::python {

// Raises ValueError(message); returns nullptr.
PyObject* raise_value_error(std::string_view message);

// Raises TypeError(message); returns nullptr. The second form takes the
// reference to a str `message`; a null one means an exception is set.
PyObject* raise_type_error(std::string_view message);
PyObject* raise_type_error(PyObject* message);

// Creates the internal-failure exception's type; the module's
// initialisation calls it once, before any call can raise it. False with an
// exception set.
bool create_internal_error_type();

// Raises the internal-failure exception; returns nullptr.
PyObject* raise_internal_error(std::string_view message);

// A new str holding `text` (valid UTF-8), or nullptr with an exception set.
PyObject* new_str(std::string_view text);

// Runs `body` (returning PyObject*), turning C++ exceptions into Python
// ones. Everything `body` built is released by its destructors on the way
// out, so no partial state survives.
template <typename Body>
PyObject* guarded(Body&& body) {
  try {
    return body();
  } catch (const std::bad_alloc&) {
    return PyErr_NoMemory();
  } catch (const std::length_error&) {
    return PyErr_NoMemory();
  } catch (const InternalError& error) {
    return raise_internal_error(error.what());
  } catch (const std::exception& error) {
    return raise_internal_error(messages::internal_failure(error.what()));
  } catch (...) {
    return raise_internal_error(messages::unknown_internal_failure());
  }
}

}  // namespace lumo::python

#endif  // LUMO_PYTHON_ERRORS_H_
