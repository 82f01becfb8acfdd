// Plans of pieces: whatever the keys' length, a plan costs work bounded by
// the text, and its pieces convert like the whole.
#include "engine/whole/text_cuts.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <random>
#include <string>
#include <vector>

#include "dict/text_units.h"
#include "engine/config/config_loader.h"
#include "engine/core/conversion.h"
#include "engine/whole/text_stream.h"
#include "engine/whole/tuning.h"

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

// Feeds `text` to a stream in chunks of 1 to `longest` code points and
// converts each piece it has ready; returns the pieces joined, and the
// most units the stream held after a piece was taken.
std::vector<std::uint16_t> streamed(const Converter& converter, std::u32string_view text,
                                    std::size_t longest, std::mt19937& random,
                                    std::size_t* most_held) {
  TextStream stream(converter, kDefaultMaxHeld, true);
  std::vector<std::uint16_t> joined;
  *most_held = 0;
  std::size_t pos = 0;
  while (true) {
    const bool ended = pos == text.size();
    const std::size_t count = std::min<std::size_t>(1 + random() % longest, text.size() - pos);
    stream.append(reinterpret_cast<const std::uint32_t*>(text.data() + pos), count);
    pos += count;
    const std::size_t ready = stream.ready(ended).units;
    const std::vector<std::uint16_t> piece = converted(converter, stream.units(), ready);
    // The kept prefix's conversion, in code points, off the front.
    auto from = piece.begin();
    for (std::size_t dropped = 0; ready != 0 && dropped < stream.dropped_code_points(); ++dropped) {
      from += (*from >= 0xD800 && *from < 0xDC00) ? 2 : 1;
    }
    joined.insert(joined.end(), from, piece.end());
    stream.take(ready);
    *most_held = std::max(*most_held, stream.size());
    if (ended) return joined;
  }
}

TEST(TextCuts, StreamsConvertLikeTheWhole) {
  std::mt19937 random(11);
  const std::u32string nuls(300, U'\0');
  const std::u32string_view words[] = {U"我们的",
                                       U"U盘",
                                       U"坏了",
                                       U"，",
                                       U"汉字",
                                       U"\n",
                                       U"OK ",
                                       U"後來",
                                       U"乾燥",
                                       U"\r\n",
                                       U"😀",
                                       U"𠀀",
                                       U"の",
                                       U"A",
                                       U"發",
                                       U"干",
                                       U"头发后来头发后来头发后来干",
                                       nuls,
                                       U"Uber BSU ",
                                       U"B超",
                                       U"这是一个测试\n"};
  std::u32string text;
  for (int i = 0; i < 8000; ++i) text += words[random() % std::size(words)];
  const struct {
    ConfigId id;
    CustomPairs pairs;
  } cases[] = {
      {ConfigId::kS2T, {}},
      {ConfigId::kS2TWP, {}},
      {ConfigId::kTW2SP, {}},
      {ConfigId::kT2JP, {}},                                      // line cuts only
      {ConfigId::kS2T, {{"OK", "好"}, {"坏了\n汉", "X"}}},        // no line cuts
      {ConfigId::kT2JP, {{"A", "B"}}},                            // no cuts at all
      {ConfigId::kS2T, {{std::string("汉\0", 4), "X"}}},          // NUL is no quiet cut
      {ConfigId::kS2TWP, {{"头发后来头发后来头发后来干", "X"}}},  // a cut must see past its end
      {ConfigId::kS2HKP, {}},
      {ConfigId::kS2T, {{"测试", ""}, {"这是", "Pa"}, {"U盘", ""}}},  // values empty, ASCII-led
  };
  for (const auto& [id, pairs] : cases) {
    const Converter converter = build_converter(id, pairs);
    const std::vector<std::uint16_t> units = units_of<std::uint16_t>(text);
    const std::vector<std::uint16_t> whole = converted(converter, units.data(), units.size());
    for (const std::size_t longest : {3u, 40u, 5000u}) {
      std::size_t held = 0;
      EXPECT_TRUE(streamed(converter, text, longest, random, &held) == whole)
          << config_name(id) << ", " << pairs.size() << " custom, chunks up to " << longest;
    }
  }
}

// In running text of the script a configuration converts from, a stream
// holds back no more than a key's length and the first window its search
// looks in: it cuts where segments start, or after line feeds.
TEST(TextCuts, StreamsHoldBackLittleInRunningText) {
  std::mt19937 random(5);
  const std::u32string simplified = repeated(U"我们的U盘坏了，汉字和语言。", 5000);
  const std::u32string traditional = repeated(U"我們的隨身碟壞了，漢字和語言。\n", 5000);
  // No segmentation key matches here: only prefixed quiet cuts hold.
  const std::u32string lines = repeated(U"这是一个测试\n", 20000);
  const struct {
    ConfigId id;
    const std::u32string& text;
  } cases[] = {{ConfigId::kS2T, simplified},   {ConfigId::kS2T, lines},
               {ConfigId::kS2TWP, lines},      {ConfigId::kTW2SP, lines},
               {ConfigId::kS2TWP, simplified}, {ConfigId::kT2S, traditional},
               {ConfigId::kHK2S, traditional}};
  for (const auto& [id, text] : cases) {
    const Converter converter = build_converter(id, {});
    std::size_t held = 0;
    streamed(converter, text, 2000, random, &held);
    EXPECT_LE(held, converter.plan.cut_context_units + tuning::kStreamCutWindow) << config_name(id);
  }
}

// Stretches that offer no segment or line cut (NULs, Latin text under s2t,
// whose keys start with ASCII) are held no longer than running text; a
// stream that finds no cut at all reports itself over its bound once it
// holds more than that.
TEST(TextCuts, StreamsCutQuietStretchesOrStopAtTheirBound) {
  std::mt19937 random(7);
  const Converter s2t = build_converter(ConfigId::kS2T, {});
  for (const std::u32string& text :
       {std::u32string(100000, U'\0'), repeated(U"Uber BSU ", 10000)}) {
    const std::vector<std::uint16_t> units = units_of<std::uint16_t>(text);
    std::size_t held = 0;
    EXPECT_TRUE(streamed(s2t, text, 2000, random, &held) ==
                converted(s2t, units.data(), units.size()));
    EXPECT_LE(held, s2t.plan.cut_context_units + tuning::kStreamCutWindow);
  }
  const Converter uncut = build_converter(ConfigId::kT2JP, {{"A", "B"}});
  TextStream stream(uncut, 1000);
  const std::vector<std::uint32_t> letters(1000, U'A');
  stream.append(letters.data(), letters.size());
  EXPECT_FALSE(stream.ready(false).over_bound);
  stream.append(letters.data(), 1);
  const StreamReadiness readiness = stream.ready(false);
  EXPECT_TRUE(readiness.over_bound);
  EXPECT_EQ(readiness.units, 0u);
  EXPECT_EQ(stream.ready(true).units, 1001u);
}

}  // namespace
}  // namespace lumo
