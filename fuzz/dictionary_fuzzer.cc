// Reading a dictionary text of arbitrary bytes and building lexicons from
// it. The three readers (whole entries, key and first value of a line, key
// and first value of the next entry) agree on every line. Then, for a text
// in valid UTF-8 (dictionary texts are), the lexicon of the whole text,
// that of the text split in two and merged, the one built on two threads
// and the one built from its pairs all hold every key with the first value
// of its last entry, and longest-prefix lookup finds each key whole.
#include <cstdint>
#include <map>
#include <string>
#include <string_view>
#include <vector>

#include "dict/lexicon_builder.h"
#include "dict/text_reader.h"
#include "engine/config/lexicon_threads.h"
#include "fuzz/fuzz_support.h"

namespace lumo::fuzz {
namespace {

using Entries = std::map<std::string_view, std::string_view>;

// The entries of `text`, checking the readers against each other.
Entries read_entries(std::string_view text) {
  Entries entries;
  std::string_view lines = text;
  std::string_view entry_lines = text;
  std::string_view line;
  DictionaryEntry entry;
  while (next_dictionary_line(lines, line)) {
    check(line.find('\n') == std::string_view::npos, "a line holds a line feed");
    std::string_view key, first_value;
    const bool parsed = parse_dictionary_line(line, entry);
    check(parsed == parse_key_and_first_value(line, key, first_value),
          "the readers disagree on whether a line is an entry");
    if (!parsed) continue;
    check(!entry.values.empty() && entry.key == key && entry.values.front() == first_value,
          "the readers give a line different keys or first values");
    std::string_view next_key, next_value;
    check(next_key_and_first_value(entry_lines, next_key, next_value) && next_key == key &&
              next_value == first_value,
          "the next entry is not the next entry line");
    if (!key.empty()) entries[key] = first_value;
  }
  std::string_view next_key, next_value;
  check(!next_key_and_first_value(entry_lines, next_key, next_value),
        "an entry after the last entry line");
  return entries;
}

void check_lexicon(const Lexicon& lexicon, const Entries& entries, const char* what) {
  for (const auto& [key, value] : entries) {
    const std::optional<std::string_view> found = lexicon.find(key);
    if (!found || *found != value) {
      std::fprintf(stderr, "%s: ", what);
      check(false, "a key is missing or holds another value");
    }
    const LexiconMatch match = lexicon.longest_prefix(key);
    check(match.length == key.size() && match.value == value,
          "longest-prefix lookup does not find a key whole");
  }
}

}  // namespace
}  // namespace lumo::fuzz

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  using namespace lumo;
  using namespace lumo::fuzz;
  const std::string text(reinterpret_cast<const char*>(data), size);
  const Entries entries = read_entries(text);
  if (!valid_utf8(data, size)) return 0;

  check_lexicon(lexicon_from_texts({{text}}), entries, "whole text");
  const std::size_t middle = text.find('\n', text.size() / 2);
  if (middle != std::string::npos) {
    const std::string_view view(text);
    check_lexicon(lexicon_from_texts({{view.substr(0, middle + 1)}, {view.substr(middle + 1)}}),
                  entries, "two texts");
  }
  check_lexicon(lexicon_from_texts_on_two_threads({{text}}), entries, "two threads");
  KeyValuePairs pairs;
  for (const auto& [key, value] : entries) pairs.emplace_back(key, value);
  check_lexicon(lexicon_from_pairs(pairs), entries, "pairs");
  return 0;
}
