// Reader for the dictionary text format: one entry per line, a key, a TAB,
// then one or more values separated by white space.
//
// The reader never fails. Lines that do not form an entry (blank lines,
// comment lines whose first byte is '#', lines without a TAB, lines with no
// value after the TAB) are skipped silently. Entries are yielded in text
// order as slices of the text, which must outlive them; nothing is copied.
#ifndef LUMO_DICT_TEXT_READER_H_
#define LUMO_DICT_TEXT_READER_H_

#include <string_view>
#include <vector>

namespace lumo {

// One entry line. `key` is everything before the first TAB, untrimmed;
// `values` holds the white-space separated tokens after it, never empty
// once an entry has been yielded.
struct DictionaryEntry {
  std::string_view key;
  std::vector<std::string_view> values;
};

// Cuts the next line off the front of `rest`. The line excludes its LF and
// every CR that ends it. Returns false when `rest` is empty. A final line
// without LF is still a line; a text ending in LF has no empty last line.
bool next_dictionary_line(std::string_view& rest, std::string_view& line);

// Parses one line (as returned by next_dictionary_line) into `entry`,
// reusing its storage. Returns false for a line that is not an entry.
bool parse_dictionary_line(std::string_view line, DictionaryEntry& entry);

// The key and the first value of one line, exactly as parse_dictionary_line
// would give them, without splitting the further values. Returns false for
// a line that is not an entry.
bool parse_key_and_first_value(std::string_view line, std::string_view& key,
                               std::string_view& first_value);

// Cuts lines off the front of `rest` up to and including the next entry
// line, and gives that line's key and first value exactly as
// parse_key_and_first_value would. Returns false when no entry is left.
bool next_key_and_first_value(std::string_view& rest, std::string_view& key,
                              std::string_view& first_value);

// Yields the entries of a text in order.
//
//   DictionaryTextReader reader(text);
//   DictionaryEntry entry;
//   while (reader.next(entry)) { ... }
class DictionaryTextReader {
 public:
  explicit DictionaryTextReader(std::string_view text) : rest_(text) {}

  // Fills `entry` with the next entry; false once the text is exhausted.
  bool next(DictionaryEntry& entry);

 private:
  std::string_view rest_;
};

}  // namespace lumo

#endif  // LUMO_DICT_TEXT_READER_H_
