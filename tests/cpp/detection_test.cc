// Script-variant detection: the character sets and phrase lists, the decision
// rows, the one-pass phrase search and concurrent first use.
#include <gtest/gtest.h>

#include <algorithm>
#include <latch>
#include <random>
#include <set>
#include <string>
#include <string_view>
#include <thread>
#include <vector>

#include "detect/detect.h"
#include "detect/detection_tables.h"
#include "detect/phrase_search.h"
#include "dict/utf8.h"

namespace lumo {
namespace {

std::string describe(const std::optional<Detection>& result) {
  if (!result) return "nothing";
  return std::string(region_code(result->region)) + " " + std::to_string(result->confidence);
}

const std::vector<std::string> kThreadTexts = {
    "中文",           "国語の辞書", "國語の辭書", "这是简体中文", "爲",         "說",
    "我的隨身碟壞了", "伊利諾州",   "",           "abc",          "爲僞啓喫國", "硬碟和滑鼠"};

// Under ctest every test runs in a process of its own, so this one is the
// first to touch the tables in its process; run with the rest of the binary
// in one process, the tables are usually built already and it checks only
// concurrent reads.
TEST(DetectionFirstUse, ConcurrentFirstCallsAgree) {
  std::vector<std::string> concurrent(kThreadTexts.size() * 4);
  std::latch start(static_cast<std::ptrdiff_t>(concurrent.size()));
  std::vector<std::thread> threads;
  for (std::size_t i = 0; i < concurrent.size(); ++i) {
    threads.emplace_back([&, i] {
      start.arrive_and_wait();
      concurrent[i] = describe(detect(kThreadTexts[i % kThreadTexts.size()]));
    });
  }
  for (std::thread& thread : threads) thread.join();
  for (std::size_t i = 0; i < concurrent.size(); ++i) {
    EXPECT_EQ(concurrent[i], describe(detect(kThreadTexts[i % kThreadTexts.size()]))) << i;
  }
}

TEST(DetectionTables, BuiltInSizes) {
  const DetectionTables& tables = detection_tables();
  const std::size_t sizes[] = {3882, 3218, 38, 66, 392, 392};
  for (std::size_t i = 0; i < 6; ++i) EXPECT_EQ(tables.sets[i].size(), sizes[i]) << i;
  const auto in_cjk = [](const CodePointSet& set) {
    return std::count_if(set.begin(), set.end(),
                         [](char32_t c) { return c >= 0x4E00 && c <= 0x9FFF; });
  };
  EXPECT_EQ(in_cjk(tables.sets[DetectionTables::kSimplified]), 2604);
  EXPECT_EQ(in_cjk(tables.sets[DetectionTables::kTraditional]), 3106);
  EXPECT_FALSE(contains(tables.sets[DetectionTables::kSimplified], U'了'));  // 了 → 了 瞭
  EXPECT_TRUE(contains(tables.sets[DetectionTables::kSimplified], U'干'));  // 干 → 幹 乾 干 榦
  EXPECT_TRUE(contains(tables.sets[DetectionTables::kHkVariant], U'才'));  // 才 → 才

  const std::set<std::string> tw(tw_phrases().begin(), tw_phrases().end());
  const std::set<std::string> hk(hk_phrases().begin(), hk_phrases().end());
  EXPECT_EQ(tw_phrases().size(), 763u);
  EXPECT_EQ(tw.size(), 715u);
  EXPECT_EQ(hk_phrases().size(), 38u);
  EXPECT_EQ(hk.size(), 34u);
  EXPECT_EQ(std::count_if(tw.begin(), tw.end(), [&](const std::string& p) { return hk.count(p); }),
            20);
  const std::vector<std::string> head(tw_phrases().begin(), tw_phrases().begin() + 5);
  EXPECT_EQ(head,
            (std::vector<std::string>{"超音波", "PN接面", "SQL隱碼攻擊", "SQL隱碼攻擊", "隨身碟"}));
}

TEST(DetectionTables, DerivationRules) {
  const std::string text =
      "# c\t注\n了\t了 瞭\n干\t幹 乾\n\t空\n鍵\t \u3000 \n宏\t宏 巨集\nab\tcd  e\n";
  EXPECT_EQ(key_character_set(text, true), (CodePointSet{U'a', U'b', U'干'}));
  EXPECT_EQ(key_character_set(text, false), (CodePointSet{U'a', U'b', U'了', U'宏', U'干'}));
  EXPECT_EQ(first_value_character_set(text),
            (CodePointSet{U'c', U'd', U'了', U'宏', U'幹', U'空'}));
  EXPECT_EQ(phrase_list_of(text), (std::vector<std::string>{"cd"}));
  EXPECT_EQ(phrase_list_of("a\t巨集\nb\t巨集\nc\t宏 巨集\n"),
            (std::vector<std::string>{"巨集", "巨集"}));
}

TEST(Detection, CountsOnlyTheTwoRanges) {
  // U+4DFF and U+A000 sit just outside the ideograph range, U+303F and U+3100
  // outside the kana one; Extension A, compatibility and supplementary
  // ideographs are ignored.
  const DetectionCounts counts =
      count_characters("\u4DFF\u4E00\u9FFF\uA000\u303F\u3040\u30FF\u3100\u3400\uF900\U00020000");
  EXPECT_EQ(counts.cjk, 2u);
  EXPECT_EQ(counts.kana, 2u);
  const DetectionCounts wei = count_characters("爲a爲");
  EXPECT_EQ(std::vector<std::uint64_t>(
                {wei.cjk, wei.simplified, wei.traditional, wei.tw_variant, wei.hk_variant}),
            std::vector<std::uint64_t>({2, 0, 2, 2, 2}));
}

TEST(Detection, DecisionRows) {
  const struct {
    std::string_view text;
    std::string_view expected;
  } cases[] = {
      {"", "nothing"},
      {"Latin only", "nothing"},
      {"，。！？、…「」", "nothing"},
      {"\u3400\uF900\U00020000", "nothing"},
      {"中文", "cn-t 0"},
      {"国語の辞書", "jp-n 100"},
      {"國語の辭書", "jp-t 100"},
      {"ひらがなだけ", "jp-n 50"},
      {"這個問題很難清楚の", "jp-n 50"},  // one kana outweighs the Chinese counts
      {"國學體為說爲の臺灣", "jp-t 87"},
      {"这是简体中文", "cn-s 50"},
      {"爲", "cn-tw 200"},             // row 7
      {"說", "cn-hk 200"},             // row 5
      {"我的隨身碟壞了", "cn-tw 50"},  // row 1, raised to 50
      {"伊利諾州", "cn-t 25"},         // in both phrase lists: counters decide
      {"爲僞啓國", "cn-t 250"},        // row 6: 10 / 4
      {"爲僞啓喫國", "cn-t 255"},      // row 6: 13 / 5 saturates
      {"爲僞啓喫衆說國", "cn-t 255"},  // row 4: TW 5 < HK 6 < T 7, 18 / 7
  };
  for (const auto& c : cases) EXPECT_EQ(describe(detect(c.text)), c.expected) << c.text;
  const PhraseScores both_lists = regional_phrase_search().score("伊利諾州");
  EXPECT_EQ(both_lists.tw + both_lists.hk, 0u);
}

// The rule as stated: every list entry in order, repeats included, an entry
// of the other list never scoring.
std::uint64_t reference_score(const std::vector<std::string>& list,
                              const std::vector<std::string>& other, std::string_view text) {
  const std::set<std::string> excluded(other.begin(), other.end());
  std::uint64_t score = 0;
  for (const std::string& phrase : list) {
    if (!excluded.count(phrase) && text.find(phrase) != std::string_view::npos) {
      score += utf8_length(phrase);
    }
  }
  return score;
}

TEST(PhraseSearch, MatchesOneSearchPerEntry) {
  std::vector<std::u32string> pieces;
  for (const auto* list : {&tw_phrases(), &hk_phrases()}) {
    for (const std::string& phrase : *list) {
      std::u32string decoded;
      for (std::size_t pos = 0, length = 0; pos < phrase.size(); pos += length) {
        decoded.push_back(utf8_decode(phrase.data() + pos, &length));
      }
      pieces.push_back(decoded);
    }
  }
  std::mt19937 random(20240611);
  const auto pick = [&](std::size_t n) {
    return std::uniform_int_distribution<std::size_t>(0, n - 1)(random);
  };
  int scored = 0;
  for (int round = 0; round < 4000; ++round) {
    std::u32string text;
    for (std::size_t n = pick(8); n > 0; --n) {
      const std::u32string& phrase = pieces[pick(pieces.size())];
      const std::size_t from = pick(phrase.size());
      const std::size_t kind = pick(4);
      if (kind == 0) text += phrase;
      if (kind == 1) text += phrase.substr(from, 1 + pick(phrase.size() - from));  // a fragment
      if (kind == 2) text += phrase[from];
      if (kind == 3)
        text += static_cast<char32_t>(pick(2) ? 0x4E00 + pick(0x5200) : 0x20 + pick(0x5F));
    }
    std::string utf8;
    for (const char32_t c : text) utf8_append(c, utf8);
    const PhraseScores scores = regional_phrase_search().score(utf8);
    ASSERT_EQ(scores.tw, reference_score(tw_phrases(), hk_phrases(), utf8)) << utf8;
    ASSERT_EQ(scores.hk, reference_score(hk_phrases(), tw_phrases(), utf8)) << utf8;
    scored += scores.tw + scores.hk > 0;
  }
  EXPECT_GT(scored, 1000);  // the texts do reach phrases
}

}  // namespace
}  // namespace lumo
