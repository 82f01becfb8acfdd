// Building lexicons from dictionary texts and from key/value pairs.
//
// Sorted texts (every built-in one) go straight into a TrieAssembler,
// merged as they are read. Anything else goes through LexiconBuilder, which
// gathers the keys, sorts them (stably: UTF-8 byte order is code-point
// order, and a few concatenated sorted runs cost one merge each) and then
// assembles them. Either way a valued key given twice keeps its later
// value, and a key may also be marked (see LexiconTrie).
#ifndef LUMO_DICT_LEXICON_BUILDER_H_
#define LUMO_DICT_LEXICON_BUILDER_H_

#include <cstdint>
#include <new>
#include <optional>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "dict/lexicon.h"
#include "dict/trie_assembler.h"

namespace lumo {

// Ordered (key, value) pairs, as given inline or by a caller.
using KeyValuePairs = std::vector<std::pair<std::string, std::string>>;

// Gathers keys in any order; they are borrowed until finish().
class LexiconBuilder {
 public:
  // What an inserted key becomes; a key can be both.
  static constexpr std::uint8_t kValued = TrieAssembler::kValued;
  static constexpr std::uint8_t kMarked = TrieAssembler::kMarked;

  void reserve(std::size_t count) { items_.reserve(count); }

  // Records `key` with `value`; both must stay alive until finish(). Keys
  // and values longer than 1 GiB are refused with std::bad_alloc.
  void insert(std::string_view key, std::string_view value, std::uint8_t roles = kValued) {
    if (key.size() > kMaxSize || value.size() > kMaxSize) throw std::bad_alloc();
    items_.push_back({key.data(), value.data(), static_cast<std::uint32_t>(key.size()),
                      static_cast<std::uint32_t>(value.size()) | (std::uint32_t{roles} << 30)});
  }

  // Ends building and returns the valued view of the new trie (its marked
  // view is marked_view()). The builder is left empty.
  Lexicon finish(SingleValues single_values = SingleValues::kNone);

 private:
  static constexpr std::size_t kMaxSize = (std::size_t{1} << 30) - 1;

  // 24 bytes: the builder holds one per inserted key.
  struct Item {
    const char* key_data;
    const char* value_data;
    std::uint32_t key_size;
    std::uint32_t value_size_and_roles;  // roles in the top two bits

    std::string_view key() const { return {key_data, key_size}; }
    std::string_view value() const { return {value_data, value_size_and_roles & kMaxSize}; }
    std::uint8_t roles() const { return static_cast<std::uint8_t>(value_size_and_roles >> 30); }
  };
  void sort_items();

  std::vector<Item> items_;
};

// Inserts every entry of a dictionary text into `builder` in text order,
// each key with the first of its values. `text` must outlive finish().
void insert_dictionary_text(std::string_view text, LexiconBuilder& builder,
                            std::uint8_t roles = LexiconBuilder::kValued);

// A dictionary text and what its keys become.
struct TextSource {
  std::string_view text;
  std::uint8_t roles = LexiconBuilder::kValued;
};

// The bytes of all the texts.
std::size_t text_bytes(const std::vector<TextSource>& sources);

// Adds the entries of `sources`, each key with its first value, to
// `assembler` in key order (equal keys in text order), merging the texts as
// they are read. Returns false, with the assembler holding some of them,
// as soon as a key comes before the one added before it, which happens
// exactly when some text is not sorted, or as soon as the assembler has no
// room for a key (see TrieAssembler::fix_room). Allocates nothing else for
// up to 16 texts.
bool add_sorted_texts(const std::vector<TextSource>& sources, TrieAssembler& assembler);

// Sorted texts cut, each at a line start, where their keys reach `at`, the
// first character of the key in the middle of the largest text: each text's
// `before` part holds the entries whose keys come before `at`, its `after`
// part the others. For texts out of order the cut is somewhere.
struct SplitTexts {
  std::string_view at;
  std::vector<TextSource> before;
  std::vector<TextSource> after;
};
// No split when the largest text has no entry from its middle on.
std::optional<SplitTexts> split_sorted_texts(const std::vector<TextSource>& sources);

// A lexicon of the entries of several texts read in order, as if
// concatenated with a line break between them. Sorted texts (all the
// built-in ones) are merged as they are read, with no intermediate list.
// The trie keeps single values if `single_values` asks (see LexiconTrie).
Lexicon lexicon_from_texts(const std::vector<TextSource>& sources,
                           SingleValues single_values = SingleValues::kNone);

// A lexicon of (key, value) pairs; values are stored whole, spaces included.
Lexicon lexicon_from_pairs(const KeyValuePairs& pairs);

}  // namespace lumo

#endif  // LUMO_DICT_LEXICON_BUILDER_H_
