#include "engine/config/regions.h"

#include <array>
#include <optional>
#include <string>

#include "dict/messages.h"
#include "engine/config/name_lookup.h"
#include "generated/builtin_routes.h"

namespace lumo {
namespace {

// The index of the region coded `code`. Used only in constant evaluation,
// where a code that is no region fails the build.
constexpr std::size_t region_index(std::string_view code) {
  for (std::size_t i = 0; i < kRegionCount; ++i) {
    if (kRegionCodes[i] == code) return i;
  }
  throw "a route of data/config/configurations.json names no region";
}

// kRoutes[from][to], in canonical region order: the routes the built-in
// configurations serve (kBuiltinRoutes, which CMake checks go from one
// region to another and are served once).
constexpr auto kRoutes = [] {
  std::array<std::array<std::optional<ConfigId>, kRegionCount>, kRegionCount> routes{};
  for (const BuiltinRoute& route : kBuiltinRoutes) {
    routes[region_index(route.from)][region_index(route.to)] = route.config;
  }
  return routes;
}();

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
