// Longest-prefix lookup of single lexicons and of groups, including a
// randomized comparison against a plain map.
#include <gtest/gtest.h>

#include <algorithm>
#include <map>
#include <random>
#include <set>
#include <string>
#include <vector>

#include "dict/dictionary_group.h"
#include "dict/lexicon.h"

namespace lumo {
namespace {

struct LookupCase {
  const char* label;
  std::string dictionary;  // dictionary text
  std::string text;
  std::size_t length;  // 0: no match
  std::string value;
};

class LexiconLookup : public testing::TestWithParam<LookupCase> {};

TEST_P(LexiconLookup, FindsLongestStoredPrefix) {
  const LookupCase& c = GetParam();
  const LexiconMatch match = lexicon_from_text(c.dictionary).longest_prefix(c.text);
  EXPECT_EQ(match.length, c.length) << c.label;
  if (c.length != 0) EXPECT_EQ(match.value, c.value) << c.label;
}

const std::string kOneAct = "一\t壹\n一出戏\t一齣戲 一出戲\n";

INSTANTIATE_TEST_SUITE_P(
    Cases, LexiconLookup,
    testing::Values(
        LookupCase{"longest key wins", kOneAct, "一出戏剧", 9, "一齣戲"},
        LookupCase{"prefix without value is skipped", kOneAct, "一出", 3, "壹"},
        LookupCase{"first character has no child", kOneAct, "出戏", 0, ""},
        LookupCase{"empty text", kOneAct, "", 0, ""},
        LookupCase{"root value never reported", "\tR\na\tA\n", "b", 0, ""},
        LookupCase{"later line wins", "核心\t內核\n核心\t核心\n", "核心", 6, "核心"},
        LookupCase{"later line wins, first value", "k\t甲 乙\nk\t丙 丁\n", "k", 1, "丙"},
        LookupCase{"later line wins across unsorted runs", "b\t1\na\tx\nb\t2\n", "b", 1, "2"},
        LookupCase{"four-byte characters", "𠀀𠀁\tX\n𠀀\tY\n", "𠀀𠀁𠀂", 8, "X"},
        LookupCase{"match runs over ASCII", "中A\tX\n", "中AB", 4, "X"},
        LookupCase{"ASCII keys", "ab\tX\nabc\tY\n", "abd", 2, "X"},
        LookupCase{"empty value still matches", "a\tx\n", "a", 1, "x"}));

TEST(Lexicon, EmptyKeySetsOnlyTheRootValue) {
  const Lexicon lexicon = lexicon_from_text("\tR\na\tA\n");
  EXPECT_EQ(lexicon.find(""), "R");
  EXPECT_EQ(lexicon.find("a"), "A");
  EXPECT_EQ(lexicon.value_count(), 2u);
  EXPECT_EQ(lexicon.node_count(), 2u);
  EXPECT_FALSE(Lexicon().longest_prefix("a"));
  EXPECT_FALSE(Lexicon().find(""));
}

TEST(Lexicon, PairsKeepValuesWholeAndLaterPairsWin) {
  const Lexicon lexicon = lexicon_from_pairs({{"ab", "x y"}, {"k", "1"}, {"c", ""}, {"k", "2"}});
  EXPECT_EQ(lexicon.longest_prefix("abc").value, "x y");
  EXPECT_EQ(lexicon.find("k"), "2");
  const LexiconMatch empty = lexicon.longest_prefix("c");
  EXPECT_EQ(empty.length, 1u);
  EXPECT_EQ(empty.value, "");
}

// The root's children sit in a direct table paged by code point; keys on
// distant pages and at page edges must not shadow each other.
TEST(Lexicon, RootChildrenOnManyCodePointPages) {
  const std::vector<std::string> keys = {"A",  "\u00E9",  "\u00FF",     "\u0100",    "\u4E00",
                                         "\u9FFF", "\U00020000", "\U0010FFFF", "\U0010FF00"};
  KeyValuePairs pairs;
  for (std::size_t i = 0; i < keys.size(); ++i) pairs.emplace_back(keys[i], std::to_string(i));
  const Lexicon lexicon = lexicon_from_pairs(pairs);
  for (std::size_t i = 0; i < keys.size(); ++i) {
    const LexiconMatch match = lexicon.longest_prefix(keys[i] + "z");
    EXPECT_EQ(match.length, keys[i].size()) << i;
    EXPECT_EQ(match.value, std::to_string(i)) << i;
  }
  for (const char* absent : {"B", "\u00E8", "\u0101", "\u4E01", "\u9FFE", "\U00020001",
                             "\U0010FFFE", "\U0010FEFF", "\u3000"}) {
    EXPECT_FALSE(lexicon.longest_prefix(absent)) << absent;
  }
}

TEST(DictionaryGroup, FirstLexiconThatMatchesWins) {
  DictionaryGroup group;
  group.push_back(lexicon_from_text("核\tA\n"));
  group.push_back(lexicon_from_text("核心\tB\n心\tC\n"));
  const LexiconMatch first = group_longest_prefix(group, "核心");
  EXPECT_EQ(first.length, 3u);
  EXPECT_EQ(first.value, "A");
  EXPECT_EQ(group_longest_prefix(group, "心").value, "C");
  EXPECT_FALSE(group_longest_prefix(group, "中"));
  EXPECT_FALSE(group_longest_prefix(group, ""));
  std::swap(group[0], group[1]);
  EXPECT_EQ(group_longest_prefix(group, "核心").length, 6u);
  EXPECT_FALSE(group_longest_prefix(DictionaryGroup{}, "核"));
}

// Random keys over a small alphabet (1- to 4-byte characters, enough that
// inner nodes get many children), inserted in runs of sorted and unsorted
// order, checked against a map: lookups, counts and node count.
TEST(Lexicon, AgreesWithMapReference) {
  const std::vector<std::string> alphabet = {"a", "b", "z", "\u00E9", "\u00DF", "\u4E00",
                                             "\u4E8C", "\u4E2D", "\uFF21", "\U00020000",
                                             "\U0002A6A5", "\U0001F600"};
  std::mt19937 rng(20240607);
  const auto pick = [&](std::size_t n) { return std::uniform_int_distribution<std::size_t>(0, n - 1)(rng); };
  const auto random_string = [&](std::size_t max_chars, std::size_t symbols) {
    std::string s;
    for (std::size_t n = 1 + pick(max_chars); n > 0; --n) s += alphabet[pick(symbols)];
    return s;
  };
  for (int round = 0; round < 60; ++round) {
    KeyValuePairs pairs;
    for (std::size_t n = 1 + pick(300); n > 0; --n) {
      pairs.emplace_back(random_string(4, alphabet.size()), "v" + std::to_string(pairs.size()));
    }
    if (round % 3 == 1) {  // a few sorted runs, as in merged dictionary texts
      const std::size_t cut = pick(pairs.size());
      std::sort(pairs.begin(), pairs.begin() + cut);
      std::sort(pairs.begin() + cut, pairs.end());
    }
    std::map<std::string, std::string> reference;
    std::set<std::string> prefixes;
    std::string text;
    for (const auto& [key, value] : pairs) {
      reference[key] = value;
      for (std::size_t i = 1; i <= key.size(); ++i) prefixes.insert(key.substr(0, i));
      text += key + "\t" + value + "\n";
    }
    // Byte prefixes that cut a character are not prefixes of any other key
    // either; keep only whole-character ones.
    std::erase_if(prefixes, [](const std::string& p) {
      return (static_cast<unsigned char>(p.back()) & 0xC0) == 0x80 ? false
             : static_cast<unsigned char>(p.back()) >= 0xC0;
    });
    std::size_t whole = 0;
    for (const std::string& p : prefixes) {
      std::size_t chars = 0;
      for (char ch : p) chars += (static_cast<unsigned char>(ch) & 0xC0) != 0x80;
      whole += 1;
      (void)chars;
    }
    for (const Lexicon& lexicon : {lexicon_from_pairs(pairs), lexicon_from_text(text)}) {
      ASSERT_EQ(lexicon.value_count(), reference.size());
      for (int probe = 0; probe < 200; ++probe) {
        const std::string query = random_string(6, alphabet.size()) + (probe % 2 ? "q" : "");
        std::size_t best = 0;
        for (const auto& [key, value] : reference) {
          if (query.compare(0, key.size(), key) == 0) best = std::max(best, key.size());
        }
        const LexiconMatch match = lexicon.longest_prefix(query);
        ASSERT_EQ(match.length, best) << query;
        if (best != 0) ASSERT_EQ(match.value, reference.at(query.substr(0, best))) << query;
      }
      (void)whole;
    }
  }
}

}  // namespace
}  // namespace lumo
