// The embedded dictionary catalogue: the stored dictionary texts, found by
// exact, case-sensitive name ("STPhrases", not "STPhrases.ocd2").
//
// The texts are constants that live for the whole process. The definition of
// embedded_dictionary_text is supplied by whoever links the engine: the
// module and the tests link the texts compiled into read-only data, while
// the build step that generates the derived texts serves them from files.
#ifndef LUMO_DICT_CATALOGUE_H_
#define LUMO_DICT_CATALOGUE_H_

#include <optional>
#include <string_view>

namespace lumo {

// The stored text of the dictionary named exactly `name`, or nullopt.
std::optional<std::string_view> embedded_dictionary_text(std::string_view name);

}  // namespace lumo

#endif  // LUMO_DICT_CATALOGUE_H_
