// Custom entries given as text: "key value|key value|...".
//
// The text is split at every '|' into pieces, numbered from 0 (empty pieces
// count). Each piece is trimmed of white space; a blank piece is skipped;
// otherwise its first U+0020 SPACE separates the key from the value, each
// trimmed again, so a value may hold spaces and a key never does. The other
// entry shapes (dict, sequences of pairs) are Python objects and are read
// by the module.
#ifndef LUMO_ENGINE_CONFIG_CUSTOM_ENTRIES_H_
#define LUMO_ENGINE_CONFIG_CUSTOM_ENTRIES_H_

#include <string>
#include <string_view>

#include "dict/result.h"
#include "engine/config/config_loader.h"

namespace lumo {

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
