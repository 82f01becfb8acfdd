// Region codes and the routing of (from, to) pairs to configurations.
//
// Codes are compared byte for byte and case-sensitively. The canonical order
// ("jp-t" before "jp-n") is the order of locales() and of the valid codes in
// the "unknown region" message. The ordered pairs listed as routes in
// data/config/configurations.json have one; equal codes and the other pairs
// are errors, and nothing is built for them.
#ifndef LUMO_ENGINE_CONFIG_REGIONS_H_
#define LUMO_ENGINE_CONFIG_REGIONS_H_

#include <array>
#include <cstdint>
#include <string_view>

#include "dict/result.h"
#include "engine/config/builtin_configs.h"

namespace lumo {

enum class Region : std::uint8_t { kCnS, kCnT, kCnTw, kCnHk, kJpT, kJpN };

inline constexpr std::size_t kRegionCount = 6;

// Codes, indexed by Region.
inline constexpr std::array<std::string_view, kRegionCount> kRegionCodes = {
    "cn-s", "cn-t", "cn-tw", "cn-hk", "jp-t", "jp-n",
};

constexpr std::string_view region_code(Region region) {
  return kRegionCodes[static_cast<std::size_t>(region)];
}

// The region named exactly `code`, or "unknown region '<code>'. Valid: ...".
Result<Region> parse_region_code(std::string_view code);

// The configuration converting from `from` to `to`, or the message naming
// the first unknown code, the equal codes, or the missing route.
Result<ConfigId> route_regions(std::string_view from, std::string_view to);

}  // namespace lumo

#endif  // LUMO_ENGINE_CONFIG_REGIONS_H_
