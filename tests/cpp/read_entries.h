// Every entry of a dictionary text as owned strings, for comparisons.
#ifndef LUMO_TESTS_CPP_READ_ENTRIES_H_
#define LUMO_TESTS_CPP_READ_ENTRIES_H_

#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "dict/text_reader.h"

namespace lumo {

using Entries = std::vector<std::pair<std::string, std::vector<std::string>>>;

inline Entries read_all(std::string_view text) {
  Entries entries;
  DictionaryTextReader reader(text);
  for (DictionaryEntry entry; reader.next(entry);) {
    entries.emplace_back(entry.key,
                         std::vector<std::string>(entry.values.begin(), entry.values.end()));
  }
  return entries;
}

}  // namespace lumo

#endif  // LUMO_TESTS_CPP_READ_ENTRIES_H_
