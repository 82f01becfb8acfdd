// Region codes and the routing of (from, to) pairs to configurations.
#include <gtest/gtest.h>

#include <map>
#include <string>
#include <string_view>
#include <utility>

#include "engine/config/regions.h"

namespace lumo {
namespace {

using enum ConfigId;
using Pair = std::pair<std::string_view, std::string_view>;

constexpr std::string_view kCodes[] = {"cn-s", "cn-t", "cn-tw", "cn-hk", "jp-t", "jp-n"};
const std::string kUnknownTail = "'. Valid: cn-s, cn-t, cn-tw, cn-hk, jp-t, jp-n";

TEST(Regions, EveryOrderedPair) {
  const std::map<Pair, ConfigId> routes = {
      {{"cn-s", "cn-t"}, kS2T},    {{"cn-s", "cn-tw"}, kS2TWP}, {{"cn-s", "cn-hk"}, kS2HKP},
      {{"cn-t", "cn-s"}, kT2S},    {{"cn-t", "cn-tw"}, kT2TW},  {{"cn-t", "cn-hk"}, kT2HK},
      {{"cn-t", "jp-n"}, kT2JP},   {{"cn-tw", "cn-s"}, kTW2SP}, {{"cn-tw", "cn-t"}, kTW2T},
      {{"cn-hk", "cn-s"}, kHK2SP}, {{"cn-hk", "cn-t"}, kHK2T},  {{"jp-t", "jp-n"}, kT2JP},
      {{"jp-n", "cn-t"}, kJP2T},   {{"jp-n", "jp-t"}, kJP2T},
  };
  ASSERT_EQ(routes.size(), 14u);
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
