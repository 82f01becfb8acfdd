// Dictionary specifications: the JSON values under a configuration's "dict"
// members, turned into dictionary groups.
//
// A specification names an embedded dictionary ("type" "text", "ocd2" or
// "ocd", the default, with a "file" member), a group of specifications
// ("type" "group" with "dicts"), or inline entries ("type" "inline" with
// "entries"). A group whose members are all plain file members becomes one
// merged lexicon, in which a key held by several members takes the value of
// the last of them. Every failure is an error message; no partial group
// survives it. Nothing is cached: each call reads the texts afresh.
#ifndef LUMO_DICT_DICTIONARY_SPEC_H_
#define LUMO_DICT_DICTIONARY_SPEC_H_

#include <optional>
#include <string>
#include <string_view>

#include <nlohmann/json.hpp>

#include "dict/dictionary_group.h"
#include "dict/lexicon.h"
#include "dict/result.h"

namespace lumo {

// The catalogue name for a file name: trailing ".ocd2" removed repeatedly,
// then trailing ".ocd", then trailing ".txt". Nothing else changes.
std::string normalize_dictionary_name(std::string_view file);

// The group a specification describes, headed by a lexicon of
// `extra_pairs` when they are not empty.
Result<DictionaryGroup> build_dictionary_group(const nlohmann::json& spec,
                                               const KeyValuePairs& extra_pairs);

// Appends the lexicons of one specification to `group`; returns the error
// message on failure (the group may then hold part of the work).
std::optional<std::string> append_spec(const nlohmann::json& spec, DictionaryGroup& group);

}  // namespace lumo

#endif  // LUMO_DICT_DICTIONARY_SPEC_H_
