// The five generated dictionary texts, derived from the source texts at
// build time.
//
// Each function returns a complete dictionary text: entry lines written as
// key, TAB, values joined by single spaces, LF. The running module never
// calls these; it embeds their output.
#ifndef LUMO_BUILD_DERIVED_TEXTS_H_
#define LUMO_BUILD_DERIVED_TEXTS_H_

#include <string>
#include <string_view>

#include "engine/core/converter.h"

namespace lumo {

// The reversal of a variants text: every value V of every entry K gets K
// among the values of the reversed entry V (once, in order of appearance).
// A "# @reverse-prefer: X" comment before an entry moves X to the front of
// the reversed entry keyed X. Entries are sorted by key in code-point
// order. `source_file` names the forward text in the header.
std::string reverse_dictionary(std::string_view forward_text, std::string_view source_file);

// The rare forms of the TSCharacters entries tagged by a preceding
// "# @tofu-risk:" comment: key, then the values after the first. No header.
std::string tofu_extension(std::string_view ts_characters_text);

// Simplified spellings of the distinct Taiwan and Hong Kong phrase keys of
// three characters or more, each mapped back to its key; `t2s` converts a
// key to its Simplified spelling. Sorted by the Simplified spelling.
std::string regional_st_phrases(std::string_view tw_phrases_text, std::string_view hk_phrases_text,
                                const Converter& t2s);

}  // namespace lumo

#endif  // LUMO_BUILD_DERIVED_TEXTS_H_
