#include "engine/config/config_loader.h"

#include <algorithm>
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include <nlohmann/json.hpp>

#include "dict/dictionary_spec.h"
#include "dict/messages.h"
#include "engine/config/config_tree.h"
#include "engine/config/internal_error.h"
#include "engine/config/lexicon_threads.h"
#include "engine/config/name_lookup.h"
#include "engine/config/tuning.h"
#include "engine/core/planning.h"

namespace lumo {
namespace {

using json = nlohmann::json;

// The member `key` of a non-empty object, or nullptr.
const json* member_of_nonempty_object(const json& value, const char* key) {
  if (!value.is_object() || value.empty()) return nullptr;
  const auto found = value.find(key);
  return found == value.end() ? nullptr : &*found;
}

// True for a plan of one lexicon merging dictionary texts.
bool is_single_text_lexicon(const GroupPlan& plan) {
  return plan.size() == 1 && !plan.front().pairs;
}

// Whether `texts` holds `text` itself (the same embedded bytes).
bool holds_text(const std::vector<std::string_view>& texts, std::string_view text) {
  return std::any_of(texts.begin(), texts.end(), [text](std::string_view other) {
    return other.data() == text.data() && other.size() == text.size();
  });
}

// One trie holding the segmentation keys (marked) and the first stage's
// keys (valued), so that conversion finds both with one walk. Each text is
// read once, even when both dictionaries name it.
Lexicon build_shared_lexicon(const LexiconSource& segmentation, const LexiconSource& stage,
                             bool later_stages, std::size_t threads) {
  std::vector<TextSource> texts;
  for (const std::string_view text : stage.texts) {
    const bool marked = holds_text(segmentation.texts, text);
    texts.push_back({text, static_cast<std::uint8_t>(LexiconBuilder::kValued |
                                                     (marked ? LexiconBuilder::kMarked : 0))});
  }
  for (const std::string_view text : segmentation.texts) {
    if (!holds_text(stage.texts, text)) texts.push_back({text, LexiconBuilder::kMarked});
  }
  // Conversion takes the characters whose single values stand without
  // walks, where keys start with few characters. A segment of one
  // character matters only to later stages.
  const SingleValues singles = later_stages ? SingleValues::kUnmarked : SingleValues::kMarkedToo;
  return threads > 1 && text_bytes(texts) >= tuning::kTwoThreadTextBytes
             ? lexicon_from_texts_on_two_threads(texts, singles)
             : lexicon_from_texts(texts, singles);
}

// Builds the converter of a checked configuration. The custom lexicon is
// built once and heads every group.
Converter build_planned_converter(const std::optional<GroupPlan>& segmentation,
                                  const std::vector<GroupPlan>& stages, const CustomPairs& pairs,
                                  std::size_t threads) {
  std::optional<Lexicon> custom;
  if (!pairs.empty()) custom = lexicon_from_pairs(pairs);
  Converter converter;
  converter.stages.reserve(stages.size());
  std::size_t next_stage = 0;
  if (segmentation && !stages.empty() && is_single_text_lexicon(*segmentation) &&
      is_single_text_lexicon(stages.front())) {
    const Lexicon shared = build_shared_lexicon(segmentation->front(), stages.front().front(),
                                                stages.size() > 1, threads);
    converter.segmentation.emplace();
    converter.stages.emplace_back();
    for (DictionaryGroup* group : {&*converter.segmentation, &converter.stages.front()}) {
      if (custom) group->push_back(*custom);
    }
    converter.segmentation->push_back(shared.marked_view());
    converter.stages.front().push_back(shared);
    next_stage = 1;
  } else if (segmentation) {
    converter.segmentation = build_group_plan(*segmentation, custom);
  }
  for (; next_stage < stages.size(); ++next_stage) {
    converter.stages.push_back(build_group_plan(stages[next_stage], custom));
  }
  converter.plan = fast_plan(converter);
  converter.custom_head = custom.has_value();
  for (const GroupPlan& stage : stages) {
    auto& texts = converter.stage_texts.emplace_back();
    for (const LexiconSource& source : stage) texts.push_back(source.texts);
  }
  return converter;
}

}  // namespace

Result<ConfigId> resolve_config_name(std::string_view name) {
  const Result<std::size_t> index = find_name(kConfigNames, name, "config");
  if (!index) return Error{index.error()};
  return static_cast<ConfigId>(index.value());
}

Result<Converter> load_config(std::string_view text, const CustomPairs& pairs,
                              std::size_t threads) {
  ConfigTree tree;
  if (std::optional<std::string> error = tree.parse(text)) {
    return Error{messages::invalid_config_json(*error)};
  }
  const json& root = tree.root();
  if (!root.is_object() || root.empty()) {
    return Error{messages::conversion_chain_missing()};
  }

  // Check and resolve everything first, in order; building cannot fail.
  std::optional<GroupPlan> segmentation;
  if (const auto member = root.find("segmentation"); member != root.end()) {
    const json* dict = member_of_nonempty_object(*member, "dict");
    if (dict == nullptr) return Error{messages::segmentation_without_dict()};
    Result<GroupPlan> plan = plan_dictionary_group(*dict);
    if (!plan) return Error{plan.error()};
    segmentation = std::move(plan).value();
  }
  const auto chain = root.find("conversion_chain");
  if (chain == root.end() || !chain->is_array()) {
    return Error{messages::conversion_chain_missing()};
  }
  std::vector<GroupPlan> stages;
  stages.reserve(chain->size());
  for (const json& stage : *chain) {
    const json* dict = member_of_nonempty_object(stage, "dict");
    if (dict == nullptr) return Error{messages::stage_without_dict()};
    Result<GroupPlan> plan = plan_dictionary_group(*dict);
    if (!plan) return Error{plan.error()};
    stages.push_back(std::move(plan).value());
  }
  return build_planned_converter(segmentation, stages, pairs, threads);
}

Converter build_converter(ConfigId id, const CustomPairs& pairs, std::size_t threads) {
  const std::string name(config_name(id));
  const std::optional<std::string_view> text = embedded_config_text(id);
  if (!text) {
    throw InternalError(messages::missing_embedded_config(name), "src/engine");
  }
  Result<Converter> converter = load_config(*text, pairs, threads);
  if (!converter) {
    throw InternalError(messages::unresolvable_embedded_config(name, converter.error()),
                        "src/engine");
  }
  return std::move(converter).value();
}

}  // namespace lumo
