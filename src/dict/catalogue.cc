#include "dict/catalogue.h"

#include "dict/embedded_file.h"

namespace lumo {

std::optional<std::string_view> embedded_dictionary_text(std::string_view name) {
  return find_embedded_file(kEmbeddedDictionaries, kEmbeddedDictionaryCount, name);
}

}  // namespace lumo
