// Differential check of the conversion engine against a deliberately plain
// reference: dictionaries as std::map, longest match by trying every
// length, segmentation and stages exactly as the rules read, no sharing and
// no fused walks. Random texts mix dictionary keys, ASCII, kana, emoji and
// rare characters; custom pairs include ASCII keys and empty values.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <cstring>
#include <map>
#include <optional>
#include <random>
#include <string>
#include <vector>

#include <nlohmann/json.hpp>

#include "dict/catalogue.h"
#include "dict/dictionary_spec.h"
#include "dict/lexicon_builder.h"
#include "dict/text_reader.h"
#include "dict/utf8.h"
#include "engine/config/config_loader.h"
#include "engine/core/conversion.h"
#include "engine/core/planning.h"
#include "engine/core/stage_runner.h"
#include "engine/whole/text_cuts.h"
#include "engine/whole/text_stream.h"
#include "engine/whole/whole_conversion.h"

namespace lumo {
namespace {

using json = nlohmann::json;
using ReferenceLexicon = std::map<std::string, std::string, std::less<>>;
using ReferenceGroup = std::vector<ReferenceLexicon>;

void add_text(std::string_view text, ReferenceLexicon& lexicon) {
  DictionaryTextReader reader(text);
  DictionaryEntry entry;
  while (reader.next(entry)) {
    if (!entry.key.empty()) lexicon[std::string(entry.key)] = entry.values.front();
  }
}

// The built-in configurations only use file and merged-group forms.
ReferenceGroup reference_group(const json& spec, const CustomPairs& pairs) {
  ReferenceGroup group;
  if (!pairs.empty()) {
    ReferenceLexicon& custom = group.emplace_back();
    for (const auto& [key, value] : pairs) {
      if (!key.empty()) custom[key] = value;
    }
  }
  ReferenceLexicon& merged = group.emplace_back();
  const auto add_file = [&merged](const json& file_spec) {
    const std::string name = normalize_dictionary_name(file_spec.at("file").get<std::string>());
    add_text(*embedded_dictionary_text(name), merged);
  };
  if (spec.value("type", "") == "group") {
    for (const json& member : spec.at("dicts")) add_file(member);
  } else {
    add_file(spec);
  }
  return group;
}

struct ReferenceConverter {
  std::optional<ReferenceGroup> segmentation;
  std::vector<ReferenceGroup> stages;
};

// Longest key of the first lexicon that has one: bytes matched, value.
// Each lexicon is read a character at a time while some key starts with
// what was read.
std::optional<std::pair<std::size_t, std::string>> longest(const ReferenceGroup& group,
                                                           std::string_view text) {
  for (const ReferenceLexicon& lexicon : group) {
    std::optional<std::pair<std::size_t, std::string>> found;
    for (std::size_t end = 0; end < text.size();) {
      end += utf8_sequence_length(static_cast<unsigned char>(text[end]));
      const std::string_view prefix = text.substr(0, end);
      const auto next = lexicon.lower_bound(prefix);
      if (next == lexicon.end() || !next->first.starts_with(prefix)) break;
      if (next->first == prefix) found = std::make_pair(end, next->second);
    }
    if (found) return found;
  }
  return std::nullopt;
}

std::string reference_stage(const ReferenceGroup& group, std::string_view text) {
  std::string out;
  const bool ascii_led = !text.empty() && static_cast<unsigned char>(text[0]) < 0x80;
  for (std::size_t pos = 0; pos < text.size();) {
    const std::size_t length = utf8_sequence_length(static_cast<unsigned char>(text[pos]));
    if (ascii_led && length == 1) {
      out += text[pos++];
      continue;
    }
    if (const auto match = longest(group, text.substr(pos))) {
      out += match->second;
      pos += match->first;
    } else {
      out += text.substr(pos, length);
      pos += length;
    }
  }
  return out;
}

std::string reference_convert(const ReferenceConverter& converter, std::string_view text) {
  std::vector<std::string_view> segments;
  if (!converter.segmentation) {
    segments.push_back(text);
  } else {
    std::size_t run_start = 0;
    std::size_t pos = 0;
    while (pos < text.size()) {
      if (const auto match = longest(*converter.segmentation, text.substr(pos))) {
        if (run_start < pos) segments.push_back(text.substr(run_start, pos - run_start));
        segments.push_back(text.substr(pos, match->first));
        pos += match->first;
        run_start = pos;
      } else {
        pos += utf8_sequence_length(static_cast<unsigned char>(text[pos]));
      }
    }
    if (run_start < text.size()) segments.push_back(text.substr(run_start));
  }
  std::string out;
  for (const std::string_view segment : segments) {
    std::string piece(segment);
    for (const ReferenceGroup& stage : converter.stages) piece = reference_stage(stage, piece);
    out += piece;
  }
  return out;
}

ReferenceConverter reference_converter(std::string_view config_text, const CustomPairs& pairs) {
  const json config = json::parse(config_text);
  ReferenceConverter converter;
  if (config.contains("segmentation")) {
    converter.segmentation = reference_group(config["segmentation"]["dict"], pairs);
  }
  for (const json& stage : config["conversion_chain"]) {
    converter.stages.push_back(reference_group(stage["dict"], pairs));
  }
  return converter;
}

ReferenceConverter reference_converter(ConfigId id, const CustomPairs& pairs) {
  return reference_converter(*embedded_config_text(id), pairs);
}

// Keys and values of every dictionary a configuration reads.
std::vector<std::string> vocabulary(std::string_view config_text) {
  std::vector<std::string> words;
  const json config = json::parse(config_text);
  std::vector<json> specs;
  if (config.contains("segmentation")) specs.push_back(config["segmentation"]["dict"]);
  for (const json& stage : config["conversion_chain"]) specs.push_back(stage["dict"]);
  for (const json& spec : specs) {
    const ReferenceGroup group = reference_group(spec, {});
    for (const auto& [key, value] : group.back()) {
      words.push_back(key);
      words.push_back(value);
    }
  }
  return words;
}

std::vector<std::string> vocabulary(ConfigId id) { return vocabulary(*embedded_config_text(id)); }

class TextGenerator {
 public:
  TextGenerator(std::vector<std::string> words, unsigned seed)
      : words_(std::move(words)), random_(seed) {}

  std::string next() {
    static const char* const kPieces[] = {
        "A",  "b",  "OK",     "U",  "B", " ",  "\n",     "7",      ",",      "の",        "カ",
        "😀", "𠀀", "\u3000", "。", "é", "\t", "\uFF0C", "\uFFEF", "\uFFFD", "\U0010FFFD"};
    std::string text;
    const int pieces = pick(24);
    for (int i = 0; i < pieces; ++i) {
      const int kind = pick(10);
      if (kind < 5) {
        text += words_[pick(static_cast<int>(words_.size()))];
      } else if (kind < 7) {
        // A part of a word, to start or end inside phrases.
        const std::string& word = words_[pick(static_cast<int>(words_.size()))];
        std::size_t cut = 0;
        for (int c = pick(3); c > 0 && cut < word.size(); --c) {
          cut += utf8_sequence_length(static_cast<unsigned char>(word[cut]));
        }
        text += word.substr(cut);
      } else {
        text += kPieces[pick(static_cast<int>(std::size(kPieces)))];
      }
    }
    return text;
  }

  int pick(int bound) { return std::uniform_int_distribution<int>(0, bound - 1)(random_); }

 private:
  std::vector<std::string> words_;
  std::mt19937 random_;
};

CustomPairs random_pairs(TextGenerator& generator) {
  CustomPairs pairs;
  const int count = 1 + generator.pick(6);
  for (int i = 0; i < count; ++i) {
    std::string key = generator.next().substr(0, 9);
    while (!key.empty() && (static_cast<unsigned char>(key.back()) & 0xC0) == 0x80) key.pop_back();
    if (!key.empty() && (static_cast<unsigned char>(key.back()) & 0xC0) == 0xC0) key.pop_back();
    if (generator.pick(4) == 0) key = "OK";
    // Now and then a key long enough for the long-key index.
    if (generator.pick(4) == 0 && !key.empty()) {
      const std::string unit = key;
      while (key.size() <= 300) key += unit;
    }
    pairs.emplace_back(key, generator.pick(3) == 0 ? "" : "«" + std::to_string(i) + "»");
  }
  return pairs;
}

TEST(Differential, EveryConfigMatchesTheReference) {
  // A first-stage phrase that a segment starting inside it cuts short
  // (under tw2s and hk2s), then random texts.
  const std::vector<std::string> fixed = {"一口吃成甦", "人才輩出醜狼藉", "皂角徵", "懸針垂露覆"};
  for (std::size_t i = 0; i < kConfigCount; ++i) {
    const auto id = static_cast<ConfigId>(i);
    TextGenerator generator(vocabulary(id), 7 + static_cast<unsigned>(i));
    const Converter converter = build_converter(id, {});
    const ReferenceConverter reference = reference_converter(id, {});
    for (std::size_t round = 0; round < fixed.size() + 150; ++round) {
      const std::string text = round < fixed.size() ? fixed[round] : generator.next();
      ASSERT_EQ(convert_text(converter, text), reference_convert(reference, text))
          << kConfigNames[i] << " on \"" << text << "\"";
    }
  }
}

// Configurations of other shapes than the built-in ones: a segmentation
// dictionary of single characters (each a segment of its own, which a later
// stage must not match across), and a first stage with few key starts
// under a segmentation of phrases.
TEST(Differential, OtherShapesMatchTheReference) {
  const char* const configs[] = {
      R"({"segmentation": {"dict": {"type": "ocd2", "file": "TSCharacters.ocd2"}},
          "conversion_chain": [{"dict": {"type": "ocd2", "file": "TSCharacters.ocd2"}},
                               {"dict": {"type": "ocd2", "file": "STPhrases.ocd2"}}]})",
      R"({"segmentation": {"dict": {"type": "ocd2", "file": "TWPhrases.ocd2"}},
          "conversion_chain": [{"dict": {"type": "group", "dicts": [
                                  {"type": "ocd2", "file": "TWPhrases.ocd2"},
                                  {"type": "ocd2", "file": "TWVariants.ocd2"}]}},
                               {"dict": {"type": "ocd2", "file": "TSPhrases.ocd2"}}]})",
  };
  for (const char* config : configs) {
    const Result<Converter> converter = load_config(config, {});
    ASSERT_TRUE(converter) << converter.error();
    const ReferenceConverter reference = reference_converter(config, {});
    TextGenerator generator(vocabulary(config), 5);
    for (int round = 0; round < 300; ++round) {
      const std::string text = generator.next();
      ASSERT_EQ(convert_text(converter.value(), text), reference_convert(reference, text))
          << config << " on \"" << text << "\"";
    }
  }
}

// Long enough that the later stages run over several chunks.
TEST(Differential, LongTextsMatchTheReference) {
  for (const ConfigId id : {ConfigId::kS2TWP, ConfigId::kTW2SP}) {
    TextGenerator generator(vocabulary(id), 31);
    std::string text;
    while (text.size() < 200000) text += generator.next();
    const std::string expected = reference_convert(reference_converter(id, {}), text);
    EXPECT_TRUE(convert_text(build_converter(id, {}), text) == expected) << config_name(id);
  }
}

TEST(Differential, CustomPairsMatchTheReference) {
  for (std::size_t i = 0; i < kConfigCount; ++i) {
    const auto id = static_cast<ConfigId>(i);
    TextGenerator generator(vocabulary(id), 101 + static_cast<unsigned>(i));
    for (int round = 0; round < 6; ++round) {
      const CustomPairs pairs = random_pairs(generator);
      const Converter converter = build_converter(id, pairs);
      const ReferenceConverter reference = reference_converter(id, pairs);
      for (int text_round = 0; text_round < 25; ++text_round) {
        std::string text = generator.next();
        if (text_round % 2 == 0)
          text.insert(generator.pick(2) == 0 ? 0 : text.size(), pairs[0].first);
        // Near misses of the key, which walks follow far, then the key.
        if (text_round % 4 == 1) {
          const std::string& key = pairs[0].first;
          std::size_t cut = key.size() / 2;
          while (cut > 0 && (static_cast<unsigned char>(key[cut]) & 0xC0) == 0x80) --cut;
          const std::string miss = key.substr(0, cut);
          for (int copy = 0; copy < 20; ++copy) text.insert(0, miss);
          text += key;
        }
        ASSERT_EQ(convert_text(converter, text), reference_convert(reference, text))
            << kConfigNames[i] << " with custom key \"" << pairs[0].first << "\" on \"" << text
            << "\"";
      }
    }
  }
}

// Texts cut wherever find_cut allows convert, piece by piece, exactly like
// the whole; custom pairs bring keys with line feeds and ASCII starts,
// which rule line cuts out.
TEST(Differential, PiecesCutAtSafeCutsConvertLikeTheWhole) {
  for (std::size_t i = 0; i < kConfigCount; ++i) {
    const auto id = static_cast<ConfigId>(i);
    TextGenerator generator(vocabulary(id), 211 + static_cast<unsigned>(i));
    std::size_t cuts = 0;
    for (int round = 0; round < 9; ++round) {
      const CustomPairs pairs = round < 4   ? CustomPairs{}
                                : round < 8 ? random_pairs(generator)
                                            : CustomPairs{{"の\nカ", "«nl»"}};
      const Converter converter = build_converter(id, pairs);
      std::string text;
      for (int piece = 0; piece < 12; ++piece) {
        text += generator.next();
        if (!pairs.empty() && generator.pick(3) == 0) text += pairs[0].first;
      }
      const std::string whole = convert_text(converter, text);
      for (int probe = 0; probe < 40; ++probe) {
        std::size_t from = static_cast<std::size_t>(generator.pick(static_cast<int>(text.size())));
        while ((static_cast<unsigned char>(text[from]) & 0xC0) == 0x80) --from;
        const std::size_t cut = find_cut(converter, text, from, text.size());
        if (cut == std::string::npos) continue;
        ASSERT_GE(cut, from);
        ++cuts;
        const std::string_view view(text);
        ASSERT_EQ(convert_text(converter, view.substr(0, cut)) +
                      convert_text(converter, view.substr(cut)),
                  whole)
            << kConfigNames[i] << " cut at " << cut << " of \"" << text << "\"";
      }
    }
    EXPECT_GT(cuts, 0u) << kConfigNames[i];
  }
}

std::vector<std::uint32_t> code_points_of(std::string_view text) {
  std::vector<std::uint32_t> points;
  for (std::size_t pos = 0, length = 0; pos < text.size(); pos += length) {
    points.push_back(utf8_decode(text.data() + pos, &length));
  }
  return points;
}

std::vector<std::uint32_t> code_points_of(std::basic_string_view<std::uint16_t> text) {
  std::vector<std::uint32_t> points;
  for (std::size_t pos = 0; pos < text.size(); ++pos) {
    const std::uint32_t unit = text[pos];
    const bool pair = unit >= 0xD800 && unit < 0xDC00;
    points.push_back(pair ? 0x10000 + ((unit - 0xD800) << 10) + (text[++pos] - 0xDC00) : unit);
  }
  return points;
}

std::vector<std::uint16_t> utf16_of(const std::vector<std::uint32_t>& points) {
  std::vector<std::uint16_t> units;
  for (const std::uint32_t cp : points) {
    if (cp < 0x10000) {
      units.push_back(static_cast<std::uint16_t>(cp));
    } else {
      units.push_back(static_cast<std::uint16_t>(0xD800 + ((cp - 0x10000) >> 10)));
      units.push_back(static_cast<std::uint16_t>(0xDC00 + ((cp - 0x10000) & 0x3FF)));
    }
  }
  return units;
}

// Texts held as UTF-16 or UTF-32 convert to the form of what their UTF-8
// form converts to, surrogate pairs in and out included.
TEST(Differential, Utf16AndUtf32TextsConvertLikeTheirUtf8Form) {
  for (std::size_t i = 0; i < kConfigCount; ++i) {
    const auto id = static_cast<ConfigId>(i);
    TextGenerator generator(vocabulary(id), 307 + static_cast<unsigned>(i));
    for (int round = 0; round < 4; ++round) {
      CustomPairs pairs = round == 0 ? CustomPairs{} : random_pairs(generator);
      if (round == 3) pairs.emplace_back("の", "😀𠀀");
      const Converter converter = build_converter(id, pairs);
      for (int text_round = 0; text_round < 30; ++text_round) {
        const std::string text = generator.next() + (round == 3 ? "の" : "");
        const std::vector<std::uint32_t> expected = code_points_of(convert_text(converter, text));
        const std::vector<std::uint32_t> points = code_points_of(text);

        BasicTextBuffer<std::uint32_t> wide;
        convert_units_to(converter, points.data(), points.size(), wide);
        ASSERT_EQ(std::vector<std::uint32_t>(wide.data(), wide.data() + wide.size()), expected)
            << kConfigNames[i] << " on \"" << text << "\"";

        const std::vector<std::uint16_t> units = utf16_of(points);
        BasicTextBuffer<std::uint16_t> narrow;
        convert_units_to(converter, units.data(), units.size(), narrow);
        ASSERT_EQ(std::vector<std::uint16_t>(narrow.data(), narrow.data() + narrow.size()),
                  utf16_of(expected))
            << kConfigNames[i] << " on \"" << text << "\"";
      }
    }
  }
}

// A whole conversion following `options`, as code points; checks that the
// result's storage has the narrowest width that holds it.
template <typename Unit>
std::vector<std::uint32_t> converted_whole(const Converter& converter,
                                           const std::vector<Unit>& text,
                                           const ConversionOptions& options) {
  std::vector<unsigned char> storage;
  ResultShape made;
  const ConversionOutcome outcome = convert_whole(
      converter, text.data(), text.size(), options, [&](const ResultShape& shape) -> void* {
        made = shape;
        storage.resize(shape.characters * shape.width() + 1);
        return storage.data();
      });
  EXPECT_EQ(outcome, ConversionOutcome::kConverted);
  std::vector<std::uint32_t> points(made.characters);
  std::uint32_t largest = 0;
  for (std::size_t i = 0; i < points.size(); ++i) {
    std::memcpy(&points[i], storage.data() + i * made.width(), made.width());  // little-endian
    if (made.width() == 1) points[i] &= 0xFF;
    if (made.width() == 2) points[i] &= 0xFFFF;
    largest = std::max(largest, points[i]);
  }
  const std::uint32_t narrower = made.bound == 0x10FFFF ? 0xFFFF
                                 : made.bound == 0xFFFF ? 0xFF
                                                        : 0x7F;
  EXPECT_TRUE(made.bound == 0x7F || largest > narrower) << "bound " << std::uint32_t{made.bound};
  EXPECT_LE(largest, std::uint32_t{made.bound});
  return points;
}

// What a case of FastPathConversion takes: one fast path alone, with the
// paths it needs, or, after the last path, all of them.
constexpr int kPathCount = static_cast<int>(FastPath::kCount);
FastPaths paths_of_case(int index) {
  return index < kPathCount ? FastPaths{static_cast<FastPath>(index)} : FastPaths::all();
}

class FastPathConversion : public testing::TestWithParam<int> {};

// Long texts in every width, cut into up to eight pieces on as many
// threads, convert with the case's fast paths exactly as with none on one
// thread; each path is taken by some configuration. The texts hold
// stretches long enough for the shared walk to switch between scanning and
// converting character by character.
TEST_P(FastPathConversion, ConvertsLikeThePlainPath) {
  const FastPaths paths = paths_of_case(GetParam());
  std::size_t taken = 0;
  for (std::size_t i = 0; i < kConfigCount; ++i) {
    const auto id = static_cast<ConfigId>(i);
    TextGenerator generator(vocabulary(id), 401 + static_cast<unsigned>(i));
    for (int round = 0; round < 2; ++round) {
      Converter converter =
          build_converter(id, round == 0 ? CustomPairs{} : random_pairs(generator));
      converter.plan = fast_plan(converter, paths);
      if (converter.plan == plain_plan(converter)) continue;
      ++taken;
      std::string text;
      while (text.size() < 60000) {
        const int kind = generator.pick(8);
        if (kind == 0) {
          for (int k = 0; k < 300; ++k) text += "のカ abc";  // untouched, or nearly
        } else if (kind == 1) {
          const std::string line = generator.next();
          for (int k = 0; k < 40; ++k) text += line;
        } else {
          text += generator.next();
        }
      }
      const std::vector<std::uint32_t> points = code_points_of(text);
      const std::vector<std::uint16_t> units = utf16_of(points);
      const std::vector<char> bytes(text.begin(), text.end());
      const std::vector<std::uint32_t> plain = converted_whole(converter, points, {1, false});
      for (std::size_t threads = 1; threads <= 8; ++threads) {
        const ConversionOptions options{threads, true, 1024};
        ASSERT_EQ(converted_whole(converter, points, options), plain)
            << kConfigNames[i] << ", UTF-32, " << threads << " threads, round " << round;
        ASSERT_EQ(converted_whole(converter, units, options), plain)
            << kConfigNames[i] << ", UTF-16, " << threads << " threads, round " << round;
        ASSERT_EQ(converted_whole(converter, bytes, options), plain)
            << kConfigNames[i] << ", UTF-8, " << threads << " threads, round " << round;
      }
    }
  }
  EXPECT_GT(taken, 0u) << "no configuration takes the path";
}

constexpr const char* kPathNames[] = {
    "WalksTogether", "SharedTrie",   "SharedSkips", "SharedSingles", "RunsOpenedBySingles",
    "EveryPair",     "ScanOrLookUp", "StageTrie",   "StageSingles",  "StageSkips",
    "AsciiRuns",     "Utf16Units",   "ShortCopies", "Utf8Words",     "All"};
static_assert(std::size(kPathNames) == kPathCount + 1, "a name for each fast path");

INSTANTIATE_TEST_SUITE_P(EachAloneAndAll, FastPathConversion, testing::Range(0, kPathCount + 1),
                         [](const testing::TestParamInfo<int>& info) {
                           return std::string(kPathNames[info.param]);
                         });

// UTF-8 read two three-byte characters at a time converts as character by
// character where single values turn three-byte characters into
// characters of one, two, three and four bytes, where longer keys start
// with one (一, before 出 or not), next to the single-value table's end
// (U+FFEF, U+FFF0) and to characters of other lengths, among ASCII
// characters that start keys (a) and that start none (b, c), and where the
// text ends at every place of a word.
TEST(Differential, Utf8WordsConvertLikeCharacterByCharacter) {
  const Lexicon lexicon = lexicon_from_texts(
      {TextSource{"甲\tA\n乙\té\n丙\t𠀀\n丁\t个\n一\t壹\n一出\t一齣\n\uFFEF\t\uFFEE\nab\tX\n"}},
      SingleValues::kUnmarked);
  const DictionaryGroup group = {lexicon};
  StagePlan by_character;
  by_character.trie = &lexicon.trie();
  by_character.singles = true;
  StagePlan by_word = by_character;
  by_word.utf8_words = true;
  const std::vector<std::string> alphabet = {"甲",     "乙",     "丙", "丁", "一", "出", "人",
                                             "\uFFEF", "\uFFF0", "𠀀", "é",  "a",  "b",  "c"};
  std::mt19937 random(17);
  for (int round = 0; round < 3000; ++round) {
    std::string text;
    const std::size_t count = 1 + random() % 12;
    for (std::size_t i = 0; i < count; ++i) text += alphabet[random() % alphabet.size()];
    TextBuffer expected;
    TextBuffer words;
    run_stage(group, by_character, text.data(), 0, text.size(), false, expected);
    run_stage(group, by_word, text.data(), 0, text.size(), false, words);
    ASSERT_EQ(words.view(), expected.view()) << text;
  }
}

// The same texts, longer, converted block by block by single values alone
// with either pair test (each character's pair tested, or only those of
// characters longer keys start with): read two three-byte characters at a
// time, the blocks stop where read a character at a time they stop, at
// a character that needs a walk or at the block's end, with the same output.
template <PairTest kPairs, UnitReading kReading>
std::string convert_by_blocks(const LexiconTrie& trie, const std::string& text) {
  TextBuffer output;
  std::string stops;
  for (std::size_t pos = 0; pos < text.size();) {
    bool walk = false;
    convert_single_block<kPairs, kReading>(trie, text.data(), pos, text.size(), output, &walk);
    stops += std::to_string(pos) + (walk ? "w " : " ");
    if (walk) pos += utf8_sequence_length(static_cast<unsigned char>(text[pos]));
  }
  return std::string(output.view()) + "|" + stops;
}

TEST(Differential, Utf8WordBlocksConvertLikeCharacterByCharacter) {
  const Lexicon lexicon = lexicon_from_texts(
      {TextSource{"甲\tA\n乙\té\n丙\t𠀀\n丁\t个\n一\t壹\n一出\t一齣\n出人\t出入\n\uFFEF\t\uFFEE\n"
                  "ab\tX\n"}},
      SingleValues::kUnmarked);
  const LexiconTrie& trie = lexicon.trie();
  const std::vector<std::string> alphabet = {"甲", "乙",     "丙",     "丁", "一", "出", "人", "人",
                                             "出", "\uFFEF", "\uFFF0", "𠀀", "é",  "a",  "b",  "c"};
  std::mt19937 random(29);
  for (int round = 0; round < 3000; ++round) {
    std::string text;
    const std::size_t count = 1 + random() % (round % 10 == 0 ? 200 : 30);
    for (std::size_t i = 0; i < count; ++i) text += alphabet[random() % alphabet.size()];
    const std::string expected =
        convert_by_blocks<PairTest::kExtendedOnly, UnitReading::kByCharacter>(trie, text);
    ASSERT_EQ((convert_by_blocks<PairTest::kEveryCharacter, UnitReading::kByCharacter>(trie, text)),
              expected)
        << text;
    ASSERT_EQ((convert_by_blocks<PairTest::kExtendedOnly, UnitReading::kByWord>(trie, text)),
              expected)
        << text;
    ASSERT_EQ((convert_by_blocks<PairTest::kEveryCharacter, UnitReading::kByWord>(trie, text)),
              expected)
        << text;
  }
}

// Stretches without segment or line cuts: runs of NUL, Latin text whose
// letters start keys of some configurations (U盘, B超), mixed with Chinese.
// Wherever find_cut cuts them, a plan on threads does, or a stream does
// (scanning runs from its start where stage keys start with ASCII), the
// pieces convert like the whole, and the whole like the reference; where
// quiet cuts hold, find_cut finds them between NULs. Custom keys starting
// with ASCII rule them out; one holding NUL keeps NUL from being quiet.
TEST(Differential, PiecesCutAtQuietCutsConvertLikeTheWhole) {
  const std::string words[] = {std::string(200, '\0'),
                               std::string(3, '\0'),
                               "U盘",
                               "用U盘",
                               "Uber ",
                               "BSU",
                               "B超",
                               "SIM卡",
                               "A",
                               "P",
                               "U",
                               "S ",
                               "核心",
                               "内存",
                               "軟體",
                               "隨身碟",
                               "汉字",
                               "の",
                               "😀",
                               "\n",
                               "这是一个测试\n"};
  const struct {
    ConfigId id;
    CustomPairs pairs;
    bool quiet;
  } cases[] = {
      {ConfigId::kS2T, {}, false},  // keys start with P and S
      {ConfigId::kS2TWP, {}, false},
      {ConfigId::kS2HKP, {}, false},
      {ConfigId::kTW2SP, {}, false},
      {ConfigId::kS2T, {{"测试", ""}, {"这是", "Pa"}, {"U盘", ""}}, false},
      {ConfigId::kT2JP, {}, true},
      {ConfigId::kT2S, {}, true},
      {ConfigId::kS2T, {{std::string("汉\0", 4), "X"}}, false},
      {ConfigId::kT2S, {{std::string("漢\0", 4), "X"}}, true},
      {ConfigId::kT2JP, {{"BSU", "乙"}, {"U", "ユ"}}, false},
  };
  std::mt19937 random(29);
  for (const auto& [id, pairs, quiet] : cases) {
    const Converter converter = build_converter(id, pairs);
    const ReferenceConverter reference = reference_converter(id, pairs);
    EXPECT_EQ(converter.plan.quiet_cuts, quiet) << config_name(id);
    std::size_t quiet_found = 0;
    for (int round = 0; round < 6; ++round) {
      std::string text;
      while (text.size() < 3000) text += words[random() % std::size(words)];
      const std::string whole = convert_text(converter, text);
      ASSERT_EQ(whole, reference_convert(reference, text)) << config_name(id);
      for (int probe = 0; probe < 40; ++probe) {
        std::size_t from = random() % text.size();
        while ((static_cast<unsigned char>(text[from]) & 0xC0) == 0x80) --from;
        const std::size_t cut = find_cut(converter, text, from, text.size());
        if (cut == std::string::npos) continue;
        // Only a quiet cut lies between two NULs.
        quiet_found += cut > 0 && cut < text.size() && text[cut - 1] == '\0' && text[cut] == '\0';
        const std::string_view view(text);
        ASSERT_EQ(convert_text(converter, view.substr(0, cut)) +
                      convert_text(converter, view.substr(cut)),
                  whole)
            << config_name(id) << " cut at " << cut;
      }
      const std::vector<std::uint32_t> points = code_points_of(text);
      const std::vector<std::uint32_t> converted = code_points_of(whole);
      const std::vector<char> bytes(text.begin(), text.end());
      for (std::size_t threads = 2; threads <= 4; ++threads) {
        ASSERT_EQ(converted_whole(converter, points, {threads, true, 64}), converted)
            << config_name(id) << ", " << threads << " threads";
        // Planned places fall inside characters.
        ASSERT_EQ(converted_whole(converter, bytes, {threads, true, 65}), converted)
            << config_name(id) << ", UTF-8, " << threads << " threads";
      }
      // Streamed in chunks of 1 to 300 code points, or of 1 to 8 (where
      // prefixed cuts fall at the ends of chunks), with and without
      // prefixed cuts.
      for (const std::size_t longest : {300u, 8u}) {
        for (const bool prefixed : {false, true}) {
          TextStream stream(converter, kDefaultMaxHeld, prefixed);
          std::vector<std::uint32_t> streamed;
          for (std::size_t pos = 0; pos < points.size() || stream.size() != 0;) {
            const std::size_t count =
                std::min<std::size_t>(1 + random() % longest, points.size() - pos);
            stream.append(points.data() + pos, count);
            pos += count;
            const std::size_t ready = stream.ready(pos == points.size()).units;
            if (ready == 0) continue;
            BasicTextBuffer<std::uint16_t> piece;
            ASSERT_TRUE(convert_units_to(converter, stream.units(), ready, piece));
            const std::vector<std::uint32_t> piece_points = code_points_of(piece.view());
            ASSERT_LE(stream.dropped_code_points(), piece_points.size());
            streamed.insert(streamed.end(), piece_points.begin() + stream.dropped_code_points(),
                            piece_points.end());
            stream.take(ready);
          }
          ASSERT_TRUE(streamed == converted) << config_name(id) << ", streamed, chunks up to "
                                             << longest << ", prefixed " << prefixed;
        }
      }
    }
    const bool nul_quiet = quiet && pairs.empty();
    EXPECT_EQ(quiet_found > 0, nul_quiet) << config_name(id);
  }
}

}  // namespace
}  // namespace lumo
