#include "dict/dictionary_spec.h"

#include <utility>
#include <vector>

#include "dict/catalogue.h"
#include "dict/utf8.h"

namespace lumo {
namespace {

using json = nlohmann::json;

// The kind of a specification: its "type" string, or "text" when the
// specification is not an object or its "type" is missing or not a string.
std::string_view spec_kind(const json& spec) {
  if (spec.is_object()) {
    const auto type = spec.find("type");
    if (type != spec.end() && type->is_string()) {
      return type->get_ref<const std::string&>();
    }
  }
  return "text";
}

bool is_file_kind(std::string_view kind) {
  return kind == "text" || kind == "ocd2" || kind == "ocd";
}

// The "file" string of a specification, or nullptr.
const std::string* file_member(const json& spec) {
  if (!spec.is_object()) return nullptr;
  const auto file = spec.find("file");
  if (file == spec.end() || !file->is_string()) return nullptr;
  return &file->get_ref<const std::string&>();
}

bool is_plain_file_member(const json& spec) {
  return spec.is_object() && is_file_kind(spec_kind(spec)) && file_member(spec) != nullptr;
}

std::string unknown_dictionary(std::string_view name) {
  return "unknown embedded dictionary: " + std::string(name);
}

// A group of plain file members merges into one lexicon. Feeding each text
// to one builder in turn is the same as reading the texts concatenated with
// a line break between them, without copying them.
std::optional<std::string> append_merged_group(const json& dicts, DictionaryGroup& group) {
  std::vector<std::string_view> texts;
  texts.reserve(dicts.size());
  std::size_t total = 0;
  for (const json& member : dicts) {
    const std::string name = normalize_dictionary_name(*file_member(member));
    const std::optional<std::string_view> text = embedded_dictionary_text(name);
    if (!text) return unknown_dictionary(name);
    texts.push_back(*text);
    total += text->size();
  }
  LexiconBuilder builder;
  builder.reserve(total / 16 + 1);
  for (const std::string_view text : texts) insert_dictionary_text(text, builder);
  group.push_back(builder.finish());
  return std::nullopt;
}

std::optional<std::string> append_inline(const json& spec, DictionaryGroup& group) {
  const auto entries = spec.is_object() ? spec.find("entries") : spec.end();
  if (!spec.is_object() || entries == spec.end() || !entries->is_object()) {
    return "inline.entries is missing or not an object";
  }
  KeyValuePairs pairs;
  pairs.reserve(entries->size());
  for (const auto& [key, value] : entries->items()) {
    std::string first_token;
    if (value.is_string()) {
      std::string_view rest = value.get_ref<const std::string&>();
      rest.remove_prefix(leading_white_space(rest));
      std::size_t end = 0;
      while (end < rest.size()) {
        std::size_t length = 0;
        if (is_white_space(utf8_decode(rest.data() + end, &length))) break;
        end += length;
      }
      first_token = rest.substr(0, end);
    }
    pairs.emplace_back(key, std::move(first_token));
  }
  group.push_back(lexicon_from_pairs(pairs));
  return std::nullopt;
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

std::optional<std::string> append_spec(const json& spec, DictionaryGroup& group) {
  const std::string_view kind = spec_kind(spec);
  if (is_file_kind(kind)) {
    const std::string* file = file_member(spec);
    if (file == nullptr) return "file-based dict is missing its file name";
    const std::string name = normalize_dictionary_name(*file);
    const std::optional<std::string_view> text = embedded_dictionary_text(name);
    if (!text) return unknown_dictionary(name);
    group.push_back(lexicon_from_text(*text));
    return std::nullopt;
  }
  if (kind == "group") {
    const auto dicts = spec.find("dicts");
    if (dicts == spec.end() || !dicts->is_array()) return "group.dicts is missing or not an array";
    if (dicts->empty()) {
      group.emplace_back();
      return std::nullopt;
    }
    bool all_plain = true;
    for (const json& member : *dicts) all_plain = all_plain && is_plain_file_member(member);
    if (all_plain) return append_merged_group(*dicts, group);
    for (const json& member : *dicts) {
      if (auto error = append_spec(member, group)) return error;
    }
    return std::nullopt;
  }
  if (kind == "inline") return append_inline(spec, group);
  return "unsupported dictionary type: " + std::string(kind);
}

Result<DictionaryGroup> build_dictionary_group(const json& spec, const KeyValuePairs& extra_pairs) {
  DictionaryGroup group;
  if (!extra_pairs.empty()) group.push_back(lexicon_from_pairs(extra_pairs));
  if (auto error = append_spec(spec, group)) return Error{std::move(*error)};
  return group;
}

}  // namespace lumo
