// Looking a caller's name up in a fixed list of valid names.
#ifndef LUMO_ENGINE_CONFIG_NAME_LOOKUP_H_
#define LUMO_ENGINE_CONFIG_NAME_LOOKUP_H_

#include <cstddef>
#include <span>
#include <string>
#include <string_view>

#include "dict/result.h"

namespace lumo {

// The position of `name` in `names` (compared byte for byte), or the
// message "unknown <what> '<name>'. Valid: " followed by every name, joined
// by ", ". The name is inserted as given, without quoting or escaping.
inline Result<std::size_t> find_name(std::span<const std::string_view> names, std::string_view name,
                                     std::string_view what) {
  for (std::size_t i = 0; i < names.size(); ++i) {
    if (names[i] == name) return i;
  }
  std::string message = "unknown ";
  message.append(what).append(" '").append(name).append("'. Valid: ");
  for (std::size_t i = 0; i < names.size(); ++i) {
    if (i > 0) message.append(", ");
    message.append(names[i]);
  }
  return Error{std::move(message)};
}

}  // namespace lumo

#endif  // LUMO_ENGINE_CONFIG_NAME_LOOKUP_H_
