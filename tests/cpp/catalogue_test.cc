// The embedded dictionary catalogue: names, entry counts, text hygiene and
// rows that tell whether the right revision of each text is stored.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "dict/catalogue.h"
#include "dict/lexicon_builder.h"
#include "dict/text_reader.h"
#include "engine/config/config_loader.h"

namespace lumo {
namespace {

TEST(Catalogue, ExactNamesResolveToCleanTexts) {
  const std::pair<const char*, std::size_t> catalogue[] = {
      {"STCharacters", 4011},
      {"STPhrases", 49136},
      {"STPhrases_GeneratedFromRegionalPhrases", 508},
      {"TSCharacters", 4144},
      {"TSCharactersExt", 894},
      {"TSPhrases", 469},
      {"TWVariants", 38},
      {"TWVariantsPhrases", 4},
      {"TWVariantsRev", 38},
      {"TWVariantsRevPhrases", 1004},
      {"TWPhrases", 777},
      {"TWPhrasesRev", 771},
      {"HKVariants", 66},
      {"HKVariantsPhrases", 272},
      {"HKVariantsRev", 74},
      {"HKVariantsRevPhrases", 307},
      {"HKPhrases", 38},
      {"HKPhrasesRev", 35},
      {"JPShinjitaiCharacters", 392},
      {"JPShinjitaiPhrases", 235},
      {"JPShinjitaiCharactersRev", 460},
      {"CJK_Compatibility_Ideographs", 1002}};
  for (const auto& [name, entries] : catalogue) {
    SCOPED_TRACE(name);
    const std::optional<std::string_view> text = embedded_dictionary_text(name);
    ASSERT_TRUE(text.has_value());
    ASSERT_FALSE(text->empty());
    EXPECT_EQ(text->back(), '\n');
    EXPECT_EQ(text->find('\r'), std::string_view::npos);
    EXPECT_FALSE(text->starts_with("\xEF\xBB\xBF"));
    std::size_t lines = 0;
    DictionaryTextReader reader(*text);
    for (DictionaryEntry entry; reader.next(entry);) ++lines;
    EXPECT_EQ(lines, entries);
    EXPECT_EQ(lexicon_from_texts({{*text}}).value_count(), entries);  // so no key repeats
  }
  for (const char* name :
       {"stphrases", "STPhrases.txt", "STPhrases.ocd2", "TSCharactersExT", "TSCharactersEXT",
        " STPhrases", "STPhrases ", "", "dictionary/STPhrases"}) {
    EXPECT_FALSE(embedded_dictionary_text(name).has_value()) << "'" << name << "'";
  }
}

TEST(Catalogue, TellingRows) {
  const struct {
    const char* dictionary;
    const char* key;
    std::vector<std::string_view> values;
  } rows[] = {
      {"STCharacters", "万", {"萬", "万"}},
      {"STCharacters", "伤", {"傷"}},
      {"STPhrases", "一出", {"一齣", "一出"}},
      {"STPhrases", "丁当", {"丁當", "丁噹"}},
      {"STPhrases", "海里", {"海里", "海哩", "海裏"}},
      {"TSCharacters", "丟", {"丢"}},
      {"TSCharacters", "㑮", {"㑮", "𫝈"}},
      {"TSPhrases", "想像", {"想像", "想象"}},
      {"TSPhrases", "情有獨鍾", {"情有独钟", "情有独锺"}},
      {"TWVariants", "踊", {"踴"}},
      {"TWVariants", "覈", {"核"}},
      {"TWVariantsPhrases", "純喫茶", {"純喫茶"}},
      {"TWVariantsRevPhrases", "吃口", {"喫口", "吃口"}},
      {"TWPhrases", "U盤", {"隨身碟"}},
      {"TWPhrases", "代碼", {"程式碼", "代碼"}},
      {"TWPhrasesRev", "乙太網路", {"以太網", "以太網絡", "以太網路"}},
      {"HKVariants", "只", {"只", "衹"}},
      {"HKVariantsPhrases", "恆生指數", {"恒生指數"}},
      {"HKVariantsRevPhrases", "東鐵綫", {"東鐵線"}},
      {"HKPhrases", "幾率", {"機率", "概率"}},
      {"HKPhrasesRev", "奧克拉荷馬", {"俄克拉何馬", "俄克拉荷馬"}},
      {"JPShinjitaiCharacters", "値", {"値", "值"}},
      {"JPShinjitaiCharacters", "乗", {"乘"}},
      {"JPShinjitaiPhrases", "世論", {"輿論"}},
      {"JPShinjitaiPhrases", "洗浄", {"洗滌", "洗淨"}},
      {"CJK_Compatibility_Ideographs", "\uF900", {"\u8C48"}},
  };
  for (const auto& [dictionary, key, values] : rows) {
    SCOPED_TRACE(std::string(dictionary) + " " + key);
    const std::string_view text = *embedded_dictionary_text(dictionary);
    std::vector<std::string_view> found;
    DictionaryTextReader reader(text);
    for (DictionaryEntry entry; found.empty() && reader.next(entry);) {
      if (entry.key == key) found = entry.values;
    }
    EXPECT_EQ(found, values);
    EXPECT_EQ(lexicon_from_texts({{text}}).find(key), values[0]);
  }
}

TEST(Catalogue, MergedConversionLexiconSizes) {
  const Converter s2t = build_converter(ConfigId::kS2T, {});
  ASSERT_EQ(s2t.stages.size(), 1u);
  ASSERT_EQ(s2t.stages[0].size(), 1u);
  EXPECT_EQ(s2t.stages[0][0].node_count(), 90114u);
  EXPECT_EQ(s2t.stages[0][0].value_count(), 53653u);
  for (const ConfigId id : {ConfigId::kT2S, ConfigId::kTW2SP}) {
    const Converter converter = build_converter(id, {});
    ASSERT_EQ(converter.stages.back().size(), 1u);
    EXPECT_EQ(converter.stages.back()[0].node_count(), 4957u);
    EXPECT_EQ(converter.stages.back()[0].value_count(), 4613u);
  }
}

}  // namespace
}  // namespace lumo
