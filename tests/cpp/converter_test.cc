// Conversion through the built-in configurations and through small
// hand-built converters.
#include <gtest/gtest.h>

#include <array>
#include <optional>
#include <string>

#include "engine/config/config_loader.h"
#include "engine/core/conversion.h"

namespace lumo {
namespace {

// Built-in converters, built once per test binary.
const Converter& builtin(ConfigId id) {
  static std::array<std::optional<Converter>, kConfigCount> cache;
  std::optional<Converter>& slot = cache[static_cast<std::size_t>(id)];
  if (!slot) slot = build_converter(id, {});
  return *slot;
}

TEST(Conversion, EmptyAndAsciiTextUnchangedEverywhere) {
  const std::string ascii =
      "Hello, World! 0123 U B OK\n\tfoo_bar-baz (x) [y] {z} ~`@#$%^&*+=|\\/?<>\"';:.\r\n";
  for (std::size_t i = 0; i < kConfigCount; ++i) {
    const Converter& converter = builtin(static_cast<ConfigId>(i));
    EXPECT_EQ(convert_text(converter, ""), "") << kConfigNames[i];
    EXPECT_EQ(convert_text(converter, ascii), ascii) << kConfigNames[i];
  }
}

TEST(Conversion, BuiltinConfigs) {
  using enum ConfigId;
  const struct {
    ConfigId id;
    CustomPairs pairs;
    const char* input;
    const char* expected;
  } cases[] = {
      // Phrases, first values, characters.
      {kS2T, {}, "头发干净了", "頭髮乾淨了"},
      {kS2T, {}, "一出戏剧", "一齣戲劇"},
      {kS2T, {}, "海里的面条", "海里的麪條"},
      {kT2S, {}, "丟失", "丢失"},
      {kT2S, {}, "想像", "想像"},
      {kT2S, {}, "㑮", "㑮"},
      // A later stage looks up what the earlier one wrote.
      {kS2T, {}, "为了", "爲了"},
      {kS2TW, {}, "为了", "為了"},
      {kS2HK, {}, "卫生", "衞生"},
      {kTW2S, {}, "為了", "为了"},
      {kT2TW, {}, "着想", "著想"},
      {kT2HK, {}, "衛生", "衞生"},
      {kHK2SP, {}, "奧克拉荷馬", "俄克拉何马"},
      {kJP2T, {}, "世論", "輿論"},
      {kT2JP, {}, "乘車", "乗車"},
      // Regional phrases, and ASCII-led segments that are never looked up.
      {kS2TWP, {}, "我的U盘坏了", "我的隨身碟壞了"},
      {kS2TWP, {}, "U盘", "U盤"},
      {kS2TWP, {}, "用U盘", "用隨身碟"},
      {kS2TWP, {}, "做B超", "做超音波"},
      {kS2TWP, {}, "B超", "B超"},
      {kS2TWP, {}, "三极管", "三極體"},
      {kS2HKP, {}, "三极管", "三極管"},
      {kS2TWP, {}, "鼠标", "滑鼠"},
      {kTW2SP, {}, "核心", "核心"},
      {kTW2SP, {}, "乙太網路", "以太网"},
      // Custom pairs head every group, and their values are not final.
      {kS2T, {{"核", "X"}}, "核心", "X心"},
      {kS2T, {{"中", "X"}}, "中国", "X國"},
      {kS2TWP, {{"老鼠", "鼠標"}}, "老鼠", "滑鼠"},
      {kS2T, {{"OK", "好"}}, "说OK了", "說OK了"},
      {kS2T, {{"A", "B"}}, "中A", "中A"},
      // t2jp has no segmentation: the whole input is one segment.
      {kT2JP, {{"A", "B"}}, "乘A", "乗B"},
      {kT2JP, {{"A", "B"}}, "A乘A", "A乗A"},
  };
  for (const auto& [id, pairs, input, expected] : cases) {
    const std::string output = pairs.empty() ? convert_text(builtin(id), input)
                                             : convert_text(build_converter(id, pairs), input);
    EXPECT_EQ(output, expected) << config_name(id) << ": " << input;
  }
}

TEST(Conversion, HandBuiltConverters) {
  const char* segmented = R"({
    "segmentation": {"dict": {"type": "inline", "entries": {"甲乙": "-", "ab": "-"}}},
    "conversion_chain": [{"dict": {"type": "inline", "entries": {"乙丙": "Y", "甲": "J", "丙": "C",
        "b中": "Q", "中": "Z"}}}]})";
  const char* chained = R"({"conversion_chain": [
    {"dict": {"type": "inline", "entries": {"甲": "乙", "中": "A"}}},
    {"dict": {"type": "inline", "entries": {"乙": "丙", "乙乙": "Z", "A": "B"}}}]})";
  const char* one_stage = R"({"conversion_chain": [
    {"dict": {"type": "inline", "entries": {"A": "α", "中A": "X", "中": "Z"}}}]})";
  const char* never_segments = R"({
    "segmentation": {"dict": {"type": "group", "dicts": []}},
    "conversion_chain": [{"dict": {"type": "inline", "entries": {"甲乙丙丁": "K", "甲": "J"}}}]})";
  const struct {
    const char* label;
    const char* config;
    const char* input;
    const char* expected;
  } cases[] = {
      {"a key spanning two segments is not matched", segmented, "甲乙丙", "J乙C"},
      {"segmentation looks up at ASCII too", segmented, "中ab中", "ZabZ"},
      {"stage 2 reads stage 1 output", chained, "甲", "丙"},
      {"stage 2 matches afresh over stage 1 output", chained, "甲乙", "Z"},
      {"stage 2 input led by ASCII is not looked up there", chained, "中", "A"},
      {"the lead byte is that of the stage input", chained, "é中", "éB"},
      {"ASCII-led: no lookup at ASCII", one_stage, "A", "A"},
      {"ASCII-led: lookup at non-ASCII", one_stage, "xA中A", "xAX"},
      {"non-ASCII-led: lookup at ASCII", one_stage, "é A", "é α"},
      {"ASCII-led: a match runs over ASCII", one_stage, "a中Ab", "aXb"},
      {"non-ASCII-led: a match runs over ASCII", one_stage, "中A中A中", "XXZ"},
      {"unknown characters pass through", one_stage, "𠀀乙", "𠀀乙"},
      {"a run is one segment however long", never_segments, "甲乙丙丁甲", "KJ"},
  };
  for (const auto& [label, config, input, expected] : cases) {
    const Result<Converter> converter = load_config(config, {});
    ASSERT_TRUE(converter.ok()) << label << ": " << converter.error();
    EXPECT_EQ(convert_text(converter.value(), input), expected) << label;
  }
}

}  // namespace
}  // namespace lumo
