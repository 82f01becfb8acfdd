// The six region codes in canonical order.
//
// Codes are compared byte for byte and case-sensitively. The canonical order
// ("jp-t" before "jp-n") is the order of locales() and of the valid codes in
// the "unknown region" message.
#ifndef LUMO_ENGINE_REGIONS_H_
#define LUMO_ENGINE_REGIONS_H_

#include <array>
#include <cstdint>
#include <string_view>

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

}  // namespace lumo

#endif  // LUMO_ENGINE_REGIONS_H_
