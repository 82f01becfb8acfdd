#include "dict/dictionary_spec.h"

#include <algorithm>
#include <utility>

#include "dict/catalogue.h"
#include "dict/messages.h"
#include "dict/white_space.h"

namespace lumo {
namespace {

using json = nlohmann::json;

// The kind of a description: its "type" string, or "text" when the
// description is not an object or its "type" is missing or not a string.
std::string_view spec_kind(const json& spec) {
  if (spec.is_object()) {
    const auto type = spec.find("type");
    if (type != spec.end() && type->is_string()) return type->get_ref<const std::string&>();
  }
  return "text";
}

bool is_file_kind(std::string_view kind) {
  return kind == "text" || kind == "ocd2" || kind == "ocd";
}

// The "file" string of a description, or nullptr.
const std::string* file_member(const json& spec) {
  if (!spec.is_object()) return nullptr;
  const auto file = spec.find("file");
  if (file == spec.end() || !file->is_string()) return nullptr;
  return &file->get_ref<const std::string&>();
}

bool is_plain_file_member(const json& spec) {
  return spec.is_object() && is_file_kind(spec_kind(spec)) && file_member(spec) != nullptr;
}

// Appends the text named by `file` to `texts`; the error message if unknown.
std::optional<std::string> add_text(const std::string& file, std::vector<std::string_view>& texts) {
  const std::string name = normalize_dictionary_name(file);
  const std::optional<std::string_view> text = embedded_dictionary_text(name);
  if (!text) return messages::unknown_embedded_dictionary(name);
  texts.push_back(*text);
  return std::nullopt;
}

// The first white-space separated token of `text`, or "".
std::string first_token(std::string_view text) {
  std::size_t pos = 0;
  return std::string(next_token(text, pos));
}

std::optional<std::string> plan_spec(const json& spec, GroupPlan& plan) {
  const std::string_view kind = spec_kind(spec);
  if (is_file_kind(kind)) {
    const std::string* file = file_member(spec);
    if (file == nullptr) return messages::file_dict_without_file();
    LexiconSource source;
    if (auto error = add_text(*file, source.texts)) return error;
    plan.push_back(std::move(source));
    return std::nullopt;
  }
  if (kind == "group") {
    const auto dicts = spec.find("dicts");
    if (dicts == spec.end() || !dicts->is_array()) return messages::group_without_dicts();
    if (dicts->empty() || std::all_of(dicts->begin(), dicts->end(), is_plain_file_member)) {
      // One lexicon merging every member (none for an empty group).
      LexiconSource merged;
      for (const json& member : *dicts) {
        if (auto error = add_text(*file_member(member), merged.texts)) return error;
      }
      plan.push_back(std::move(merged));
      return std::nullopt;
    }
    for (const json& member : *dicts) {
      if (auto error = plan_spec(member, plan)) return error;
    }
    return std::nullopt;
  }
  if (kind == "inline") {
    const auto entries = spec.find("entries");
    if (entries == spec.end() || !entries->is_object()) {
      return messages::inline_without_entries();
    }
    KeyValuePairs pairs;
    pairs.reserve(entries->size());
    for (const auto& [key, value] : entries->items()) {
      pairs.emplace_back(key,
                         value.is_string() ? first_token(value.get_ref<const std::string&>()) : "");
    }
    plan.push_back(LexiconSource{{}, std::move(pairs)});
    return std::nullopt;
  }
  return messages::unsupported_dictionary_type(kind);
}

}  // namespace

std::string normalize_dictionary_name(std::string_view file) {
  for (const std::string_view ending : {".ocd2", ".ocd", ".txt"}) {
    while (file.size() >= ending.size() && file.substr(file.size() - ending.size()) == ending) {
      file.remove_suffix(ending.size());
    }
  }
  return std::string(file);
}

Result<GroupPlan> plan_dictionary_group(const json& spec) {
  GroupPlan plan;
  if (auto error = plan_spec(spec, plan)) return Error{std::move(*error)};
  return plan;
}

Lexicon build_lexicon(const LexiconSource& source) {
  if (source.pairs) return lexicon_from_pairs(*source.pairs);
  std::vector<TextSource> texts;
  texts.reserve(source.texts.size());
  for (const std::string_view text : source.texts) texts.push_back({text});
  // Valued keys only: marks cannot matter.
  return lexicon_from_texts(texts, SingleValues::kMarkedToo);
}

DictionaryGroup build_group_plan(const GroupPlan& plan, const std::optional<Lexicon>& head) {
  DictionaryGroup group;
  group.reserve(plan.size() + (head ? 1 : 0));
  if (head) group.push_back(*head);
  for (const LexiconSource& source : plan) group.push_back(build_lexicon(source));
  return group;
}

}  // namespace lumo
