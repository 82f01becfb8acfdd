#include "dict/messages.h"

#include <initializer_list>

namespace lumo::messages {
namespace {

// `parts` joined into one string.
std::string joined(std::initializer_list<std::string_view> parts) {
  std::string text;
  for (const std::string_view part : parts) text.append(part);
  return text;
}

}  // namespace

std::string unknown_name(std::string_view what, std::string_view name,
                         std::span<const std::string_view> valid) {
  std::string message = joined({"unknown ", what, " '", name, "'. Valid: "});
  for (std::size_t i = 0; i < valid.size(); ++i) {
    if (i > 0) message.append(", ");
    message.append(valid[i]);
  }
  return message;
}

std::string unknown_embedded_dictionary(std::string_view name) {
  return joined({"unknown embedded dictionary: ", name});
}

std::string file_dict_without_file() { return "file-based dict is missing its file name"; }

std::string group_without_dicts() { return "group.dicts is missing or not an array"; }

std::string inline_without_entries() { return "inline.entries is missing or not an object"; }

std::string unsupported_dictionary_type(std::string_view type) {
  return joined({"unsupported dictionary type: ", type});
}

std::string invalid_config_json(std::string_view reason) {
  return joined({"invalid config JSON: ", reason});
}

std::string nested_too_deeply(std::size_t max_depth) {
  return joined({"nested deeper than ", std::to_string(max_depth), " levels"});
}

std::string conversion_chain_missing() { return "conversion_chain is missing or not an array"; }

std::string segmentation_without_dict() { return "segmentation.dict is missing"; }

std::string stage_without_dict() { return "a conversion_chain stage is missing its dict"; }

std::string no_conversion_needed(std::string_view from, std::string_view to) {
  return joined({"no conversion needed: ", from, " -> ", to});
}

std::string no_direct_conversion(std::string_view from, std::string_view to) {
  return joined({"no direct conversion from '", from, "' to '", to, "'; try an intermediate (e.g. ",
                 from, " -> cn-t -> ", to, ")"});
}

std::string custom_piece_without_space(std::size_t number, std::string_view quoted_piece) {
  return joined({"dict entry ", std::to_string(number),
                 ": expected 'key value' separated by a space, got ", quoted_piece});
}

std::string custom_string_without_pairs() { return "custom dict string parsed to zero entries"; }

std::string missing_embedded_config(std::string_view name) {
  return joined({"lumo: missing embedded config '", name, "'"});
}

std::string unresolvable_embedded_config(std::string_view name, std::string_view error) {
  return joined({"lumo: failed to resolve config '", name, "': ", error});
}

std::string missing_embedded_dictionary(std::string_view name) {
  return joined({"lumo: missing embedded dictionary '", name, "'"});
}

}  // namespace lumo::messages
