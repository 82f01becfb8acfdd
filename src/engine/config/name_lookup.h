// Looking a caller's name up in a fixed list of valid names.
#ifndef LUMO_ENGINE_CONFIG_NAME_LOOKUP_H_
#define LUMO_ENGINE_CONFIG_NAME_LOOKUP_H_

#include <cstddef>
#include <span>
#include <string>
#include <string_view>

#include "dict/messages.h"
#include "dict/result.h"

namespace lumo {

// The position of `name` in `names` (compared byte for byte), or the
// message messages::unknown_name gives for it.
inline Result<std::size_t> find_name(std::span<const std::string_view> names, std::string_view name,
                                     std::string_view what) {
  for (std::size_t i = 0; i < names.size(); ++i) {
    if (names[i] == name) return i;
  }
  return Error{messages::unknown_name(what, name, names)};
}

}  // namespace lumo

#endif  // LUMO_ENGINE_CONFIG_NAME_LOOKUP_H_
