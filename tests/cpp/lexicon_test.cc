// Longest-prefix lookup of lexicons and groups, including a randomized
// comparison against a plain map.
#include <gtest/gtest.h>

#include <algorithm>
#include <map>
#include <random>
#include <set>
#include <string>
#include <type_traits>
#include <vector>

#include "dict/dictionary_group.h"
#include "dict/lexicon_builder.h"
#include "dict/text_units.h"

namespace lumo {
namespace {

TEST(Lexicon, LongestPrefixTable) {
  const std::string one_act = "一\t壹\n一出戏\t一齣戲 一出戲\n";
  const struct {
    const char* label;
    std::string dictionary;
    std::string text;
    std::size_t length;  // 0: no match
    std::string value;
  } cases[] = {
      {"longest key wins", one_act, "一出戏剧", 9, "一齣戲"},
      {"prefix without a value is skipped", one_act, "一出", 3, "壹"},
      {"first character has no child", one_act, "出戏", 0, ""},
      {"empty text", one_act, "", 0, ""},
      {"root value never reported", "\tR\na\tA\n", "b", 0, ""},
      {"later line wins", "核心\t內核\n核心\t核心\n", "核心", 6, "核心"},
      {"later line wins, first value", "k\t甲 乙\nk\t丙 丁\n", "k", 1, "丙"},
      {"later line wins across unsorted runs", "b\t1\na\tx\nb\t2\n", "b", 1, "2"},
      {"four-byte characters", "𠀀𠀁\tX\n𠀀\tY\n", "𠀀𠀁𠀂", 8, "X"},
      {"match runs over ASCII", "中A\tX\n", "中AB", 4, "X"},
      {"ASCII keys", "ab\tX\nabc\tY\n", "abd", 2, "X"},
  };
  for (const auto& [label, dictionary, text, length, value] : cases) {
    const Lexicon lexicon = lexicon_from_texts({{dictionary}});
    const LexiconMatch match = lexicon.longest_prefix(text);
    EXPECT_EQ(match.length, length) << label;
    EXPECT_EQ(match.value, value) << label;
  }
}

TEST(Lexicon, RootValueAndPairs) {
  const Lexicon rooted = lexicon_from_texts({{"\tR\na\tA\n"}});
  EXPECT_EQ(rooted.find(""), "R");
  EXPECT_EQ(rooted.value_count(), 2u);  // the root counts
  EXPECT_EQ(rooted.node_count(), 2u);
  EXPECT_FALSE(Lexicon().longest_prefix("a"));
  // Pair values are stored whole; an empty value still matches.
  const Lexicon pairs = lexicon_from_pairs({{"ab", "x y"}, {"k", "1"}, {"c", ""}, {"k", "2"}});
  EXPECT_EQ(pairs.longest_prefix("abc").value, "x y");
  EXPECT_EQ(pairs.find("k"), "2");
  EXPECT_EQ(pairs.longest_prefix("c").length, 1u);
}

// Wherever a character's single value stands before the next one, a walk
// from it matches that character alone, to that value (or nothing, for a
// character that stays): over every pair of an alphabet of plain keys,
// keys that longer ones extend, and keys with values of several
// characters.
TEST(Lexicon, SingleValuesAgreeWithWalks) {
  const std::string dictionary =
      "一\t壹\n一出\t一齣\n出戏\t齣戲\n戏\t戲\n后\t後 后\n面\t麵\n后面\t後面\n"
      "干\t幹 乾\n干净\t乾淨\n净\t淨\n吗\t嗎嗎\n们\t們\n个\t個\n这\t這\n";
  const Lexicon lexicon = lexicon_from_texts({TextSource{dictionary}}, SingleValues::kMarkedToo);
  const LexiconTrie& trie = lexicon.trie();
  ASSERT_FALSE(trie.single_values.empty());
  const std::u32string alphabet = U"一出戏后面干净吗们个这人";
  std::size_t standing = 0;
  for (const char32_t first : alphabet) {
    for (const char32_t second : alphabet) {
      const std::u32string text = {first, second};
      char32_t next = 0;
      std::size_t next_length = 0;
      const std::uint32_t single = trie.single_at<PairTest::kExtendedOnly>(
          text.data(), 0, text.size(), first, 1, &next, &next_length);
      next_length = 0;
      EXPECT_EQ(trie.single_at<PairTest::kEveryCharacter>(text.data(), 0, text.size(), first, 1,
                                                          &next, &next_length),
                single);
      if (single == LexiconTrie::kWalk) continue;
      // Read for every character, the pair gives the next one to the caller.
      EXPECT_EQ(next_length, 1u);
      EXPECT_EQ(next, second);
      ++standing;
      const LexiconTrie::Walk walk = trie.walk<WalkedKeys::kValued>(text.data(), text.size());
      std::u32string value;
      for (std::size_t pos = 0, length = 0; pos < walk.value.size(); pos += length) {
        value += utf8_decode(walk.value.data() + pos, &length);
      }
      EXPECT_EQ(walk.valued_length, walk.valued_length == 0 ? 0u : 1u);
      EXPECT_EQ(std::u32string(1, static_cast<char32_t>(single)),
                walk.valued_length == 0 ? std::u32string(1, first) : value);
    }
  }
  EXPECT_GT(standing, alphabet.size());  // extended characters stand before most others
}

// The root's children sit in a direct table paged by code point; keys on
// distant pages and at page edges must not shadow each other.
TEST(Lexicon, RootChildrenOnManyCodePointPages) {
  const std::vector<std::string> keys = {"A",          "\u00E9",     "\u00FF",
                                         "\u0100",     "\u4E00",     "\u9FFF",
                                         "\U00020000", "\U0010FFFF", "\U0010FF00"};
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
  group.push_back(lexicon_from_texts({{"核\tA\n"}}));
  group.push_back(lexicon_from_texts({{"核心\tB\n心\tC\n"}}));
  EXPECT_EQ(group_longest_prefix(group, "核心").length, 3u);
  EXPECT_EQ(group_longest_prefix(group, "核心").value, "A");
  EXPECT_EQ(group_longest_prefix(group, "心").value, "C");
  EXPECT_FALSE(group_longest_prefix(group, "中"));
  EXPECT_FALSE(group_longest_prefix(group, ""));
  std::swap(group[0], group[1]);
  EXPECT_EQ(group_longest_prefix(group, "核心").value, "B");
  EXPECT_FALSE(group_longest_prefix(DictionaryGroup{}, "核"));
}

// Random keys over a small alphabet of 1- to 4-byte characters (enough for
// inner nodes with many children), inserted unsorted or as a few sorted
// runs, checked against a map: lookups, value count and node count.
TEST(Lexicon, AgreesWithMapReference) {
  const std::vector<std::string> alphabet = {"a",      "b",          "z",          "\u00E9",
                                             "\u00DF", "\u4E00",     "\u4E8C",     "\u4E2D",
                                             "\uFF21", "\U00020000", "\U0002A6A5", "\U0001F600"};
  std::mt19937 rng(20240607);
  const auto pick = [&](std::size_t n) {
    return std::uniform_int_distribution<std::size_t>(0, n - 1)(rng);
  };
  const auto random_string = [&](std::size_t max_chars) {
    std::string s;
    for (std::size_t n = 1 + pick(max_chars); n > 0; --n) s += alphabet[pick(alphabet.size())];
    return s;
  };
  for (int round = 0; round < 60; ++round) {
    KeyValuePairs pairs;
    for (std::size_t n = 1 + pick(300); n > 0; --n) {
      pairs.emplace_back(random_string(4), std::to_string(pairs.size()));
    }
    if (round % 2 == 1) {  // 1 to 6 sorted runs, as in merged dictionary texts
      const std::size_t runs = 1 + round % 6;
      for (std::size_t r = 0; r < runs; ++r) {
        std::sort(pairs.begin() + pairs.size() * r / runs,
                  pairs.begin() + pairs.size() * (r + 1) / runs);
      }
    }
    std::map<std::string, std::string> reference;
    std::set<std::string> prefixes;
    std::string text;
    std::vector<std::string> run_texts(1);  // the same entries, one text per sorted run
    std::string previous_key;
    for (const auto& [key, value] : pairs) {
      if (key < previous_key) run_texts.emplace_back();
      run_texts.back() += key + "\t" + value + "\n";
      previous_key = key;
      reference[key] = value;
      for (std::size_t i = 1; i <= key.size(); ++i) {
        if (i == key.size() || (static_cast<unsigned char>(key[i]) & 0xC0) != 0x80) {
          prefixes.insert(key.substr(0, i));
        }
      }
      text += key + "\t" + value + "\n";
    }
    std::vector<TextSource> sources;
    for (const std::string& run : run_texts) sources.push_back({run});
    for (const Lexicon& lexicon :
         {lexicon_from_pairs(pairs), lexicon_from_texts({{text}}), lexicon_from_texts(sources)}) {
      ASSERT_EQ(lexicon.value_count(), reference.size());
      ASSERT_EQ(lexicon.node_count(), prefixes.size() + 1);
      for (int probe = 0; probe < 200; ++probe) {
        const std::string query = random_string(6) + (probe % 2 ? "q" : "");
        std::size_t best = 0;
        for (const auto& entry : reference) {
          if (query.starts_with(entry.first)) best = std::max(best, entry.first.size());
        }
        const LexiconMatch match = lexicon.longest_prefix(query);
        ASSERT_EQ(match.length, best) << query;
        ASSERT_EQ(match.value, best ? reference.at(query.substr(0, best)) : "") << query;
      }
    }
  }
}

// Keys long enough for the index, over two or three characters so that
// the text follows them from many positions: a scan along the text finds
// what walks at each position find, for valued and marked keys, in each
// unit width, walking while it may and with windows as short as they can
// be where it may not.
TEST(DictionaryGroup, ScanWithLongKeysAgreesWithWalks) {
  const std::vector<std::string> alphabet = {"a", "\u00E9", "\u4E00", "\U00020000"};
  std::mt19937 rng(20261208);
  const auto pick = [&](std::size_t n) {
    return std::uniform_int_distribution<std::size_t>(0, n - 1)(rng);
  };
  for (int round = 0; round < 40; ++round) {
    const std::size_t letters = 2 + round % 3;
    const auto random_string = [&](std::size_t chars) {
      std::string s;
      // Mostly one letter repeated, so that long keys nearly match often.
      for (; chars > 0; --chars) s += alphabet[pick(4) == 0 ? pick(letters) : 0];
      return s;
    };
    std::vector<std::string> storage;
    LexiconBuilder builder;
    for (std::size_t n = 1 + pick(12); n > 0; --n) {
      storage.push_back(random_string(1 + pick(n == 1 ? 400 : 60)));
    }
    for (std::size_t i = 0; i < storage.size(); ++i) {
      // Values are borrowed as keys are: each key is its own value.
      builder.insert(storage[i], storage[i],
                     i % 3 == 0   ? LexiconBuilder::kMarked
                     : i % 3 == 1 ? LexiconBuilder::kValued
                                  : LexiconBuilder::kValued | LexiconBuilder::kMarked);
    }
    const Lexicon lexicon = builder.finish();
    ASSERT_EQ(lexicon.trie().long_keys != nullptr, lexicon.trie().max_key_bytes > 256);
    const std::string text = random_string(pick(3000));
    std::u16string utf16;
    std::u32string utf32;
    for (std::size_t pos = 0, length = 0; pos < text.size(); pos += length) {
      const char32_t code_point = decode_char(text.data() + pos, &length);
      append_encoded(code_point, utf16);
      utf32.push_back(code_point);
    }
    const auto agree = [](const DictionaryGroup& group, const auto& units) {
      using Char = typename std::decay_t<decltype(units)>::value_type;
      using Unit =
          std::conditional_t<sizeof(Char) == 1, char,
                             std::conditional_t<sizeof(Char) == 2, std::uint16_t, std::uint32_t>>;
      const auto* data = reinterpret_cast<const Unit*>(units.data());
      GroupScan<Unit> walking(group, data, units.size());
      GroupScan<Unit> windowed(group, data, units.size(), 1, 0);
      for (std::size_t pos = 0; pos < units.size(); pos += char_units(data + pos)) {
        const LexiconMatch walked = group_longest_prefix(group, data + pos, units.size() - pos);
        for (GroupScan<Unit>* scan : {&walking, &windowed}) {
          const LexiconMatch scanned = scan->at(pos);
          ASSERT_EQ(scanned.length, walked.length) << pos;
          ASSERT_EQ(scanned.value, walked.value) << pos;
        }
      }
    };
    for (const DictionaryGroup& group : {DictionaryGroup{lexicon, lexicon_from_texts({{"a\tX\n"}})},
                                         DictionaryGroup{lexicon.marked_view()}}) {
      agree(group, text);
      agree(group, utf16);
      agree(group, utf32);
    }
  }
}

// Text that is not valid Unicode may hold values past U+10FFFF (a UTF-32
// unit, or a lone high surrogate read as a pair); no lookup reads past the
// tables for them.
TEST(Lexicon, ValuesPastUnicodeMatchNothing) {
  const Lexicon lexicon = lexicon_from_texts({{"\U0010FFFF\tX\n\U0010FFFFa\tY\n\u4E00\tZ\n"}});
  for (const char32_t beyond :
       {char32_t{0x110000}, char32_t{0x111FFF}, char32_t{0x7FFFFFFF}, char32_t{0xFFFFFFFF}}) {
    EXPECT_EQ(lexicon.trie().root_entry(beyond), LexiconTrie::Node{}) << std::uint32_t{beyond};
    const std::uint32_t text[] = {beyond, 'a'};
    EXPECT_FALSE(lexicon.longest_prefix(text, 2)) << std::uint32_t{beyond};
  }
  const std::uint32_t top[] = {0x10FFFF, 'a'};
  EXPECT_EQ(lexicon.longest_prefix(top, 2).value, "Y");
}

}  // namespace
}  // namespace lumo
