// The dictionary line format: what each kind of line yields, and how a text
// is cut into lines.
#include <gtest/gtest.h>

#include <algorithm>
#include <memory>
#include <random>
#include <string>
#include <utility>
#include <vector>

#include "dict/text_reader.h"
#include "read_entries.h"

namespace lumo {
namespace {

TEST(DictionaryTextReader, LineTable) {
  const struct {
    const char* label;
    std::string text;
    Entries expected;
  } cases[] = {
      {"one value", "a\tb", {{"a", {"b"}}}},
      {"two values", "a\tb c", {{"a", {"b", "c"}}}},
      {"runs of tabs and spaces", "a\t b\t\tc ", {{"a", {"b", "c"}}}},
      {"repeated value kept", "a\tb b", {{"a", {"b", "b"}}}},
      {"CR LF", "a\tb\r\n", {{"a", {"b"}}}},
      {"CR CR LF", "a\tb\r\r\n", {{"a", {"b"}}}},
      {"CR inside a line is white space", "a\tb\rc", {{"a", {"b", "c"}}}},
      {"lone CR does not break lines", "a\tb\rc\td\n", {{"a", {"b", "c", "d"}}}},
      {"space in the key", "a b\tc", {{"a b", {"c"}}}},
      {"empty key", "\tb", {{"", {"b"}}}},
      {"nothing after the tab", "a\t", {}},
      {"only spaces after the tab", "a\t   ", {}},
      {"only U+3000 after the tab", "a\t\u3000", {}},
      {"no tab", "ab", {}},
      {"comment", "#a\tb", {}},
      {"space before #", " #a\tb", {{" #a", {"b"}}}},
      {"# inside a value", "a\tb#c", {{"a", {"b#c"}}}},
      {"U+3000 separates", "a\tb\u3000c", {{"a", {"b", "c"}}}},
      {"U+00A0 separates", "a\tb\u00A0c", {{"a", {"b", "c"}}}},
      {"U+0085 separates", "a\tb\u0085c", {{"a", {"b", "c"}}}},
      {"U+2028 and U+205F separate", "a\t\u2028b\u205Fc", {{"a", {"b", "c"}}}},
      {"U+200B is not white space", "a\tb\u200Bc", {{"a", {"b\u200Bc"}}}},
      {"BOM stops a first-line comment", "\uFEFF#x\ty\n", {{"\uFEFF#x", {"y"}}}},
      {"no final LF", "# head\n\na\tb\n#c\td\ne\tf g", {{"a", {"b"}}, {"e", {"f", "g"}}}},
      {"duplicate keys all yielded", "k\t1\nk\t2\n", {{"k", {"1"}}, {"k", {"2"}}}},
      {"empty text", "", {}},
      {"only comments and blank lines", "# a\tb\n\n\r\n#\n", {}},
  };
  for (const auto& [label, text, expected] : cases) EXPECT_EQ(read_all(text), expected) << label;
}

TEST(DictionaryTextReader, CutsAtLineFeedsAndDropsTrailingCarriageReturns) {
  std::string_view rest = "x\r\n\ny\rz\r\r\nw\n";
  std::vector<std::string_view> lines;
  for (std::string_view line; next_dictionary_line(rest, line);) lines.push_back(line);
  EXPECT_EQ(lines, (std::vector<std::string_view>{"x", "", "y\rz", "w"}));
}

// A text that is not UTF-8 may end inside a sequence whose lead byte
// promises more bytes, where white space is looked for: nothing is read
// past the end (each text is its own allocation, so AddressSanitizer sees
// a read past it), and the cut-short sequence ends the last value.
TEST(DictionaryTextReader, ReadsNothingPastASequenceCutShortAtTheEnd) {
  for (const char* tail : {"\xE3", "\xE2\x80", "\xC2", "\xF0\x9F\x98", "\xE3\x91\x0B"}) {
    const std::string text = std::string("k\tv ") + tail;
    const std::unique_ptr<char[]> exact(new char[text.size()]);
    std::copy(text.begin(), text.end(), exact.get());
    const std::string_view view(exact.get(), text.size());
    DictionaryEntry entry;
    std::string_view rest = view, line;
    ASSERT_TRUE(next_dictionary_line(rest, line));
    ASSERT_TRUE(parse_dictionary_line(line, entry));
    ASSERT_FALSE(entry.values.empty());
    EXPECT_EQ(entry.values.front(), "v");
    EXPECT_EQ(entry.values.back().data() + entry.values.back().size(), view.data() + view.size());
  }
}

// The one-pass reader must give exactly the entries of cutting lines and
// parsing each, on texts built from the pieces that decide where lines,
// keys and values end: wide characters, a 4-byte one, TABs, spaces, CR,
// LF, '#', white space of two and three bytes, truncated and stray sequences.
TEST(DictionaryTextReader, OnePassReaderMatchesLineByLine) {
  const std::vector<std::string> pieces = {"\u6C49",
                                           "\u5B57",
                                           "\U0001F600",
                                           "\t",
                                           "\t",
                                           " ",
                                           "\n",
                                           "\n",
                                           "\r",
                                           "#",
                                           "a",
                                           "\u3000",
                                           "\u00A0",
                                           "\u2028",
                                           "\xE6",
                                           "\xE6\xB1",
                                           "\x80",
                                           "\xF0\x9F\x98",
                                           "\u4E00\t\u4E8C\n"};
  std::mt19937 random(7);
  for (int round = 0; round < 3000; ++round) {
    std::string text;
    const std::size_t length = random() % 40;
    for (std::size_t i = 0; i < length; ++i) text += pieces[random() % pieces.size()];

    std::vector<std::pair<std::string_view, std::string_view>> by_lines;
    std::string_view rest = text;
    std::string_view key;
    std::string_view value;
    for (std::string_view line; next_dictionary_line(rest, line);) {
      if (parse_key_and_first_value(line, key, value)) by_lines.emplace_back(key, value);
    }
    std::vector<std::pair<std::string_view, std::string_view>> one_pass;
    rest = text;
    while (next_key_and_first_value(rest, key, value)) one_pass.emplace_back(key, value);
    ASSERT_EQ(one_pass, by_lines) << testing::PrintToString(text);
  }
}

}  // namespace
}  // namespace lumo
