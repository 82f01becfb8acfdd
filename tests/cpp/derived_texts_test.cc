// The generated dictionary texts as stored, and the reversal and tofu
// extraction on small texts.
#include <gtest/gtest.h>

#include <string>
#include <utility>
#include <vector>

#include "dict/catalogue.h"
#include "dict/text_reader.h"
#include "dict/utf8.h"
#include "read_entries.h"
#include "tools/derived_texts.h"

namespace lumo {
namespace {

Entries stored(const char* name) { return read_all(*embedded_dictionary_text(name)); }

std::vector<std::string> values_of(const Entries& entries, std::string_view key) {
  for (const auto& [k, values] : entries) {
    if (k == key) return values;
  }
  return {};
}

std::size_t multi_valued(const Entries& entries) {
  std::size_t n = 0;
  for (const auto& entry : entries) n += entry.second.size() > 1;
  return n;
}

TEST(GeneratedTexts, TellingRows) {
  const struct {
    const char* dictionary;
    const char* key;
    std::vector<std::string> values;
  } rows[] = {
      {"HKVariantsRev", "才", {"才", "纔"}},
      {"HKVariantsRev", "核", {"核", "覈"}},
      {"HKVariantsRev", "煙", {"煙", "菸"}},
      {"HKVariantsRev", "衹", {"只"}},
      {"HKVariantsRev", "啓", {"啓"}},
      {"HKVariantsRev", "啟", {"啓"}},
      {"JPShinjitaiCharactersRev", "值", {"値"}},
      {"JPShinjitaiCharactersRev", "値", {"値"}},
      {"JPShinjitaiCharactersRev", "鱉", {"鼈"}},
      {"TWVariantsRev", "踴", {"踊"}},
      {"TSCharactersExt", "㑮", {"𫝈"}},
      {"TSCharactersExt", "丟", {}},
      {"STPhrases_GeneratedFromRegionalPhrases", "万维网", {"萬維網"}},
      {"STPhrases_GeneratedFromRegionalPhrases", "互联网", {"互聯網"}},
      {"STPhrases_GeneratedFromRegionalPhrases", "以太网路由器", {"以太網路由器"}},
      {"STPhrases_GeneratedFromRegionalPhrases", "默认值", {"默認值"}},
      {"STPhrases_GeneratedFromRegionalPhrases", "三极管", {"三極管"}},
      {"STPhrases_GeneratedFromRegionalPhrases", "人工智能", {"人工智能"}},
  };
  for (const auto& [dictionary, key, values] : rows) {
    EXPECT_EQ(values_of(stored(dictionary), key), values) << dictionary << " " << key;
  }
}

TEST(GeneratedTexts, Shapes) {
  // Entry counts are checked with the whole catalogue.
  EXPECT_EQ(multi_valued(stored("TWVariantsRev")), 0u);
  EXPECT_EQ(multi_valued(stored("HKVariantsRev")), 3u);
  EXPECT_EQ(multi_valued(stored("JPShinjitaiCharactersRev")), 0u);
  const std::string_view ext = *embedded_dictionary_text("TSCharactersExt");
  EXPECT_FALSE(ext.starts_with("#"));
  EXPECT_EQ(ext.find("\n#"), std::string_view::npos);
  EXPECT_EQ(multi_valued(stored("TSCharactersExt")), 0u);

  const Entries regional = stored("STPhrases_GeneratedFromRegionalPhrases");
  ASSERT_EQ(regional.size(), 508u);
  EXPECT_EQ(multi_valued(regional), 0u);
  std::size_t identities = 0;
  for (std::size_t i = 0; i < regional.size(); ++i) {
    EXPECT_GE(utf8_length(regional[i].first), 3u) << regional[i].first;
    identities += regional[i].first == regional[i].second[0];
    if (i > 0) {
      EXPECT_LT(regional[i - 1].first, regional[i].first);  // byte order is code-point order
    }
  }
  EXPECT_EQ(identities, 107u);
}

TEST(ReverseDictionary, SmallTexts) {
  const struct {
    const char* label;
    const char* forward;
    Entries reversed;
  } cases[] = {
      {"values collect keys in order", "a\tx y\nb\tx\n", {{"x", {"a", "b"}}, {"y", {"a"}}}},
      {"identities reversed too", "値\t値 值\n", {{"値", {"値"}}, {"值", {"値"}}}},
      {"no repeated key", "a\tx x\na\tx\n", {{"x", {"a"}}}},
      {"sorted by code point",
       "k\t𠀀\nk\t中\nk\tZ\nk\té\n",
       {{"Z", {"k"}}, {"é", {"k"}}, {"中", {"k"}}, {"𠀀", {"k"}}}},
      {"file order without annotation", "纔\t才\n才\t才\n", {{"才", {"纔", "才"}}}},
      {"annotation moves it first",
       "纔\t才\n# @reverse-prefer: 才\n才\t才\n",
       {{"才", {"才", "纔"}}}},
      {"others keep their order",
       "乙\t甲\n丙\t甲\n# @reverse-prefer: 甲\n甲\t甲\n",
       {{"甲", {"甲", "乙", "丙"}}}},
      {"annotation must precede the entry",
       "纔\t才\n# @reverse-prefer: 才\n\n才\t才\n",
       {{"才", {"纔", "才"}}}},
  };
  for (const auto& [label, forward, reversed] : cases) {
    EXPECT_EQ(read_all(reverse_dictionary(forward, "t.txt")), reversed) << label;
  }
  // A comment header, one blank line, then "key TAB values" lines.
  const std::string text = reverse_dictionary("a\tx  y\n", "t.txt");
  EXPECT_TRUE(text.substr(0, text.find('\n')).ends_with(" (generated, reversed)")) << text;
  EXPECT_TRUE(text.ends_with("\n\nx\ta\ny\ta\n")) << text;
}

TEST(TofuExtension, KeepsRareFormsOfTaggedEntriesOnly) {
  EXPECT_EQ(tofu_extension("# head\n"
                           "# @tofu-risk: a\n㑮\t㑮 𫝈\n"
                           "丟\t丢\n"
                           "# @tofu-risk: b\n\n甲\t甲 乙\n"
                           "# note\n# @tofu-risk: c\n丁\t丁 戊  己\n"),
            "㑮\t𫝈\n丁\t戊 己\n");
  EXPECT_EQ(tofu_extension(""), "");
}

}  // namespace
}  // namespace lumo
