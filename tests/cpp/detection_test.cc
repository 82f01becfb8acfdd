// Script-variant detection: the character sets and phrase lists, the decision
// rows, the one-pass phrase search, the three text widths and concurrent
// first use.
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
#include "dict/text_units.h"

namespace lumo {
namespace {

std::string describe(const std::optional<Detection>& result) {
  if (!result) return "nothing";
  return std::string(region_code(result->region)) + " " + std::to_string(result->confidence);
}

// `text` in UTF-8 (char), UTF-16 (std::uint16_t) or UTF-32 (std::uint32_t).
template <typename Unit>
std::vector<Unit> encoded(const std::u32string& text) {
  std::vector<Unit> units;
  for (const char32_t c : text) append_encoded(c, units);
  return units;
}

std::string utf8_of(const std::u32string& text) {
  const std::vector<char> units = encoded<char>(text);
  return std::string(units.begin(), units.end());
}

std::u32string decoded(std::string_view text) {
  std::u32string code_points;
  for (std::size_t pos = 0, length = 0; pos < text.size(); pos += length) {
    code_points.push_back(utf8_decode(text.data() + pos, &length));
  }
  return code_points;
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
  // The module relies on Latin-1 text detecting as nothing without reading it.
  std::u32string latin1;
  for (char32_t c = 1; c <= 0xFF; ++c) latin1 += c;
  EXPECT_EQ(describe(detect(utf8_of(latin1))), "nothing");
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
      {"爲", "cn-tw 200"},                    // row 7
      {"說", "cn-hk 200"},                    // row 5
      {"我的隨身碟壞了", "cn-tw 50"},         // row 1, raised to 50
      {"我们建立了一个新的公司", "cn-s 18"},  // Simplified outweighs the phrase 建立
      {"这是简体中文隨身碟", "cn-s 33"},      // and a quoted Taiwan term
      {"伊利諾州", "cn-t 25"},                // in both phrase lists: counters decide
      {"爲僞啓國", "cn-t 250"},               // row 6: 10 / 4
      {"爲僞啓喫國", "cn-t 255"},             // row 6: 13 / 5 saturates
      {"爲僞啓喫衆說國", "cn-t 255"},         // row 4: TW 5 < HK 6 < T 7, 18 / 7
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
    for (const std::string& phrase : *list) pieces.push_back(decoded(phrase));
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
      if (kind == 3) {
        const char32_t firsts[] = {0x4E00, 0x20, 0x20000};
        const std::size_t spans[] = {0x5200, 0x5F, 0x100};
        const std::size_t range = pick(3);
        text += static_cast<char32_t>(firsts[range] + pick(spans[range]));
      }
    }
    const std::string utf8 = utf8_of(text);
    const PhraseScores scores = regional_phrase_search().score(utf8);
    ASSERT_EQ(scores.tw, reference_score(tw_phrases(), hk_phrases(), utf8)) << utf8;
    ASSERT_EQ(scores.hk, reference_score(hk_phrases(), tw_phrases(), utf8)) << utf8;
    const std::vector<std::uint16_t> utf16 = encoded<std::uint16_t>(text);
    const std::vector<std::uint32_t> utf32 = encoded<std::uint32_t>(text);
    const PhraseScores wide[] = {regional_phrase_search().score(utf16.data(), utf16.size()),
                                 regional_phrase_search().score(utf32.data(), utf32.size())};
    for (const PhraseScores& same : wide) {
      ASSERT_EQ(std::make_pair(same.tw, same.hk), std::make_pair(scores.tw, scores.hk)) << utf8;
    }
    scored += scores.tw + scores.hk > 0;
  }
  EXPECT_GT(scored, 1000);  // the texts do reach phrases
}

std::vector<std::uint64_t> fields(const DetectionCounts& c) {
  return {c.cjk,        c.kana,       c.simplified, c.traditional,
          c.tw_variant, c.hk_variant, c.shinjitai,  c.kyujitai};
}

// The counts by their definition, over code points.
DetectionCounts reference_counts(const std::u32string& text) {
  const DetectionTables& tables = detection_tables();
  DetectionCounts counts;
  std::uint64_t* const by_set[] = {&counts.simplified, &counts.traditional, &counts.tw_variant,
                                   &counts.hk_variant, &counts.shinjitai,   &counts.kyujitai};
  for (const char32_t c : text) {
    counts.kana += c >= 0x3040 && c <= 0x30FF;
    if (c < 0x4E00 || c > 0x9FFF) continue;
    ++counts.cjk;
    for (std::size_t set = 0; set < 6; ++set) *by_set[set] += contains(tables.sets[set], c);
  }
  return counts;
}

TEST(DetectionWidths, EveryWidthCountsAndDetectsAlike) {
  std::vector<std::u32string> pieces;
  for (const auto* list : {&tw_phrases(), &hk_phrases()}) {
    for (const std::string& phrase : *list) pieces.push_back(decoded(phrase));
  }
  // Neighbours of the counted ranges and of the surrogates, astral
  // characters whose units would read as counted ones if a pair were
  // decoded wrongly, ASCII and Latin-1.
  for (const char32_t c : std::u32string(U"\u4DFF\uA000\u303F\u3100\uD7FF\uE000\uFFFF\U00010000"
                                         U"\U0002F9D4\U00024E00\U00013040\U0010FFFF a\u00E9")) {
    pieces.push_back(std::u32string(1, c));
  }
  std::mt19937 random(20240612);
  const auto pick = [&](std::size_t n) {
    return std::uniform_int_distribution<std::size_t>(0, n - 1)(random);
  };
  for (int round = 0; round < 3000; ++round) {
    std::u32string text;
    for (std::size_t n = pick(12); n > 0; --n) {
      switch (pick(4)) {
        case 0:
          text += pieces[pick(pieces.size())];
          break;
        case 1:
          text += static_cast<char32_t>(0x4E00 + pick(0x5200));
          break;
        case 2:
          text += static_cast<char32_t>(round % 2 ? 0x20000 + pick(0x100) : 0x3040 + pick(0xC0));
          break;
        default:
          text += pieces[pick(pieces.size())].front();
          break;
      }
    }
    const std::string utf8 = utf8_of(text);
    const std::vector<std::uint16_t> utf16 = encoded<std::uint16_t>(text);
    const std::vector<std::uint32_t> utf32 = encoded<std::uint32_t>(text);
    const std::vector<std::uint64_t> expected = fields(reference_counts(text));
    ASSERT_EQ(fields(count_characters(utf8)), expected) << utf8;
    ASSERT_EQ(fields(count_characters(utf16.data(), utf16.size())), expected) << utf8;
    ASSERT_EQ(fields(count_characters(utf32.data(), utf32.size())), expected) << utf8;
    const std::string detected = describe(detect(utf8));
    ASSERT_EQ(describe(detect(utf16.data(), utf16.size())), detected) << utf8;
    ASSERT_EQ(describe(detect(utf32.data(), utf32.size())), detected) << utf8;
  }
}

// Phrases beyond U+FFFF, which the built-in lists lack, take the surrogate
// pairs of UTF-16 and four-byte UTF-8 through the search.
TEST(DetectionWidths, AstralPhrasesScoreInEveryWidth) {
  const RegionalPhraseSearch search({"\U00020000中", "中\U00020000文", "\U0002A6A5"},
                                    {"\U0001F600國", "\U0002A6A5"});
  const struct {
    std::u32string text;
    std::uint64_t tw;
    std::uint64_t hk;
  } cases[] = {
      {U"\U00020000中", 2, 0},
      {U"x\U00020000中\U0001F600國", 2, 2},
      {U"\U00020000\U00020000中", 2, 0},
      {U"中\U00020001文\U00020001中", 0, 0},  // same high surrogate, other low one
      {U"\U0002A6A5", 0, 0},                  // in both lists
      {U"\U0001F600國中\U00020000文\U00020000中", 5, 2},
      {U"\U0001F600", 0, 0},
  };
  for (const auto& c : cases) {
    const std::string utf8 = utf8_of(c.text);
    const std::vector<std::uint16_t> utf16 = encoded<std::uint16_t>(c.text);
    const std::vector<std::uint32_t> utf32 = encoded<std::uint32_t>(c.text);
    const PhraseScores scores[] = {search.score(utf8), search.score(utf16.data(), utf16.size()),
                                   search.score(utf32.data(), utf32.size())};
    for (const PhraseScores& score : scores) {
      EXPECT_EQ(std::make_pair(score.tw, score.hk), std::make_pair(c.tw, c.hk)) << utf8;
    }
  }
}

}  // namespace
}  // namespace lumo
