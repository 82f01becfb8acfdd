// The dictionary line format: what each kind of line yields, and how a text
// is cut into lines.
#include <gtest/gtest.h>

#include <string>
#include <utility>
#include <vector>

#include "dict/text_reader.h"

namespace lumo {
namespace {

using Entries = std::vector<std::pair<std::string, std::vector<std::string>>>;

Entries read_all(std::string_view text) {
  Entries entries;
  DictionaryTextReader reader(text);
  DictionaryEntry entry;
  while (reader.next(entry)) {
    entries.emplace_back(std::string(entry.key),
                         std::vector<std::string>(entry.values.begin(), entry.values.end()));
  }
  return entries;
}

struct ReaderCase {
  const char* label;
  std::string text;
  Entries expected;
};

class ReaderTable : public testing::TestWithParam<ReaderCase> {};

TEST_P(ReaderTable, YieldsExpectedEntries) {
  EXPECT_EQ(read_all(GetParam().text), GetParam().expected) << GetParam().label;
}

INSTANTIATE_TEST_SUITE_P(
    Lines, ReaderTable,
    testing::Values(
        ReaderCase{"one value", "a\tb", {{"a", {"b"}}}},
        ReaderCase{"two values", "a\tb c", {{"a", {"b", "c"}}}},
        ReaderCase{"runs of tabs and spaces", "a\t b\t\tc ", {{"a", {"b", "c"}}}},
        ReaderCase{"repeated value kept", "a\tb b", {{"a", {"b", "b"}}}},
        ReaderCase{"CR LF", "a\tb\r\n", {{"a", {"b"}}}},
        ReaderCase{"CR CR LF", "a\tb\r\r\n", {{"a", {"b"}}}},
        ReaderCase{"CR inside a line is white space", "a\tb\rc", {{"a", {"b", "c"}}}},
        ReaderCase{"lone CR does not break lines", "a\tb\rc\td\n", {{"a", {"b", "c", "d"}}}},
        ReaderCase{"CR in the key", "a\rx\tb", {{"a\rx", {"b"}}}},
        ReaderCase{"space in the key", "a b\tc", {{"a b", {"c"}}}},
        ReaderCase{"empty key", "\tb", {{"", {"b"}}}},
        ReaderCase{"nothing after the tab", "a\t", {}},
        ReaderCase{"only spaces after the tab", "a\t   ", {}},
        ReaderCase{"only ideographic space after the tab", "a\t\u3000", {}},
        ReaderCase{"no tab", "ab", {}},
        ReaderCase{"comment", "#a\tb", {}},
        ReaderCase{"space before #", " #a\tb", {{" #a", {"b"}}}},
        ReaderCase{"# inside a value", "a\tb#c", {{"a", {"b#c"}}}},
        ReaderCase{"# inside a key", "a#\tb", {{"a#", {"b"}}}},
        ReaderCase{"U+3000 separates", "a\tb\u3000c", {{"a", {"b", "c"}}}},
        ReaderCase{"U+00A0 separates", "a\tb\u00A0c", {{"a", {"b", "c"}}}},
        ReaderCase{"U+0085 separates", "a\tb\u0085c", {{"a", {"b", "c"}}}},
        ReaderCase{"U+2028 and U+205F separate", "a\t\u2028b\u205Fc", {{"a", {"b", "c"}}}},
        ReaderCase{"U+200B is not white space", "a\tb\u200Bc", {{"a", {"b\u200Bc"}}}},
        ReaderCase{"U+FEFF is not white space", "a\tb\uFEFFc", {{"a", {"b\uFEFFc"}}}},
        ReaderCase{"BOM stops a first-line comment", "\uFEFF#x\ty\n", {{"\uFEFF#x", {"y"}}}},
        ReaderCase{"no final LF", "# head\n\na\tb\n#c\td\ne\tf g",
                   {{"a", {"b"}}, {"e", {"f", "g"}}}},
        ReaderCase{"duplicate keys all yielded", "k\t1\nk\t2\n", {{"k", {"1"}}, {"k", {"2"}}}},
        ReaderCase{"empty text", "", {}},
        ReaderCase{"only comments and blank lines", "# a\tb\n\n\r\n#\n", {}}));

TEST(DictionaryLines, CutAtLineFeedsAndDropTrailingCarriageReturns) {
  std::string_view rest = "x\r\n\ny\rz\r\r\nw\n";
  std::vector<std::string_view> lines;
  std::string_view line;
  while (next_dictionary_line(rest, line)) lines.push_back(line);
  EXPECT_EQ(lines, (std::vector<std::string_view>{"x", "", "y\rz", "w"}));
}

}  // namespace
}  // namespace lumo
