// LongKeyIndex: the longest keys starting at every position of a text, in
// time linear in the text, for lexicons with long keys.
//
// A walk from one position reads as far as the text follows some key,
// whether a key ends there or not. Where keys are short that is a few
// characters; where a key is as long as the text and the text follows it
// from every position (a run of one character and a key of the same
// character, one longer), walking at every position costs the square of
// the text's length. The index is the reversed keys in an automaton with
// failure links (suffix links), read over the text from its end: in the
// state it is in at a position is the longest prefix of the text there
// that ends some key, and the longest key that starts there is that
// prefix or one of its prefixes, found through the links. Each step costs
// a constant on average, whatever the keys.
//
// Built only for tries whose keys are long (tuning::kLongKeyBytes); used
// through GroupScan (dictionary_group.h). Immutable once built; safe to
// read from any thread.
#ifndef LUMO_DICT_LONG_KEY_INDEX_H_
#define LUMO_DICT_LONG_KEY_INDEX_H_

#include <cstddef>
#include <cstdint>
#include <unordered_map>
#include <vector>

namespace lumo {

struct LexiconTrie;

class LongKeyIndex {
 public:
  // The index of the keys of `trie`, valued and marked.
  explicit LongKeyIndex(const LexiconTrie& trie);

  // For every character of text[from, to) (UTF-8, UTF-16 or UTF-32, both
  // ends on character boundaries, to <= size), the length in units of the
  // longest key (marked ones with `marked`, valued ones otherwise) that
  // is a prefix of the text from there to `size`, or 0: at
  // lengths[pos - from] for the character at pos. Other entries are left
  // as they were. Reads the text up to max_key_units() past `to`.
  template <typename Unit>
  void longest_keys(const Unit* text, std::size_t size, std::size_t from, std::size_t to,
                    bool marked, std::uint32_t* lengths) const;

  // An upper bound of the length of any key, in units of any width.
  std::size_t max_key_units() const { return max_key_units_; }

 private:
  struct Node {
    std::uint32_t fail = 0;    // the longest proper suffix that is a node
    std::uint32_t valued = 0;  // the longest valued key on the chain from here, or 0
    std::uint32_t marked = 0;  // the same for marked keys
    // This node's string's length in UTF-8, UTF-16 and UTF-32 units.
    std::uint32_t units[3] = {0, 0, 0};
  };

  std::uint32_t child(std::uint32_t node, char32_t code_point) const {
    const auto found = edges_.find((std::uint64_t{node} << 21) | code_point);
    return found == edges_.end() ? 0 : found->second;
  }
  // Whether some key may hold `code_point`: true beyond the bitmap, but
  // for values past U+10FFFF (text that is not valid Unicode), which no key
  // holds and which must not reach the edge keys.
  bool in_keys(char32_t code_point) const {
    if (code_point >= 0x10000) return code_point <= 0x10FFFF;
    return ((in_keys_[code_point >> 6] >> (code_point & 63)) & 1) != 0;
  }

  std::vector<Node> nodes_;  // node 0 is the root, the empty string
  std::unordered_map<std::uint64_t, std::uint32_t> edges_;
  std::vector<std::uint64_t> in_keys_;
  std::size_t max_key_units_ = 0;
};

}  // namespace lumo

#endif  // LUMO_DICT_LONG_KEY_INDEX_H_
