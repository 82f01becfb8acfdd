#include "engine/config_loader.h"

#include <string>
#include <utility>

#include <nlohmann/json.hpp>

#include "dict/dictionary_spec.h"
#include "engine/internal_error.h"

namespace lumo {
namespace {

using json = nlohmann::json;

// The member `key` of a non-empty object, or nullptr.
const json* member_of_nonempty_object(const json& value, const char* key) {
  if (!value.is_object() || value.empty()) return nullptr;
  const auto found = value.find(key);
  return found == value.end() ? nullptr : &*found;
}

}  // namespace

Result<ConfigId> resolve_config_name(std::string_view name) {
  for (std::size_t i = 0; i < kConfigCount; ++i) {
    if (kConfigNames[i] == name) return static_cast<ConfigId>(i);
  }
  std::string message = "unknown config '";
  message.append(name);
  message.append("'. Valid: ");
  for (std::size_t i = 0; i < kConfigCount; ++i) {
    if (i > 0) message.append(", ");
    message.append(kConfigNames[i]);
  }
  return Error{std::move(message)};
}

Result<Converter> load_config(std::string_view text, const CustomPairs& pairs) {
  json root;
  try {
    root = json::parse(text);
  } catch (const json::parse_error& error) {
    return Error{std::string("invalid config JSON: ") + error.what()};
  }
  if (!root.is_object() || root.empty()) {
    return Error{"conversion_chain is missing or not an array"};
  }

  Converter converter;
  if (const auto segmentation = root.find("segmentation"); segmentation != root.end()) {
    const json* dict = member_of_nonempty_object(*segmentation, "dict");
    if (dict == nullptr) return Error{"segmentation.dict is missing"};
    Result<DictionaryGroup> group = build_dictionary_group(*dict, pairs);
    if (!group) return Error{group.error()};
    converter.segmentation = std::move(group).value();
  }

  const auto chain = root.find("conversion_chain");
  if (chain == root.end() || !chain->is_array()) {
    return Error{"conversion_chain is missing or not an array"};
  }
  converter.stages.reserve(chain->size());
  for (const json& stage : *chain) {
    const json* dict = member_of_nonempty_object(stage, "dict");
    if (dict == nullptr) return Error{"a conversion_chain stage is missing its dict"};
    Result<DictionaryGroup> group = build_dictionary_group(*dict, pairs);
    if (!group) return Error{group.error()};
    converter.stages.push_back(std::move(group).value());
  }
  return converter;
}

Converter build_converter(ConfigId id, const CustomPairs& pairs) {
  const std::string name(config_name(id));
  const std::optional<std::string_view> text = embedded_config_text(id);
  if (!text) {
    throw InternalError("lumo: missing embedded config '" + name + "'", "src/engine");
  }
  Result<Converter> converter = load_config(*text, pairs);
  if (!converter) {
    throw InternalError("lumo: failed to resolve config '" + name + "': " + converter.error(),
                        "src/engine");
  }
  return std::move(converter).value();
}

}  // namespace lumo
