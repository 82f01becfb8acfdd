// Configuration names, configuration texts and the shape of the converters
// built from them.
#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <vector>

#include "engine/config/config_loader.h"
#include "engine/core/conversion.h"

namespace lumo {
namespace {

TEST(ResolveConfigName, CanonicalNamesOnly) {
  std::string valid;
  for (std::size_t i = 0; i < kConfigCount; ++i) {
    const Result<ConfigId> id = resolve_config_name(kConfigNames[i]);
    ASSERT_TRUE(id.ok()) << kConfigNames[i];
    EXPECT_EQ(static_cast<std::size_t>(id.value()), i);
    valid += (i == 0 ? "" : ", ") + std::string(kConfigNames[i]);
  }
  for (const std::string name : {"S2T", "s2t ", " s2t", "s2t.json", "", "s2", "s2twpx", "jp2t\n"}) {
    const Result<ConfigId> id = resolve_config_name(name);
    ASSERT_FALSE(id.ok()) << name;
    EXPECT_EQ(id.error(), "unknown config '" + name + "'. Valid: " + valid);
  }
}

TEST(LoadConfig, ReportsFirstFailingCheck) {
  const std::string no_chain = "conversion_chain is missing or not an array";
  const std::string no_seg_dict = "segmentation.dict is missing";
  const std::string no_stage_dict = "a conversion_chain stage is missing its dict";
  const std::pair<const char*, std::string> cases[] = {
      {"{}", no_chain},
      {"[]", no_chain},
      {"5", no_chain},
      {R"([{"conversion_chain": []}])", no_chain},
      {R"({"segmentation": 5})", no_seg_dict},
      {R"({"segmentation": null, "conversion_chain": []})", no_seg_dict},
      {R"({"segmentation": {}})", no_seg_dict},
      {R"({"segmentation": {"type": "mmseg"}, "conversion_chain": []})", no_seg_dict},
      {R"({"segmentation": [{"dict": {}}], "conversion_chain": []})", no_seg_dict},
      {R"({"segmentation": {"dict": {"type": "x"}}})", "unsupported dictionary type: x"},
      {R"({"name": "n"})", no_chain},
      {R"({"conversion_chain": {}})", no_chain},
      {R"({"segmentation": {"dict": {"file": "TWVariants"}}, "conversion_chain": "s2t"})",
       no_chain},
      {R"({"conversion_chain": [5]})", no_stage_dict},
      {R"({"conversion_chain": [{}]})", no_stage_dict},
      {R"({"conversion_chain": [{"type": "ocd2"}]})", no_stage_dict},
      {R"({"conversion_chain": [{"dict": {"file": "TWVariants"}}, {}]})", no_stage_dict},
      {R"({"conversion_chain": [{"dict": {"file": "TWVariants"}},
          {"dict": {"file": "Nope.ocd2"}}]})",
       "unknown embedded dictionary: Nope"},
      {R"({"conversion_chain": [{"dict": {"type": "group", "dicts": 1}}]})",
       "group.dicts is missing or not an array"},
  };
  for (const auto& [text, message] : cases) {
    const Result<Converter> converter = load_config(text, {});
    ASSERT_FALSE(converter.ok()) << text;
    EXPECT_EQ(converter.error(), message) << text;
  }
}

TEST(LoadConfig, SyntaxErrorsNameLineAndColumn) {
  for (const char* text : {"{\"conversion_chain\": []} x", "", "{\"conversion_chain\": [}",
                           "{\n  \"conversion_chain\": []\n}\n\n  x"}) {
    const Result<Converter> converter = load_config(text, {});
    ASSERT_FALSE(converter.ok()) << text;
    EXPECT_TRUE(converter.error().starts_with("invalid config JSON: ")) << converter.error();
    EXPECT_NE(converter.error().find("line "), std::string::npos) << converter.error();
    EXPECT_NE(converter.error().find("column "), std::string::npos) << converter.error();
  }
  EXPECT_NE(
      load_config("{\n  \"conversion_chain\": []\n}\n\n  x", {}).error().find("line 5, column 3"),
      std::string::npos);
}

// A number too large for a double is refused like a syntax error, not
// thrown out of the loader.
TEST(LoadConfig, NumbersOutOfRangeAreRefused) {
  for (const char* text : {"9E62622", "{\"conversion_chain\": [], \"x\": -1e400}"}) {
    const Result<Converter> converter = load_config(text, {});
    ASSERT_FALSE(converter.ok()) << text;
    EXPECT_TRUE(converter.error().starts_with("invalid config JSON: ")) << converter.error();
  }
}

TEST(LoadConfig, NestingDeeperThanSixtyFourLevelsIsRefused) {
  const std::string deep = std::string(100000, '[') + std::string(100000, ']');
  EXPECT_EQ(load_config(deep, {}).error(), "invalid config JSON: nested deeper than 64 levels");
  const std::string within =
      R"({"conversion_chain": )" + std::string(63, '[') + std::string(63, ']') + "}";
  EXPECT_EQ(load_config(within, {}).error(), "a conversion_chain stage is missing its dict");
}

TEST(LoadConfig, EmptyChainCopiesInput) {
  const Result<Converter> converter = load_config(" \t\r\n{\"conversion_chain\": []}\n\r\t ", {});
  ASSERT_TRUE(converter.ok()) << converter.error();
  EXPECT_FALSE(converter.value().segmentation.has_value());
  EXPECT_TRUE(converter.value().stages.empty());
  EXPECT_EQ(convert_text(converter.value(), "汉字 U盘 abc\n"), "汉字 U盘 abc\n");
}

// Every group of a built-in converter is one lexicon, headed by a lexicon
// of exactly the custom pairs when there are any.
TEST(BuildConverter, ShapesOfAllBuiltInConfigs) {
  const std::vector<std::string_view> two_stages = {"s2tw",  "tw2s",  "s2hk",  "hk2s",
                                                    "s2twp", "tw2sp", "s2hkp", "hk2sp"};
  for (std::size_t i = 0; i < kConfigCount; ++i) {
    SCOPED_TRACE(kConfigNames[i]);
    const auto id = static_cast<ConfigId>(i);
    for (const CustomPairs& pairs : {CustomPairs{}, CustomPairs{{"甲", "乙"}}}) {
      const Converter converter = build_converter(id, pairs);
      EXPECT_EQ(converter.segmentation.has_value(), kConfigNames[i] != "t2jp");
      const bool two = std::count(two_stages.begin(), two_stages.end(), kConfigNames[i]) == 1;
      EXPECT_EQ(converter.stages.size(), two ? 2u : 1u);
      std::vector<const DictionaryGroup*> groups;
      if (converter.segmentation) groups.push_back(&*converter.segmentation);
      for (const DictionaryGroup& stage : converter.stages) groups.push_back(&stage);
      for (const DictionaryGroup* group : groups) {
        ASSERT_EQ(group->size(), pairs.empty() ? 1u : 2u);
        if (pairs.empty()) continue;
        EXPECT_EQ(group->front().node_count(), 2u);
        EXPECT_EQ(group->front().value_count(), 1u);
        EXPECT_EQ(group->front().find("甲"), "乙");
      }
    }
  }
}

}  // namespace
}  // namespace lumo
