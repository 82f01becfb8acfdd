// Dictionary descriptions: the JSON values under a configuration's "dict"
// members, turned into dictionary groups.
//
// A description names an embedded dictionary ("type" "text", "ocd2" or
// "ocd", the default, with a "file" member), a group of descriptions
// ("type" "group" with "dicts"), or inline entries ("type" "inline" with
// "entries"). A group whose members are all plain file members becomes one
// merged lexicon, in which a key held by several members takes the value of
// the last of them. Nothing is cached: each build reads the texts afresh.
//
// Resolution is split from building: plan_dictionary_group checks a
// description and resolves every name (the only step that can fail), and
// build_group_plan builds the lexicons, which cannot fail. A converter can
// thus check its whole configuration before building anything, and build
// lexicons that several groups share.
#ifndef LUMO_DICT_DICTIONARY_SPEC_H_
#define LUMO_DICT_DICTIONARY_SPEC_H_

#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include <nlohmann/json.hpp>

#include "dict/dictionary_group.h"
#include "dict/lexicon_builder.h"
#include "dict/result.h"

namespace lumo {

// One lexicon of a group, resolved but not built: the dictionary texts it
// merges, in order (none for an empty lexicon), or inline pairs.
struct LexiconSource {
  std::vector<std::string_view> texts;
  std::optional<KeyValuePairs> pairs;
};

// The lexicons of one group, in order.
using GroupPlan = std::vector<LexiconSource>;

// The catalogue name for a file name: trailing ".ocd2" removed repeatedly,
// then trailing ".ocd", then trailing ".txt". Nothing else changes.
std::string normalize_dictionary_name(std::string_view file);

// The plan of one description, or the first error message.
Result<GroupPlan> plan_dictionary_group(const nlohmann::json& spec);

// Builds one planned lexicon.
Lexicon build_lexicon(const LexiconSource& source);

// Builds a planned group, headed by `head` when given.
DictionaryGroup build_group_plan(const GroupPlan& plan, const std::optional<Lexicon>& head);

}  // namespace lumo

#endif  // LUMO_DICT_DICTIONARY_SPEC_H_
