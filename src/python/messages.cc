#include "python/messages.h"

#include <initializer_list>

namespace lumo::python::messages {
namespace {

// `parts` joined into one string.
std::string joined(std::initializer_list<std::string_view> parts) {
  std::string text;
  for (const std::string_view part : parts) text.append(part);
  return text;
}

// "s" after a count other than one.
std::string_view plural(std::size_t count) { return count == 1 ? "" : "s"; }

}  // namespace

std::string too_many_positional(std::string_view function, std::size_t accepted, Py_ssize_t given) {
  return joined({function, "() takes ", std::to_string(accepted), " positional argument",
                 plural(accepted), " but ", std::to_string(given), given == 1 ? " was" : " were",
                 " given"});
}

std::string keywords_not_strings() { return "keywords must be strings"; }

std::string multiple_values(std::string_view function, std::string_view parameter) {
  return joined({function, "() got multiple values for argument '", parameter, "'"});
}

PyObject* unexpected_keyword(const char* function, PyObject* keyword) {
  return PyUnicode_FromFormat("%s() got an unexpected keyword argument '%U'", function, keyword);
}

// Lists names as CPython does: "'a'", "'a' and 'b'", "'a', 'b' and 'c'".
std::string missing_arguments(std::string_view function,
                              std::span<const std::string_view> parameters) {
  const std::size_t missing = parameters.size();
  std::string message = joined({function, "() missing ", std::to_string(missing),
                                " required positional argument", plural(missing), ": "});
  for (std::size_t i = 0; i < missing; ++i) {
    if (i > 0) message += missing > 2 ? "," : "";
    if (i > 0) message += i + 1 == missing ? " and " : " ";
    message.append("'").append(parameters[i]).append("'");
  }
  return message;
}

std::string not_a_str(std::string_view type) {
  return joined({"'", type, "' object cannot be converted to 'PyString'"});
}

PyObject* argument_error(const char* parameter, PyObject* cause) {
  return PyUnicode_FromFormat("argument '%s': %S", parameter, cause);
}

std::string not_bytes_like(std::string_view parameter, std::string_view type) {
  return joined({"argument '", parameter, "': a bytes-like object is required, not '", type, "'"});
}

std::string max_held_not_int(std::string_view type) {
  return joined({"argument 'max_held': an int or None is required, not '", type, "'"});
}

std::string max_held_not_positive() { return "argument 'max_held' must be positive, or None"; }

std::string separator_not_one_ascii_character() {
  return "argument 'separator' must be one ASCII character";
}

std::string no_cut_within(std::size_t max_held, bool in_bytes) {
  return joined({"found no place to cut the text within max_held=", std::to_string(max_held), " ",
                 in_bytes ? "bytes" : "characters",
                 " held; pass a larger max_held, or None for no bound"});
}

std::string stream_already_executing() { return "stream already executing"; }

const char* utf8_error_reason(bool cut_short, unsigned char lead) {
  if (cut_short) return "unexpected end of data";
  return lead < 0xC2 || lead > 0xF4 ? "invalid start byte" : "invalid continuation byte";
}

std::string unusable_entries() {
  return "entries must be a list of [key, value] pairs, a dict, or a 'key value|...' string";
}

std::string dict_keys_not_strings() { return "dict keys must be strings"; }

std::string dict_values_not_strings() { return "dict values must be strings"; }

std::string custom_dict_empty() { return "custom dict is empty"; }

std::string custom_list_empty() { return "custom entries list is empty"; }

std::string custom_iterator_empty() { return "custom entries iterator is empty"; }

std::string batch_item_not_str(std::size_t index, std::string_view type) {
  return joined({"texts[", std::to_string(index), "] must be str or None, not ", type});
}

std::string batch_of_one_text(std::string_view type) {
  return joined({"texts must be an iterable of str or None, not ", type});
}

std::string arrow_no_interface(std::string_view type) {
  return joined(
      {"convert_arrow needs an object with __arrow_c_stream__ or __arrow_c_array__, not ", type});
}

std::string arrow_not_a_capsule(std::string_view method, std::string_view capsule) {
  return joined({method, " returned no '", capsule, "' capsule"});
}

std::string arrow_capsule_released(std::string_view capsule) {
  return joined({"the '", capsule, "' capsule was already consumed"});
}

std::string arrow_not_strings(std::string_view type_name) {
  return joined(
      {"convert_arrow needs string, large_string or string_view values, not ", type_name});
}

std::string arrow_bad_layout(columns::LayoutFault fault, std::size_t first) {
  std::string_view what = "is broken";
  switch (fault) {
    case columns::LayoutFault::kNegativeLength:
      what = "has a negative length or offset";
      break;
    case columns::LayoutFault::kMissingBuffer:
      what = "lacks a buffer its type needs";
      break;
    case columns::LayoutFault::kBadOffsets:
      what = "has offsets that decrease or are negative";
      break;
    case columns::LayoutFault::kViewOutOfBounds:
      what = "has a view outside its data buffers";
      break;
    case columns::LayoutFault::kWrongStructShape:
      what = "is a struct without one child of its length";
      break;
    case columns::LayoutFault::kNone:
      break;
  }
  return joined({"convert_arrow: the array from row ", std::to_string(first), " ", what});
}

std::string arrow_invalid_utf8(std::size_t row) {
  return joined({"convert_arrow: row ", std::to_string(row), " is not valid UTF-8"});
}

std::string arrow_producer_failed(int code, const char* text) {
  if (text != nullptr && *text != '\0') return text;
  return joined({"the Arrow stream failed with error ", std::to_string(code)});
}

std::string entry_not_a_pair(std::size_t index) {
  return joined({"entries[", std::to_string(index), "] must be a [key, value] pair"});
}

std::string entry_not_two_elements(std::size_t index) {
  return joined({"entries[", std::to_string(index), "] must be a 2-element [key, value]"});
}

std::string entry_with_empty_key(std::size_t index) {
  return joined({"entries[", std::to_string(index), "] has an empty key"});
}

std::string detection_without_constructor() { return "No constructor defined"; }

std::string confidence_out_of_range() { return "confidence must be 0 to 255"; }

std::string no_sub_interpreters() { return "lumo does not support sub-interpreters"; }

std::string config_name_changed() { return "config_name was validated at construction"; }

std::string internal_failure(std::string_view what) { return joined({"lumo: ", what}); }

std::string unknown_internal_failure() { return "lumo: unknown internal failure"; }

}  // namespace lumo::python::messages
