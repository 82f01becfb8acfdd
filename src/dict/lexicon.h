// Lexicon: an immutable character trie answering one question, "which is
// the longest stored key that is a prefix of this text, and its value?".
//
// A lexicon is built once by LexiconBuilder and never changes afterwards, so
// any number of threads may read it at once. It is flat: one array of nodes,
// one array of (code point, child) pairs in which every node's children form
// one contiguous block sorted by code point, and one arena holding all
// values. The root's children are also reachable through a two-level
// direct-indexed table, and every other edge is recorded in a one-hash
// Bloom filter, because almost every lookup stops after the first character:
// the filter turns most failing child searches into one well-predicted test.
//
// Invariants: node 0 is the root; every child index is below node_count();
// the node count is one plus the number of distinct non-empty key prefixes;
// the root's value (set by an empty key) is never reported by a lookup.
#ifndef LUMO_DICT_LEXICON_H_
#define LUMO_DICT_LEXICON_H_

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

namespace lumo {

// The result of a prefix lookup: `length` bytes of the text matched a key
// whose value is `value`. A length of 0 means no key matched.
struct LexiconMatch {
  std::size_t length = 0;
  std::string_view value;

  explicit operator bool() const { return length != 0; }
};

class Lexicon {
 public:
  // An empty lexicon: a root and nothing else; it never matches.
  Lexicon();

  // Longest key that is a prefix of `text`, or an empty match. `text` must
  // be valid UTF-8 starting on a character boundary. Thread-safe.
  LexiconMatch longest_prefix(std::string_view text) const {
    if (text.empty()) return {};
    return longest_prefix_nonempty(text.data(), text.size());
  }

  // The value stored for exactly `key`, if any (the root's value for an
  // empty key).
  std::optional<std::string_view> find(std::string_view key) const;

  std::size_t node_count() const { return nodes_.size(); }
  // Number of nodes that carry a value, the root included.
  std::size_t value_count() const { return value_count_; }

 private:
  friend class LexiconBuilder;

  static constexpr std::uint32_t kNoValue = UINT32_MAX;
  static constexpr std::uint32_t kRootPageBits = 8;
  static constexpr std::uint32_t kRootPageSize = 1u << kRootPageBits;
  static constexpr std::uint32_t kRootPageCount = 0x110000 >> kRootPageBits;

  struct Node {
    std::uint32_t first_child = 0;
    std::uint32_t child_count = 0;
    std::uint32_t value_offset = kNoValue;
    std::uint32_t value_length = 0;
  };
  struct Child {
    char32_t code_point;
    std::uint32_t node;
  };

  LexiconMatch longest_prefix_nonempty(const char* text, std::size_t size) const;
  std::uint32_t root_child(char32_t code_point) const {
    const std::uint32_t page = root_page_of_[code_point >> kRootPageBits];
    return root_pages_[(page << kRootPageBits) | (code_point & (kRootPageSize - 1))];
  }
  std::uint32_t child(const Node& node, char32_t code_point) const;
  std::uint64_t edge_hash(std::uint32_t node, char32_t code_point) const {
    const std::uint64_t key = (std::uint64_t{node} << 21) | code_point;
    return (key * 0x9E3779B97F4A7C15ull) >> edge_filter_shift_;
  }
  // False only if `node` has no child for `code_point`.
  bool may_have_edge(std::uint32_t node, char32_t code_point) const {
    const std::uint64_t bit = edge_hash(node, code_point);
    return (edge_filter_[bit >> 6] >> (bit & 63)) & 1;
  }
  std::string_view value_of(const Node& node) const {
    return {values_.data() + node.value_offset, node.value_length};
  }

  std::vector<Node> nodes_;
  std::vector<Child> children_;
  std::string values_;
  std::size_t value_count_ = 0;
  // Direct index of the root's children: page number per block of 256 code
  // points (0 is an all-zero page), then the child node per code point, 0
  // meaning "no child" (the root is never anyone's child).
  std::vector<std::uint16_t> root_page_of_;
  std::vector<std::uint32_t> root_pages_;
  // Bloom filter over the (node, code point) edges below the root.
  std::vector<std::uint64_t> edge_filter_;
  std::uint32_t edge_filter_shift_ = 58;
};

// Builds a Lexicon from keys and values inserted in order; the value of a
// key inserted twice is the later one. Keys and values are borrowed until
// finish() and copied into the lexicon there. Building is one sort of the
// keys (UTF-8 byte order is code-point order, and texts that are already
// sorted cost a single pass) followed by one breadth-first pass.
class LexiconBuilder {
 public:
  void reserve(std::size_t count) { items_.reserve(count); }

  // Records `key` with `value`; both must stay alive until finish().
  void insert(std::string_view key, std::string_view value) { items_.push_back({key, value}); }

  // Ends building and returns the lexicon. The builder is left empty.
  Lexicon finish();

 private:
  struct Item {
    std::string_view key;
    std::string_view value;
  };
  void sort_items();

  std::vector<Item> items_;
};

// Ordered (key, value) pairs, as given inline or by a caller.
using KeyValuePairs = std::vector<std::pair<std::string, std::string>>;

// Inserts every entry of a dictionary text into `builder`, each key with the
// first of its values. `text` must outlive builder.finish().
void insert_dictionary_text(std::string_view text, LexiconBuilder& builder);

// A lexicon of every entry of a dictionary text.
Lexicon lexicon_from_text(std::string_view text);

// A lexicon of (key, value) pairs; values are stored whole, spaces included.
Lexicon lexicon_from_pairs(const KeyValuePairs& pairs);

}  // namespace lumo

#endif  // LUMO_DICT_LEXICON_H_
