// Dictionary descriptions: file-name normalization, the accepted forms,
// merged and separate groups, inline entries, extra pairs and every error.
#include <gtest/gtest.h>

#include <optional>
#include <string>
#include <vector>

#include <nlohmann/json.hpp>

#include "dict/dictionary_spec.h"

namespace lumo {
namespace {

using nlohmann::json;

// The group a description describes, headed by a lexicon of `extra_pairs` when they are not
// empty, built the way a converter builds its groups.
Result<DictionaryGroup> build_dictionary_group(const json& spec, const KeyValuePairs& extra_pairs) {
  Result<GroupPlan> plan = plan_dictionary_group(spec);
  if (!plan) return Error{plan.error()};
  std::optional<Lexicon> head;
  if (!extra_pairs.empty()) head = lexicon_from_pairs(extra_pairs);
  return build_group_plan(plan.value(), head);
}

TEST(DictionarySpec, NormalizesNamesEndingByEnding) {
  const std::pair<const char*, const char*> cases[] = {{"STPhrases.ocd2", "STPhrases"},
                                                       {"STPhrases.ocd", "STPhrases"},
                                                       {"STPhrases.txt", "STPhrases"},
                                                       {"a.ocd2.ocd2", "a"},
                                                       {"TSPhrases.txt.ocd2", "TSPhrases"},
                                                       {"TSPhrases.ocd2.txt", "TSPhrases.ocd2"},
                                                       {"x.txt.ocd", "x"},
                                                       {"x.ocd2.ocd", "x.ocd2"},
                                                       {"dir/a.ocd2", "dir/a"},
                                                       {"a.OCD2", "a.OCD2"},
                                                       {".ocd2", ""},
                                                       {"", ""}};
  for (const auto& [file, name] : cases) EXPECT_EQ(normalize_dictionary_name(file), name) << file;
}

// Value counts of the lexicons of a group, in order.
std::vector<std::size_t> shape(const DictionaryGroup& group) {
  std::vector<std::size_t> counts;
  for (const Lexicon& lexicon : group) counts.push_back(lexicon.value_count());
  return counts;
}

TEST(DictionarySpec, FormsAndGroupShapes) {
  const std::pair<const char*, std::vector<std::size_t>> cases[] = {
      {R"({"type": "ocd2", "file": "STCharacters.ocd2"})", {4011}},
      {R"({"type": "text", "file": "STCharacters.txt"})", {4011}},
      {R"({"type": "ocd", "file": "STCharacters"})", {4011}},
      {R"({"file": "STCharacters.ocd2"})", {4011}},
      {R"({"type": 5, "file": "STCharacters.ocd2"})", {4011}},
      {R"({"file": "TSPhrases.txt.ocd2", "may_output_tofu": true})", {469}},
      {R"({"type": "group", "dicts": []})", {0}},
      // Plain file members merge into one lexicon; these have disjoint keys.
      {R"({"type": "group", "dicts": [{"file": "STCharacters"},
          {"type": "text", "file": "TSPhrases.txt"}]})",
       {4480}},
      {R"({"type": "group", "dicts": [{"file": "TSPhrases"}, {"file": "TSCharactersExt",
          "may_output_tofu": true}, {"file": "TSCharacters"}]})",
       {4613}},
      // Any other member keeps every member separate; a nested group merges.
      {R"({"type": "group", "dicts": [{"file": "STCharacters"},
          {"type": "inline", "entries": {"a": "b"}}]})",
       {4011, 1}},
      {R"({"type": "group", "dicts": [{"type": "inline", "entries": {}}, {"type": "group", "dicts":
          [{"file": "TWVariantsPhrases"}, {"file": "TWVariants"}]}, {"file": "TSPhrases"}]})",
       {0, 42, 469}},
  };
  for (const auto& [spec, counts] : cases) {
    const Result<DictionaryGroup> group = build_dictionary_group(json::parse(spec), {});
    ASSERT_TRUE(group.ok()) << spec << ": " << group.error();
    EXPECT_EQ(shape(group.value()), counts) << spec;
  }
}

TEST(DictionarySpec, ErrorMessages) {
  const std::pair<const char*, const char*> cases[] = {
      {R"({"type": "file", "file": "STCharacters.ocd2"})", "unsupported dictionary type: file"},
      {R"({"type": "OCD2", "file": "STCharacters.ocd2"})", "unsupported dictionary type: OCD2"},
      {R"("STCharacters.ocd2")", "file-based dict is missing its file name"},
      {R"(null)", "file-based dict is missing its file name"},
      {R"({"type": "ocd2", "file": 5})", "file-based dict is missing its file name"},
      {R"({"type": "ocd2", "file": "Nope.ocd2"})", "unknown embedded dictionary: Nope"},
      {R"({"file": "TSPhrases.ocd2.txt"})", "unknown embedded dictionary: TSPhrases.ocd2"},
      {R"({"type": "group", "dicts": {}})", "group.dicts is missing or not an array"},
      {R"({"type": "inline"})", "inline.entries is missing or not an object"},
      {R"({"type": "inline", "entries": ["a", "b"]})",
       "inline.entries is missing or not an object"},
      // A merged group fails on an unknown member although the others exist.
      {R"({"type": "group", "dicts": [{"file": "STCharacters"}, {"file": "Nope.txt"}]})",
       "unknown embedded dictionary: Nope"},
      // Errors of separate members surface unchanged.
      {R"({"type": "group", "dicts": [{"file": "STCharacters"},
          {"type": "OCD2", "file": "STCharacters"}]})",
       "unsupported dictionary type: OCD2"},
      {R"({"type": "group", "dicts": [{"type": "inline", "entries": {}},
          {"type": "group", "dicts": [{"file": "X"}]}]})",
       "unknown embedded dictionary: X"},
  };
  for (const auto& [spec, message] : cases) {
    for (const KeyValuePairs& extra : {KeyValuePairs{}, KeyValuePairs{{"甲", "乙"}}}) {
      const Result<DictionaryGroup> group = build_dictionary_group(json::parse(spec), extra);
      ASSERT_FALSE(group.ok()) << spec;
      EXPECT_EQ(group.error(), message) << spec;
    }
  }
}

TEST(DictionarySpec, InlineEntriesTakeFirstTokenOrEmpty) {
  const char* spec = R"({"type": "inline",
      "entries": {"b": "x y", "a": 1, "c": "  ", "d": "\u3000z\u00A0w"}})";
  const Result<DictionaryGroup> group = build_dictionary_group(json::parse(spec), {});
  ASSERT_TRUE(group.ok()) << group.error();
  ASSERT_EQ(shape(group.value()), std::vector<std::size_t>{4});
  const Lexicon& lexicon = group.value()[0];
  EXPECT_EQ(lexicon.find("a"), "");
  EXPECT_EQ(lexicon.find("b"), "x");
  EXPECT_EQ(lexicon.find("c"), "");
  EXPECT_EQ(lexicon.find("d"), "z");
  EXPECT_EQ(lexicon.longest_prefix("a").length, 1u);
}

TEST(DictionarySpec, LaterMemberWinsAndExtraPairsComeFirst) {
  // TWPhrasesRev maps 核心 to 內核, TWVariantsRevPhrases (later) to itself.
  const Result<DictionaryGroup> tw =
      build_dictionary_group(json::parse(R"({"type": "group", "dicts":
      [{"file": "TWPhrasesRev"}, {"file": "TWVariantsRevPhrases"}, {"file": "TWVariantsRev"}]})"),
                             {});
  ASSERT_TRUE(tw.ok()) << tw.error();
  EXPECT_EQ(tw.value()[0].find("核心"), "核心");
  // Every TSCharactersExt key is also a TSCharacters key, which comes later.
  const Result<DictionaryGroup> ts = build_dictionary_group(
      json::parse(
          R"({"type": "group", "dicts": [{"file": "TSCharactersExt"}, {"file": "TSCharacters"}]})"),
      {});
  ASSERT_TRUE(ts.ok()) << ts.error();
  EXPECT_EQ(ts.value()[0].value_count(), 4144u);
  EXPECT_EQ(ts.value()[0].find("㑮"), "㑮");

  const Result<DictionaryGroup> st = build_dictionary_group(
      json::parse(R"({"type": "ocd2", "file": "STCharacters.ocd2"})"), {{"万", "X"}, {"甲", "乙"}});
  ASSERT_TRUE(st.ok()) << st.error();
  EXPECT_EQ(shape(st.value()), (std::vector<std::size_t>{2, 4011}));
  EXPECT_EQ(group_longest_prefix(st.value(), "万").value, "X");
  EXPECT_EQ(group_longest_prefix(st.value(), "甲").value, "乙");
  EXPECT_EQ(group_longest_prefix(st.value(), "伤").value, "傷");
}

}  // namespace
}  // namespace lumo
