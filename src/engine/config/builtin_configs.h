// The built-in configurations: their ids in canonical order, their
// names, and their stored JSON texts.
//
// The canonical order is the order of configs() and of the valid names in
// the "unknown config" message. Names and texts are constants.
#ifndef LUMO_ENGINE_CONFIG_BUILTIN_CONFIGS_H_
#define LUMO_ENGINE_CONFIG_BUILTIN_CONFIGS_H_

#include <cstddef>
#include <optional>
#include <string_view>

// ConfigId (kS2T for "s2t", ...) and kConfigNames, indexed by ConfigId,
// generated from data/config/configurations.json, the one list of them.
#include "generated/builtin_names.h"

namespace lumo {

inline constexpr std::size_t kConfigCount = kConfigNames.size();

constexpr std::string_view config_name(ConfigId id) {
  return kConfigNames[static_cast<std::size_t>(id)];
}

// The stored JSON text of a configuration, looked up by its canonical name;
// nullopt if none is stored. Defined beside the embedded texts.
std::optional<std::string_view> embedded_config_text(ConfigId id);

}  // namespace lumo

#endif  // LUMO_ENGINE_CONFIG_BUILTIN_CONFIGS_H_
