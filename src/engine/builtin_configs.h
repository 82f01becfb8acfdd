// The sixteen built-in configurations: their ids in canonical order, their
// names, and their stored JSON texts.
//
// The canonical order is the order of configs() and of the valid names in
// the "unknown config" message. Names and texts are constants.
#ifndef LUMO_ENGINE_BUILTIN_CONFIGS_H_
#define LUMO_ENGINE_BUILTIN_CONFIGS_H_

#include <array>
#include <cstdint>
#include <optional>
#include <string_view>

namespace lumo {

enum class ConfigId : std::uint8_t {
  kS2T,
  kT2S,
  kS2TW,
  kTW2S,
  kS2HK,
  kHK2S,
  kS2TWP,
  kTW2SP,
  kS2HKP,
  kHK2SP,
  kT2TW,
  kTW2T,
  kT2HK,
  kHK2T,
  kT2JP,
  kJP2T,
};

inline constexpr std::size_t kConfigCount = 16;

// Canonical names, indexed by ConfigId.
inline constexpr std::array<std::string_view, kConfigCount> kConfigNames = {
    "s2t",   "t2s",   "s2tw", "tw2s", "s2hk", "hk2s", "s2twp", "tw2sp",
    "s2hkp", "hk2sp", "t2tw", "tw2t", "t2hk", "hk2t", "t2jp",  "jp2t",
};

constexpr std::string_view config_name(ConfigId id) {
  return kConfigNames[static_cast<std::size_t>(id)];
}

// The stored JSON text of a configuration, looked up by its canonical name;
// nullopt if none is stored. Defined beside the embedded texts.
std::optional<std::string_view> embedded_config_text(ConfigId id);

}  // namespace lumo

#endif  // LUMO_ENGINE_BUILTIN_CONFIGS_H_
