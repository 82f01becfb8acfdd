#include "engine/core/planning.h"

#include <algorithm>

#include "engine/core/tuning.h"

namespace lumo {
namespace {

// Whether each lexicon of the segmentation group shares its trie with the
// first stage's lexicon at the same place.
bool shares_tries(const Converter& converter) {
  if (!converter.segmentation || converter.stages.empty()) return false;
  const DictionaryGroup& segmentation = *converter.segmentation;
  const DictionaryGroup& stage = converter.stages.front();
  if (segmentation.empty() || segmentation.size() != stage.size()) return false;
  for (std::size_t i = 0; i < stage.size(); ++i) {
    if (!stage[i].shares_trie_with(segmentation[i])) return false;
  }
  return true;
}

bool has_long_keys(const Converter& converter) {
  const auto any_in = [](const DictionaryGroup& group) {
    return std::any_of(group.begin(), group.end(),
                       [](const Lexicon& lexicon) { return lexicon.trie().long_keys != nullptr; });
  };
  return (converter.segmentation && any_in(*converter.segmentation)) ||
         std::any_of(converter.stages.begin(), converter.stages.end(), any_in);
}

// One bit per code point below U+10000, set for those that no key of any
// lexicon of the converter holds: every character of a key is the code
// point of an edge of its trie.
std::vector<std::uint64_t> characters_in_no_key(const Converter& converter) {
  std::vector<std::uint64_t> quiet(0x10000 / 64, ~std::uint64_t{0});
  std::vector<const LexiconTrie*> seen;  // a trie shared by several groups is read once
  const auto clear_keys_of = [&](const DictionaryGroup& group) {
    for (const Lexicon& lexicon : group) {
      const LexiconTrie* const trie = &lexicon.trie();
      if (std::find(seen.begin(), seen.end(), trie) != seen.end()) continue;
      seen.push_back(trie);
      for (const LexiconTrie::Child& child : trie->children) {
        const char32_t code_point = child.code_point;
        if (code_point < 0x10000)
          quiet[code_point >> 6] &= ~(std::uint64_t{1} << (code_point & 63));
      }
    }
  };
  if (converter.segmentation) clear_keys_of(*converter.segmentation);
  for (const DictionaryGroup& stage : converter.stages) clear_keys_of(stage);
  return quiet;
}

// The plan with every fast path off, cuts planned.
ConversionPlan plan_cuts(const Converter& converter) {
  ConversionPlan plan;
  plan.stages.resize(converter.stages.size());
  plan.line_cuts = true;
  if (converter.segmentation) {
    plan.segment_cuts = true;
    for (const Lexicon& lexicon : *converter.segmentation) {
      plan.cut_context_units = std::max(plan.cut_context_units, lexicon.trie().max_key_bytes);
      plan.line_cuts = plan.line_cuts && !lexicon.trie().line_feed_in_keys;
    }
  }
  bool ascii_starts_key = false;
  for (const DictionaryGroup& stage : converter.stages) {
    for (const Lexicon& lexicon : stage) {
      if (lexicon.trie().line_feed_in_keys) plan.line_cuts = false;
      ascii_starts_key = ascii_starts_key || lexicon.trie().ascii_starts_key();
    }
  }
  plan.line_cuts = plan.line_cuts && !ascii_starts_key;
  plan.quiet_cuts = !ascii_starts_key;
  plan.quiet_characters = characters_in_no_key(converter);
  return plan;
}

// `paths` with those each of them needs (see FastPath).
FastPaths with_needs(FastPaths paths) {
  constexpr struct {
    FastPath path;
    FastPaths needs;
  } kNeeds[] = {
      // Each after the paths that need it, so that one pass closes the set.
      {FastPath::kScanOrLookUp, {FastPath::kSharedSkips, FastPath::kSharedSingles}},
      {FastPath::kRunsOpenedBySingles, {FastPath::kSharedSingles}},
      {FastPath::kEveryPair, {FastPath::kSharedSingles}},
      {FastPath::kUtf16Units, {FastPath::kSharedSingles, FastPath::kStageSingles}},
      {FastPath::kUtf8Words, {FastPath::kSharedSingles, FastPath::kStageSingles}},
      {FastPath::kSharedSkips, {FastPath::kSharedTrie}},
      {FastPath::kSharedSingles, {FastPath::kSharedTrie}},
      {FastPath::kSharedTrie, {FastPath::kWalksTogether}},
      {FastPath::kStageSingles, {FastPath::kStageTrie}},
      {FastPath::kStageSkips, {FastPath::kStageTrie}},
  };
  for (const auto& [path, needs] : kNeeds) {
    if (paths.has(path)) paths = paths.with(needs);
  }
  return paths;
}

}  // namespace

ConversionPlan fast_plan(const Converter& converter, FastPaths paths) {
  paths = with_needs(paths);
  const auto on = [paths](FastPath path) { return paths.has(path); };
  ConversionPlan plan = plan_cuts(converter);
  for (std::size_t k = 0; k < converter.stages.size(); ++k) {
    const DictionaryGroup& group = converter.stages[k];
    StagePlan& stage = plan.stages[k];
    stage.ascii_runs = on(FastPath::kAsciiRuns);
    stage.short_copies = on(FastPath::kShortCopies);
    if (!on(FastPath::kStageTrie) || group.size() != 1 || group.front().keys() != KeySet::kValued ||
        group.front().trie().long_keys) {
      continue;
    }
    stage.trie = &group.front().trie();
    stage.skips = on(FastPath::kStageSkips);
    stage.singles = on(FastPath::kStageSingles) && !stage.trie->single_values.empty();
    stage.utf16_units = stage.singles && on(FastPath::kUtf16Units);
    stage.utf8_words = stage.singles && on(FastPath::kUtf8Words);
  }
  plan.short_copies = on(FastPath::kShortCopies);
  // Long keys are looked up through their index, which only the walks
  // group by group use.
  plan.walks_together =
      on(FastPath::kWalksTogether) && shares_tries(converter) && !has_long_keys(converter);
  if (!plan.walks_together || !on(FastPath::kSharedTrie) || converter.stages.front().size() != 1 ||
      converter.segmentation->front().keys() != KeySet::kMarked) {
    return plan;
  }
  const LexiconTrie& trie = converter.stages.front().front().trie();
  const bool few_key_starts = trie.nodes[0].children() < tuning::kFewKeyStarts;
  plan.shared_trie = &trie;
  plan.shared_skips = on(FastPath::kSharedSkips) && few_key_starts;
  plan.shared_singles = on(FastPath::kSharedSingles) && !trie.single_values.empty();
  if (!plan.shared_singles) return plan;
  plan.runs_opened_by_singles = on(FastPath::kRunsOpenedBySingles);
  plan.every_pair = on(FastPath::kEveryPair) && !few_key_starts;
  plan.scan_or_look_up = on(FastPath::kScanOrLookUp) && plan.shared_skips;
  plan.utf16_units = on(FastPath::kUtf16Units) && !plan.every_pair;
  plan.utf8_words = on(FastPath::kUtf8Words);
  return plan;
}

ConversionPlan plain_plan(const Converter& converter) { return fast_plan(converter, {}); }

}  // namespace lumo
