#include <gtest/gtest.h>

#include "engine/config_loader.h"

namespace lumo {
namespace {

TEST(Smoke, ConvertsUnderS2twp) {
  const Converter converter = build_converter(ConfigId::kS2TWP, {});
  EXPECT_EQ(convert_text(converter, "我的U盘坏了"), "我的隨身碟壞了");
}

}  // namespace
}  // namespace lumo
