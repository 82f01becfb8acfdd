// Custom entries written as "key value|key value|..." text, and the quoted
// form of a piece in their error messages.
#include <gtest/gtest.h>

#include <string>
#include <string_view>

#include "engine/config/custom_entries.h"

namespace lumo {
namespace {

const std::string kNoSpace = ": expected 'key value' separated by a space, got ";

TEST(CustomString, Pairs) {
  const struct {
    std::string_view text;
    CustomPairs expected;
  } cases[] = {
      {"a b|c d", {{"a", "b"}, {"c", "d"}}},
      {"||a b||", {{"a", "b"}}},
      {"  a   b c  ", {{"a", "b c"}}},
      {"甲 乙 丙", {{"甲", "乙 丙"}}},
      {"\t甲 乙\u3000|\r\n丙 丁\u00a0\u2028", {{"甲", "乙"}, {"丙", "丁"}}},
      {"a\u3000 b", {{"a", "b"}}},        // the key is trimmed again
      {"甲\t乙 丙", {{"甲\t乙", "丙"}}},  // only U+0020 separates
  };
  for (const auto& c : cases) {
    const Result<CustomPairs> pairs = parse_custom_string(c.text);
    ASSERT_TRUE(pairs) << c.text << ": " << pairs.error();
    EXPECT_EQ(pairs.value(), c.expected) << c.text;
  }
}

TEST(CustomString, Errors) {
  const struct {
    std::string_view text;
    std::string message;
  } cases[] = {
      {"a b||cd", "dict entry 2" + kNoSpace + "\"cd\""},
      {"甲\t乙", "dict entry 0" + kNoSpace + "\"甲\\t乙\""},
      {"甲\u3000乙", "dict entry 0" + kNoSpace + "\"甲\\u{3000}乙\""},
      {"a b|  cd  |ef", "dict entry 1" + kNoSpace + "\"cd\""},  // the first bad piece, trimmed
      {std::string_view("a b|\0", 5), "dict entry 1" + kNoSpace + "\"\\0\""},
      {"", "custom dict string parsed to zero entries"},
      {"|\u3000\t\n|\u0085", "custom dict string parsed to zero entries"},
  };
  for (const auto& c : cases) {
    const Result<CustomPairs> pairs = parse_custom_string(c.text);
    ASSERT_FALSE(pairs) << c.text;
    EXPECT_EQ(pairs.error(), c.message) << c.text;
  }
}

TEST(CustomString, QuotedLiteral) {
  const struct {
    std::string_view text;
    std::string_view quoted;
  } cases[] = {
      {"", R"("")"},
      {"say \"hi\"\t\\o/\r\n", R"("say \"hi\"\t\\o/\r\n")"},
      {std::string_view("a\0b", 3), R"("a\0b")"},
      {"\x01\x1b\x7f", R"("\u{1}\u{1b}\u{7f}")"},
      {"\u00a0\u00ad\u200b\u2028\u3000", R"("\u{a0}\u{ad}\u{200b}\u{2028}\u{3000}")"},
      {"\ue000\u0378\U0010ffff", R"("\u{e000}\u{378}\u{10ffff}")"},  // private use, unassigned
      {"中文 ～ 😀 é", R"("中文 ～ 😀 é")"},
  };
  for (const auto& c : cases) EXPECT_EQ(quoted_literal(c.text), c.quoted) << c.text;
}

}  // namespace
}  // namespace lumo
