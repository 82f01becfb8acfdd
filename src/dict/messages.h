// The engine's messages: every text a caller can see from src/dict,
// src/engine and src/detect, one function per message.
//
// Messages a caller can cause come back as Result errors and the module
// raises them as ValueError; the texts of internal failures begin with
// "lumo: " and travel in an InternalError. Variable parts are inserted as
// given, without quoting or escaping, unless a parameter says otherwise.
// The file sits in the lowest room so that every room can reach it.
#ifndef LUMO_DICT_MESSAGES_H_
#define LUMO_DICT_MESSAGES_H_

#include <cstddef>
#include <span>
#include <string>
#include <string_view>

namespace lumo::messages {

// Looking names up: "unknown <what> '<name>'. Valid: " followed by every
// name of `valid`, joined by ", ".
std::string unknown_name(std::string_view what, std::string_view name,
                         std::span<const std::string_view> valid);

// Dictionary descriptions.
std::string unknown_embedded_dictionary(std::string_view name);
std::string file_dict_without_file();
std::string group_without_dicts();
std::string inline_without_entries();
std::string unsupported_dictionary_type(std::string_view type);

// Configuration texts. `reason` is what the JSON reader found wrong.
std::string invalid_config_json(std::string_view reason);
std::string nested_too_deeply(std::size_t max_depth);
std::string conversion_chain_missing();
std::string segmentation_without_dict();
std::string stage_without_dict();

// Routes between regions, named by the codes the caller gave.
std::string no_conversion_needed(std::string_view from, std::string_view to);
std::string no_direct_conversion(std::string_view from, std::string_view to);

// Custom strings: piece `number` (from 0) holds no space; `quoted_piece` is
// the piece as a quoted literal.
std::string custom_piece_without_space(std::size_t number, std::string_view quoted_piece);
std::string custom_string_without_pairs();

// Internal failures of the built-in data.
std::string missing_embedded_config(std::string_view name);
std::string unresolvable_embedded_config(std::string_view name, std::string_view error);
std::string missing_embedded_dictionary(std::string_view name);

}  // namespace lumo::messages

#endif  // LUMO_DICT_MESSAGES_H_
