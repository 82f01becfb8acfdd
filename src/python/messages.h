// The binding's messages: the text of every exception src/python raises
// itself, one function per message, taking the message's variable parts.
//
// Most return the text as UTF-8; the two whose parts are Python objects
// return a new str (nullptr with an exception set). Messages of the engine
// come from dict/messages.h and pass through unchanged; docstrings are not
// messages and stay beside what they document.
#ifndef LUMO_PYTHON_MESSAGES_H_
#define LUMO_PYTHON_MESSAGES_H_

#include <cstddef>
#include <span>
#include <string>
#include <string_view>

#include "columns/string_array.h"
#include "python/python.h"

namespace lumo::python::messages {

// Binding arguments, in CPython's wording for Python functions. `function`
// is the name shown ("Converter.convert").
std::string too_many_positional(std::string_view function, std::size_t accepted, Py_ssize_t given);
std::string keywords_not_strings();
std::string multiple_values(std::string_view function, std::string_view parameter);
PyObject* unexpected_keyword(const char* function, PyObject* keyword);
std::string missing_arguments(std::string_view function,
                              std::span<const std::string_view> parameters);

// Reading arguments. `type` is the name of the type given; `cause` the
// exception that reading the argument raised.
std::string not_a_str(std::string_view type);
PyObject* argument_error(const char* parameter, PyObject* cause);
std::string not_bytes_like(std::string_view parameter, std::string_view type);
std::string max_held_not_int(std::string_view type);
std::string max_held_not_positive();
std::string separator_not_one_ascii_character();

// Streams. `in_bytes` tells whether the bound counts bytes or characters.
std::string no_cut_within(std::size_t max_held, bool in_bytes);
std::string stream_already_executing();
// The reason of a UTF-8 decoding error: bytes cut short by the end of the
// data, or a bad byte `lead` at the start of a character or within one.
const char* utf8_error_reason(bool cut_short, unsigned char lead);

// Batches. `index` is the position of the item in the texts.
std::string batch_item_not_str(std::size_t index, std::string_view type);
// A str, bytes or bytearray given as the texts, which would iterate as
// characters or numbers.
std::string batch_of_one_text(std::string_view type);

// Arrow columns. `type` is the name of a Python type; `type_name` that
// of an Arrow type; `row` counts the column's rows across its arrays, and
// `first` is the first row of the array concerned.
std::string arrow_no_interface(std::string_view type);
std::string arrow_not_a_capsule(std::string_view method, std::string_view capsule);
std::string arrow_capsule_released(std::string_view capsule);
std::string arrow_not_strings(std::string_view type_name);
std::string arrow_bad_layout(columns::LayoutFault fault, std::size_t first);
std::string arrow_invalid_utf8(std::size_t row);
// A producer's stream failing with `code`; `text` is its description, if any.
std::string arrow_producer_failed(int code, const char* text);

// Custom entries. `index` is the position of the item in the entries.
std::string unusable_entries();
std::string dict_keys_not_strings();
std::string dict_values_not_strings();
std::string custom_dict_empty();
std::string custom_list_empty();
std::string custom_iterator_empty();
std::string entry_not_a_pair(std::size_t index);
std::string entry_not_two_elements(std::size_t index);
std::string entry_with_empty_key(std::size_t index);

// Detection objects.
std::string detection_without_constructor();
std::string confidence_out_of_range();

// The module and internal failures; `what` is the failure's own text.
std::string no_sub_interpreters();
std::string config_name_changed();
std::string internal_failure(std::string_view what);
std::string unknown_internal_failure();

}  // namespace lumo::python::messages

#endif  // LUMO_PYTHON_MESSAGES_H_
