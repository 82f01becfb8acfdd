#include "detect/detection_tables.h"

#include <algorithm>

#include "dict/catalogue.h"
#include "dict/messages.h"
#include "dict/text_reader.h"
#include "dict/utf8.h"
#include "engine/config/internal_error.h"

namespace lumo {
namespace {

void add_code_points(std::string_view text, CodePointSet& set) {
  for (std::size_t pos = 0; pos < text.size();) {
    std::size_t length = 0;
    set.push_back(utf8_decode(text.data() + pos, &length));
    pos += length;
  }
}

void sort_unique(CodePointSet& set) {
  std::sort(set.begin(), set.end());
  set.erase(std::unique(set.begin(), set.end()), set.end());
}

std::string_view stored_text(std::string_view name) {
  const std::optional<std::string_view> text = embedded_dictionary_text(name);
  if (!text) {
    throw InternalError(messages::missing_embedded_dictionary(name), "src/detect");
  }
  return *text;
}

DetectionTables build_tables() {
  DetectionTables tables;
  tables.sets[DetectionTables::kSimplified] = key_character_set(stored_text("STCharacters"), true);
  tables.sets[DetectionTables::kTraditional] = key_character_set(stored_text("TSCharacters"), true);
  tables.sets[DetectionTables::kTwVariant] = key_character_set(stored_text("TWVariants"), false);
  tables.sets[DetectionTables::kHkVariant] = key_character_set(stored_text("HKVariants"), false);
  const std::string_view japanese = stored_text("JPShinjitaiCharacters");
  tables.sets[DetectionTables::kShinjitai] = key_character_set(japanese, false);
  tables.sets[DetectionTables::kKyujitai] = first_value_character_set(japanese);

  tables.cjk_masks.fill(0);
  for (std::size_t i = 0; i < tables.sets.size(); ++i) {
    for (const char32_t code_point : tables.sets[i]) {
      if (code_point >= DetectionTables::kCjkFirst && code_point <= DetectionTables::kCjkLast) {
        tables.cjk_masks[code_point - DetectionTables::kCjkFirst] |=
            static_cast<std::uint8_t>(1u << i);
      }
    }
  }
  return tables;
}

}  // namespace

bool contains(const CodePointSet& set, char32_t code_point) {
  return std::binary_search(set.begin(), set.end(), code_point);
}

CodePointSet key_character_set(std::string_view text, bool skip_identity) {
  CodePointSet set;
  DictionaryTextReader reader(text);
  DictionaryEntry entry;
  while (reader.next(entry)) {
    if (entry.key.empty() || (skip_identity && entry.values.front() == entry.key)) continue;
    add_code_points(entry.key, set);
  }
  sort_unique(set);
  return set;
}

CodePointSet first_value_character_set(std::string_view text) {
  CodePointSet set;
  DictionaryTextReader reader(text);
  DictionaryEntry entry;
  while (reader.next(entry)) add_code_points(entry.values.front(), set);
  sort_unique(set);
  return set;
}

std::vector<std::string> phrase_list_of(std::string_view text) {
  std::vector<std::string> phrases;
  DictionaryTextReader reader(text);
  DictionaryEntry entry;
  while (reader.next(entry)) {
    if (utf8_length(entry.values.front()) >= 2) phrases.emplace_back(entry.values.front());
  }
  return phrases;
}

// Function-local statics are initialised once, with concurrent first
// callers waiting for that initialisation.
const DetectionTables& detection_tables() {
  static const DetectionTables* const tables = new DetectionTables(build_tables());
  return *tables;
}

const std::vector<std::string>& tw_phrases() {
  static const auto* const phrases =
      new std::vector<std::string>(phrase_list_of(stored_text("TWPhrases")));
  return *phrases;
}

const std::vector<std::string>& hk_phrases() {
  static const auto* const phrases =
      new std::vector<std::string>(phrase_list_of(stored_text("HKPhrases")));
  return *phrases;
}

}  // namespace lumo
