// Plans of pieces: whatever the keys' length, a plan costs work bounded by
// the text, and its pieces convert like the whole.
#include "engine/text_cuts.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <random>
#include <string>
#include <vector>

#include "dict/text_units.h"
#include "dict/tuning.h"
#include "engine/config_loader.h"

namespace lumo {
namespace {

std::u32string repeated(std::u32string_view part, std::size_t count) {
  std::u32string text;
  for (std::size_t i = 0; i < count; ++i) text += part;
  return text;
}

template <typename Unit>
std::vector<Unit> units_of(std::u32string_view text) {
  std::vector<Unit> units;
  for (const char32_t code_point : text) append_encoded(code_point, units);
  return units;
}

template <typename Unit>
std::vector<Unit> converted(const Converter& converter, const Unit* text, std::size_t size) {
  BasicTextBuffer<Unit> output;
  EXPECT_TRUE(convert_units_to(converter, text, size, output));
  return {output.data(), output.data() + output.size()};
}

// Plans `text` into 2 to 64 pieces, in every width: the work stays within
// its bound, and the pieces convert like the whole.
template <typename Unit>
void check_plans(const Converter& converter, std::u32string_view text, const char* label) {
  const std::vector<Unit> units = units_of<Unit>(text);
  const std::vector<Unit> whole = converted(converter, units.data(), units.size());
  for (const std::size_t pieces : {2u, 64u}) {
    std::size_t work = 0;
    const std::vector<std::size_t> bounds =
        plan_pieces(converter, units.data(), units.size(), pieces, &work);
    EXPECT_LE(work, units.size() / tuning::kCutWorkShare) << label << ", " << pieces << " pieces";
    std::vector<Unit> joined;
    for (std::size_t i = 0; i + 1 < bounds.size(); ++i) {
      ASSERT_LT(bounds[i], bounds[i + 1]) << label;
      const std::vector<Unit> piece =
          converted(converter, units.data() + bounds[i], bounds[i + 1] - bounds[i]);
      joined.insert(joined.end(), piece.begin(), piece.end());
    }
    EXPECT_TRUE(joined == whole) << label << ", " << pieces << " pieces, sizeof " << sizeof(Unit);
  }
}

TEST(TextCuts, PlansCostBoundedWorkWhateverTheKeys) {
  std::mt19937 random(7);
  const std::u32string han(1, U'汉');
  struct Case {
    std::u32string key;
    std::u32string text;
  };
  std::vector<Case> cases = {
      {repeated(han, 100000), repeated(han, 200000)},  // the key spans half the text
      {repeated(han, 20000), repeated(han, 200000)},
      {repeated(han, 5000), repeated(han, 400000)},
      {repeated(han, 300) + U"字", repeated(han, 100000)},  // a near miss everywhere
      {repeated(U"汉字\n", 3000), repeated(U"汉字\n", 60000)},
  };
  for (int i = 0; i < 3; ++i) {  // long keys of random characters, present in the text
    std::u32string text;
    for (int k = 0; k < 150000; ++k) text += U"汉字语言书"[random() % 5];
    const std::size_t length = 500 + random() % 20000;
    cases.push_back({text.substr(random() % (text.size() - length), length), text});
  }
  for (const auto& [key, text] : cases) {
    std::string key_utf8;
    for (const char32_t code_point : key) append_encoded(code_point, key_utf8);
    const Converter converter = build_converter(ConfigId::kS2T, {{key_utf8, "X"}});
    const std::string label = "key of " + std::to_string(key.size());
    check_plans<char>(converter, text, label.c_str());
    check_plans<std::uint16_t>(converter, text, label.c_str());
    check_plans<std::uint32_t>(converter, text, label.c_str());
  }
}

// Without long keys, plans keep the pieces they are asked for.
TEST(TextCuts, PlansOfOrdinaryTextKeepEveryPiece) {
  const struct {
    ConfigId id;
    std::u32string_view line;
  } cases[] = {
      {ConfigId::kS2T, U"我们的U盘坏了，汉字和语言。"},
      {ConfigId::kS2TWP, U"我们的U盘坏了，汉字和语言。"},
      {ConfigId::kS2HKP, U"我们的U盘坏了，汉字和语言。"},
  };
  for (const auto& [id, line] : cases) {
    const std::vector<std::uint16_t> units = units_of<std::uint16_t>(repeated(line, 30000));
    const Converter converter = build_converter(id, {});
    EXPECT_EQ(plan_pieces(converter, units.data(), units.size(), 8).size(), 9u);
  }
}

}  // namespace
}  // namespace lumo
