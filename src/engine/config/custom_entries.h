// Custom entries given as text: "key value|key value|...".
//
// The text is split at every separator ('|' unless a caller names another)
// into pieces, numbered from 0 (empty pieces count). Each piece is trimmed
// of white space; a blank piece is skipped; otherwise its first U+0020
// SPACE separates the key from the value, each trimmed again, so a value
// may hold spaces and a key never does. The other entry shapes (dict,
// sequences of pairs) are Python objects and are read by the module.
#ifndef LUMO_ENGINE_CONFIG_CUSTOM_ENTRIES_H_
#define LUMO_ENGINE_CONFIG_CUSTOM_ENTRIES_H_

#include <cstddef>
#include <optional>
#include <string>
#include <string_view>

#include "dict/result.h"
#include "engine/config/config_loader.h"

namespace lumo {

// A piece of a custom text that holds no space: its number and its text,
// trimmed (a slice of the text parsed).
struct PieceWithoutSpace {
  std::size_t number = 0;
  std::string_view text;
};

// The pairs of a custom text cut at every `separator`, in order, or the
// first piece without a space. Pairs may be none.
struct CustomPieces {
  CustomPairs pairs;
  std::optional<PieceWithoutSpace> without_space;
};
CustomPieces read_custom_pieces(std::string_view text, char separator);

// The message for `pieces` that hold a piece without a space or no pair;
// nullopt for pieces that hold a pair and nothing wrong.
std::optional<std::string> custom_pieces_error(const CustomPieces& pieces);

// The pairs of a "key value|..." text (never empty), or the message for
// the first piece without a space, or for a text without any pair.
Result<CustomPairs> parse_custom_string(std::string_view text);

// `text` as a double-quoted literal: backslash before '"' and '\', the
// escapes \t \r \n \0, \u{hex} for other characters that are not printable,
// every printable character as itself.
std::string quoted_literal(std::string_view text);

// False for the code points of the general categories Cc, Cf, Cs, Co, Cn,
// Zl, Zp and Zs, except U+0020 SPACE.
bool is_printable(char32_t code_point);

}  // namespace lumo

#endif  // LUMO_ENGINE_CONFIG_CUSTOM_ENTRIES_H_
