#include "engine/config/regions.h"

#include <optional>
#include <string>

#include "dict/messages.h"
#include "engine/config/name_lookup.h"

namespace lumo {
namespace {

using enum ConfigId;
constexpr std::nullopt_t kNone = std::nullopt;

// kRoutes[from][to], in canonical region order.
constexpr std::optional<ConfigId> kRoutes[kRegionCount][kRegionCount] = {
    // to: cn-s   cn-t   cn-tw   cn-hk   jp-t   jp-n
    {kNone, kS2T, kS2TWP, kS2HKP, kNone, kNone},  // from cn-s
    {kT2S, kNone, kT2TW, kT2HK, kNone, kT2JP},    // from cn-t
    {kTW2SP, kTW2T, kNone, kNone, kNone, kNone},  // from cn-tw
    {kHK2SP, kHK2T, kNone, kNone, kNone, kNone},  // from cn-hk
    {kNone, kNone, kNone, kNone, kNone, kT2JP},   // from jp-t
    {kNone, kJP2T, kNone, kNone, kJP2T, kNone},   // from jp-n
};

}  // namespace

Result<Region> parse_region_code(std::string_view code) {
  const Result<std::size_t> index = find_name(kRegionCodes, code, "region");
  if (!index) return Error{index.error()};
  return static_cast<Region>(index.value());
}

Result<ConfigId> route_regions(std::string_view from, std::string_view to) {
  const Result<Region> source = parse_region_code(from);
  if (!source) return Error{source.error()};
  const Result<Region> target = parse_region_code(to);
  if (!target) return Error{target.error()};
  const std::optional<ConfigId> route =
      kRoutes[static_cast<std::size_t>(source.value())][static_cast<std::size_t>(target.value())];
  if (route) return *route;
  if (source.value() == target.value()) return Error{messages::no_conversion_needed(from, to)};
  return Error{messages::no_direct_conversion(from, to)};
}

}  // namespace lumo
