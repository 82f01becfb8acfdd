// Lexicons built on two threads: the same trie, node for node, as one
// thread builds, and a fallback for texts that cannot be split.
#include <gtest/gtest.h>

#include <algorithm>
#include <random>
#include <string>
#include <vector>

#include "dict/catalogue.h"
#include "dict/trie_assembler.h"
#include "engine/config/config_loader.h"
#include "engine/config/lexicon_threads.h"

namespace lumo {
namespace {

void expect_same_trie(const LexiconTrie& a, const LexiconTrie& b) {
  ASSERT_EQ(a.nodes.size(), b.nodes.size());
  for (std::size_t i = 0; i < a.nodes.size(); ++i) {
    ASSERT_TRUE(a.nodes[i] == b.nodes[i]) << "node " << i;
  }
  ASSERT_EQ(a.children.size(), b.children.size());
  for (std::size_t i = 0; i < a.children.size(); ++i) {
    ASSERT_TRUE(a.children[i].code_point == b.children[i].code_point &&
                a.children[i].node == b.children[i].node)
        << "child " << i;
  }
  EXPECT_EQ(a.values, b.values);
  EXPECT_EQ(a.root_page_of, b.root_page_of);
  ASSERT_EQ(a.root_table.size(), b.root_table.size());
  for (std::size_t i = 0; i < a.root_table.size(); ++i) {
    ASSERT_TRUE(a.root_table[i] == b.root_table[i]) << "root table slot " << i;
  }
  EXPECT_EQ(a.key_starts, b.key_starts);
  EXPECT_EQ(a.edge_filter, b.edge_filter);
  EXPECT_EQ(a.edge_filter_bits, b.edge_filter_bits);
  EXPECT_EQ(a.pair_filter, b.pair_filter);
  EXPECT_EQ(a.single_values, b.single_values);
  EXPECT_EQ(a.three_byte_singles, b.three_byte_singles);
  EXPECT_EQ(a.valued_count, b.valued_count);
  EXPECT_EQ(a.marked_count, b.marked_count);
  EXPECT_EQ(a.max_key_bytes, b.max_key_bytes);
  EXPECT_EQ(a.line_feed_in_keys, b.line_feed_in_keys);
}

// Random dictionary texts, sorted or not, marked, valued or both, over
// characters of one to four bytes, with comment lines, an empty key, keys
// given twice and lines the reader skips.
std::vector<std::string> random_texts(std::mt19937& random, bool sorted) {
  static const std::vector<std::string> alphabet = {
      "a", "z", "\u00E9", "\u4E00", "\u4E8C", "\u4E2D", "\u6C49", "\u5B57", "\U00020000"};
  const auto pick = [&](std::size_t n) { return static_cast<std::size_t>(random() % n); };
  std::vector<std::string> texts(1 + pick(3));
  for (std::string& text : texts) {
    std::vector<std::string> lines;
    for (std::size_t n = pick(200); n > 0; --n) {
      std::string key;
      for (std::size_t length = pick(4); length > 0; --length) key += alphabet[pick(9)];
      lines.push_back(key + "\t" + alphabet[pick(9)] + std::to_string(pick(5)));
    }
    if (sorted) std::sort(lines.begin(), lines.end());
    text = "# a comment\tx\n\n";
    for (const std::string& line : lines) text += line + (pick(8) == 0 ? " more\n" : "\n");
    if (pick(4) == 0) text += "no tab here\n";
  }
  return texts;
}

TEST(LexiconThreads, SameTrieAsOneThread) {
  std::mt19937 random(11);
  for (int round = 0; round < 300; ++round) {
    const std::vector<std::string> texts = random_texts(random, round % 5 != 0);
    std::vector<TextSource> sources;
    for (const std::string& text : texts) {
      sources.push_back({text, static_cast<std::uint8_t>(1 + random() % 3)});
    }
    const Lexicon one = lexicon_from_texts(sources);
    const Lexicon two = lexicon_from_texts_on_two_threads(sources);
    SCOPED_TRACE(round);
    expect_same_trie(two.trie(), one.trie());
  }
}

TEST(LexiconThreads, BuiltInConvertersAreTheSame) {
  for (std::size_t i = 0; i < kConfigCount; ++i) {
    SCOPED_TRACE(kConfigNames[i]);
    const auto id = static_cast<ConfigId>(i);
    const Converter one = build_converter(id, {}, 1);
    const Converter two = build_converter(id, {}, 2);
    ASSERT_EQ(one.stages.size(), two.stages.size());
    for (std::size_t stage = 0; stage < one.stages.size(); ++stage) {
      ASSERT_EQ(one.stages[stage].size(), two.stages[stage].size());
      for (std::size_t k = 0; k < one.stages[stage].size(); ++k) {
        expect_same_trie(two.stages[stage][k].trie(), one.stages[stage][k].trie());
      }
    }
  }
}

// The second assembler's keys must start after the first's: joining them
// otherwise would merge two subtrees.
TEST(TrieJoin, RefusesHalvesThatShareAFirstCharacter) {
  const struct {
    const char* first;
    const char* second;
    bool joins;
  } cases[] = {
      {"\u4E00\u4E8C", "\u4E8C", true},
      {"\u4E00\u4E8C", "\u4E00\u5B57", false},
      {"\u4E8C", "\u4E00", false},
      {"z", "\u00E9", true},
      {"", "a", false},  // an empty key has no first character to compare
  };
  for (const auto& [first_key, second_key, joins] : cases) {
    TrieAssembler first = TrieAssembler::for_text_bytes(64);
    TrieAssembler second = TrieAssembler::for_text_bytes(64);
    ASSERT_TRUE(first.add(first_key, "1", TrieAssembler::kValued));
    ASSERT_TRUE(second.add(second_key, "2", TrieAssembler::kValued));
    TrieJoin join;
    EXPECT_EQ(join.plan(first, second), joins) << first_key << " " << second_key;
  }
}

// With its room fixed, an assembler refuses the key that would need more
// memory instead of allocating it.
TEST(TrieAssembler, WithFixedRoomRefusesWhatDoesNotFit) {
  TrieAssembler assembler(8, 16);
  assembler.fix_room(12);
  EXPECT_TRUE(assembler.add("\u4E00\u4E8C", "12", TrieAssembler::kValued));          // 2 nodes
  EXPECT_FALSE(assembler.add("\u4E09\u56DB\u4E94", "345", TrieAssembler::kValued));  // 3 more
  TrieAssembler values(64, 4);
  values.fix_room(12);
  EXPECT_FALSE(values.add("a", std::string(200, 'v'), TrieAssembler::kValued));
  EXPECT_TRUE(values.add("b", "", TrieAssembler::kMarked));
}

// The second thread's room, fixed before it starts, holds its half of the
// largest built-in lexicon: otherwise that lexicon would quietly be built
// again on one thread.
TEST(TrieAssembler, FixedRoomHoldsHalfOfTheLargestLexicon) {
  const std::vector<TextSource> texts = {
      {*embedded_dictionary_text("STPhrases"), TrieAssembler::kValued | TrieAssembler::kMarked},
      {*embedded_dictionary_text("STCharacters"), TrieAssembler::kValued}};
  const std::optional<SplitTexts> split = split_sorted_texts(texts);
  ASSERT_TRUE(split.has_value());
  TrieAssembler assembler = TrieAssembler::for_text_bytes(text_bytes(split->after));
  assembler.fix_room(kFixedRoomKeyBytes);
  EXPECT_TRUE(add_sorted_texts(split->after, assembler));
}

}  // namespace
}  // namespace lumo
