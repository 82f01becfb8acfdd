// Region codes and the routing of (from, to) pairs to configurations.
#include <gtest/gtest.h>

#include <map>
#include <string>
#include <string_view>
#include <utility>

#include "engine/config/regions.h"
#include "generated/builtin_routes.h"

namespace lumo {
namespace {

using Pair = std::pair<std::string_view, std::string_view>;

constexpr std::string_view kCodes[] = {"cn-s", "cn-t", "cn-tw", "cn-hk", "jp-t", "jp-n"};
const std::string kUnknownTail = "'. Valid: cn-s, cn-t, cn-tw, cn-hk, jp-t, jp-n";

TEST(Regions, EveryOrderedPair) {
  std::map<Pair, ConfigId> routes;
  for (const BuiltinRoute& route : kBuiltinRoutes) {
    routes.emplace(Pair{route.from, route.to}, route.config);
  }
  ASSERT_EQ(routes.size(), kBuiltinRoutes.size());
  for (std::string_view from : kCodes) {
    for (std::string_view to : kCodes) {
      const std::string f(from);
      const std::string t(to);
      SCOPED_TRACE(f + " -> " + t);
      const Result<ConfigId> routed = route_regions(from, to);
      const auto route = routes.find({from, to});
      if (route != routes.end()) {
        ASSERT_TRUE(routed) << routed.error();
        EXPECT_EQ(config_name(routed.value()), config_name(route->second));
        continue;
      }
      ASSERT_FALSE(routed);
      EXPECT_EQ(routed.error(), from == to ? "no conversion needed: " + f + " -> " + t
                                           : "no direct conversion from '" + f + "' to '" + t +
                                                 "'; try an intermediate (e.g. " + f +
                                                 " -> cn-t -> " + t + ")");
    }
  }
}

TEST(Regions, UnknownCodeNamesTheFirstBadOne) {
  const struct {
    std::string_view from;
    std::string_view to;
    std::string_view named;
  } cases[] = {
      {"CN-S", "cn-t", "CN-S"},
      {"cn-TW", "cn-s", "cn-TW"},
      {"cn-tw ", "cn-s", "cn-tw "},
      {"xx", "yy", "xx"},
      {"xx", "xx", "xx"},    // unknown before equal
      {"cn-s", "xx", "xx"},  // a valid from, then the bad to
      {"cn-s", "", ""},
      {std::string_view("cn-s\0", 5), "cn-t", std::string_view("cn-s\0", 5)},
      {"cn-s", "cn-tw\n", "cn-tw\n"},
  };
  for (const auto& c : cases) {
    const Result<ConfigId> routed = route_regions(c.from, c.to);
    ASSERT_FALSE(routed) << c.from << " -> " << c.to;
    EXPECT_EQ(routed.error(), "unknown region '" + std::string(c.named) + kUnknownTail);
  }
}

}  // namespace
}  // namespace lumo
