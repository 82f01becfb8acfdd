// LexiconTrie: the storage behind Lexicon, shared by every view of it.
//
// Flat arrays: nodes, (code point, child) pairs in which each node's
// children form one contiguous block sorted by code point, and one arena of
// values. A node may carry a value (a valued key) and a mark (a marked key);
// one trie can thus hold two key sets, for example a segmentation
// dictionary (marked) and the first-stage dictionary (valued) of one
// converter, walked together.
//
// The root's children are copied into a two-level direct-indexed table, so
// that the first step of a walk costs one memory access. The edges leaving
// the root's children are recorded by their two characters in a Bloom
// filter of their own (the pair filter: two bits in one word, so one memory
// access), so that its test does not wait for that access either; every
// other edge in a one-hash Bloom filter. Nearly every lookup stops after one
// or two characters, and the filters turn most failing child searches into
// one well-predicted test.
//
// Invariants: node 0 is the root and is nobody's child; every child index is
// below the node count, which is one plus the number of distinct non-empty
// prefixes of the keys. Immutable once built; safe to read from any thread.
#ifndef LUMO_DICT_LEXICON_TRIE_H_
#define LUMO_DICT_LEXICON_TRIE_H_

#include <algorithm>
#include <array>
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <memory>
#include <new>
#include <string>
#include <string_view>
#include <type_traits>
#include <utility>
#include <vector>

#include "dict/block_pool.h"
#include "dict/sparse_table.h"
#include "dict/text_units.h"
#include "dict/tuning.h"

namespace lumo {

class LongKeyIndex;

// Whether a trie keeps single_values (see LexiconTrie), and whether a
// marked key can have one: not where its mark, which makes it a segment of
// its own, matters to the stages after the first.
enum class SingleValues : unsigned char { kNone, kUnmarked, kMarkedToo };

// Which keys a walk records (LexiconTrie::walk_from).
enum class WalkedKeys : unsigned char { kMarked, kValued, kBoth };

// Whether lookups may start at ASCII characters: not in a stage input led by
// one (LexiconTrie::untouchable_end).
enum class AsciiStarts : unsigned char { kLookedUp, kSkipped };

// Which characters' pairs LexiconTrie::single_at tests against the pair
// filter: only those that longer keys start with, or every one, without a
// branch on it.
enum class PairTest : unsigned char { kExtendedOnly, kEveryCharacter };

// Words of two distinct bits each, spread over the 64 positions: the masks
// of the pair filter (see LexiconTrie::pair_bits).
inline constexpr std::array<std::uint64_t, 256> kPairMasks = [] {
  std::array<std::uint64_t, 256> masks{};
  for (std::uint64_t i = 0; i < masks.size(); ++i) {
    // splitmix64's finaliser, for bits that do not follow i.
    std::uint64_t z = (i + 1) * 0x9E3779B97F4A7C15ull;
    z = (z ^ (z >> 30)) * 0xBF58476D1CE4E5B9ull;
    z = (z ^ (z >> 27)) * 0x94D049BB133111EBull;
    z ^= z >> 31;
    const std::uint64_t first = z & 63;
    const std::uint64_t second = (first + 1 + (z >> 6) % 63) & 63;  // never the first
    masks[i] = (std::uint64_t{1} << first) | (std::uint64_t{1} << second);
  }
  return masks;
}();

struct LexiconTrie {
  static constexpr std::uint32_t kNoValue = UINT32_MAX;
  // Readable bytes after every value (zeros after the last one), so that
  // a short value can be copied with one fixed-size move.
  static constexpr std::size_t kValuePadding = 16;
  static constexpr std::uint32_t kMarked = 1u << 31;  // in Node::child_count
  static constexpr std::uint32_t kCountMask = kMarked - 1;
  static constexpr std::uint32_t kRootPageBits = 5;
  static constexpr std::uint32_t kRootPageSize = 1u << kRootPageBits;
  static constexpr std::uint32_t kRootPageCount = 0x110000 >> kRootPageBits;
  // single_values: a walk is needed; or, where longer keys start with the
  // character too, this bit beside what it converts to.
  static constexpr std::uint32_t kWalk = UINT32_MAX;
  static constexpr std::uint32_t kExtended = 1u << 31;
  // single_values covers the code points below this, directly indexed: the
  // Basic Multilingual Plane but its last 16 specials, which are rare
  // enough to be left to walks.
  static constexpr char32_t kSingleValuesSize = 0xFFF0;
  // three_byte_singles covers every code point below this: any pair of
  // three-byte characters indexes it without a range test.
  static constexpr char32_t kThreeByteSinglesSize = 0x10000;

  struct Node {
    std::uint32_t first_child = 0;
    std::uint32_t child_count = 0;  // kMarked | number of children
    std::uint32_t value_offset = kNoValue;
    std::uint32_t value_length = 0;

    bool operator==(const Node&) const = default;
    bool valued() const { return value_offset != kNoValue; }
    bool marked() const { return (child_count & kMarked) != 0; }
    std::uint32_t children() const { return child_count & kCountMask; }
  };
  struct Child {
    char32_t code_point;
    std::uint32_t node;
  };

  // An empty trie: a root and nothing else.
  LexiconTrie();

  // Whether some key, valued or marked, starts with an ASCII character.
  bool ascii_starts_key() const { return (key_starts[0] | key_starts[1]) != 0; }
  // The end of the stretch of text[pos, size) (UTF-8, UTF-16 or UTF-32)
  // whose characters no key starts with, so that stretches no key can
  // touch are copied without walking; with AsciiStarts::kSkipped, ASCII
  // characters count as such whatever the keys. The key-start bitmap has
  // one bit per code point below U+10000; any other character may start a
  // key.
  template <AsciiStarts kAscii, typename Unit>
  std::size_t untouchable_end(const Unit* text, std::size_t pos, std::size_t size) const {
    constexpr bool kAsciiToo = kAscii == AsciiStarts::kLookedUp;
    const std::uint64_t* const starts = key_starts.data();
    if constexpr (sizeof(Unit) > 1) {
      for (; pos < size; ++pos) {
        const char32_t code_point = text[pos];
        // Beyond the bitmap (or a surrogate leading one): may start a key.
        if (code_point >= 0x10000 || is_surrogate(code_point)) return pos;
        if (!kAsciiToo && code_point < 0x80) continue;
        if ((starts[code_point >> 6] >> (code_point & 63)) & 1) return pos;
      }
      return pos;
    }
    const auto* s = reinterpret_cast<const unsigned char*>(text);
    while (pos < size) {
      const unsigned char lead = s[pos];
      char32_t code_point;
      std::size_t length;
      if (lead < 0x80) {
        if (!kAsciiToo) {
          ++pos;
          continue;
        }
        code_point = lead;
        length = 1;
      } else if (lead >= 0xE0) {
        if (lead >= 0xF0) return pos;  // beyond the bitmap: may start a key
        code_point = utf8_decode_three(s + pos);
        length = 3;
      } else {
        code_point = utf8_decode_two(s + pos);
        length = 2;
      }
      if ((starts[code_point >> 6] >> (code_point & 63)) & 1) return pos;
      pos += length;
    }
    return pos;
  }
  // Where the pair filter of `words` words records that some key starts
  // with `first` then `second`: a word, by multiplication, and two bits in
  // it, from a table (a load, where shifting two bits into place costs nine
  // instructions).
  struct PairBits {
    std::size_t word;
    std::uint64_t mask;
  };
  static PairBits pair_bits(char32_t first, char32_t second, std::uint64_t words) {
    const std::uint64_t hash = ((std::uint64_t{first} << 21) | second) * 0x9E3779B97F4A7C15ull;
    return {static_cast<std::size_t>(((hash >> 32) * words) >> 32),
            kPairMasks[(hash >> 24) & 0xFF]};
  }
  // What single_at() reads, copied out of the trie into a value that a loop
  // keeps in registers: a loop writing UTF-8 through char pointers, which
  // may alias anything, would otherwise reload the tables' addresses from
  // the trie after every write (callgrind: t2s, UTF-8, 7 instructions a
  // character).
  struct SingleLookup {
    const std::uint32_t* single_values;
    const std::uint32_t* three_byte_singles;
    const std::uint64_t* pair_filter;
    std::uint64_t pair_filter_words;

    // See LexiconTrie::single_value().
    std::uint32_t single_value(char32_t code_point) const {
      return code_point < kSingleValuesSize ? single_values[code_point] : kWalk;
    }
    // See LexiconTrie::may_have_pair().
    bool may_have_pair(char32_t first, char32_t second) const {
      const PairBits bits = pair_bits(first, second, pair_filter_words);
      return (pair_filter[bits.word] & bits.mask) == bits.mask;
    }
    // See LexiconTrie::single_at().
    template <PairTest kPairs, typename Unit>
    std::uint32_t single_at(const Unit* text, std::size_t pos, std::size_t end, char32_t code_point,
                            std::size_t length, char32_t* next, std::size_t* next_length) const {
      const std::uint32_t single = single_value(code_point);
      const bool extended = (single & kExtended) != 0;  // kWalk too
      if (kPairs == PairTest::kEveryCharacter || extended) {
        if (single == kWalk) return kWalk;
        if (pos + length < end) {
          *next = decode_char(text + pos + length, next_length);
          if (extended & may_have_pair(code_point, *next)) return kWalk;
        }
      }
      // One instruction, whether the character converts to another or to
      // itself, as likely as not in running text.
      return static_cast<std::uint32_t>(code_point) ^ (single & ~kExtended);
    }
  };
  // The lookup of single values. Only for tries with single_values.
  SingleLookup single_lookup() const {
    return {single_values.data(), three_byte_singles.data(), pair_filter.data(), pair_filter_words};
  }

  // What `code_point` alone converts to where no key longer than it can
  // start, as single_values holds it: kWalk, or its code point's XOR with
  // the one it converts to, maybe with kExtended. Only for tries with
  // single_values.
  std::uint32_t single_value(char32_t code_point) const {
    return single_lookup().single_value(code_point);
  }
  // What the character at text[pos], `code_point` of `length` units,
  // converts to by its single value where the text ends at `end`: the code
  // point its walk would write, or kWalk where a walk is needed, a longer
  // key possibly starting there (the edge to the next character says).
  // Only for tries with single_values. Where it decodes the next character
  // it stores it in `*next` and its length in `*next_length`. With
  // PairTest::kEveryCharacter, the pair filter is read for every character,
  // without a branch on whether longer keys start with it, and the next
  // character is always decoded: faster where most characters of running
  // text start longer keys (the Simplified-to-Traditional lexicons), slower
  // elsewhere.
  template <PairTest kPairs, typename Unit>
  std::uint32_t single_at(const Unit* text, std::size_t pos, std::size_t end, char32_t code_point,
                          std::size_t length, char32_t* next, std::size_t* next_length) const {
    return single_lookup().single_at<kPairs>(text, pos, end, code_point, length, next, next_length);
  }
  // Fills single_values, once the root's children and the edge filter are
  // indexed; marked keys may have one if `marked_too` and no key starts
  // with an ASCII character (a segment of its own restarts the rule for
  // runs led by one).
  void index_single_values(bool marked_too);
  // A copy of the root's child for `code_point`, or an empty node; any
  // value past U+10FFFF (text that is not valid Unicode) finds the empty
  // page.
  const Node& root_entry(char32_t code_point) const {
    const std::size_t block = std::min<std::size_t>(code_point >> kRootPageBits, kRootPageCount);
    const std::size_t page = root_page_of[block];
    return root_table[(page << kRootPageBits) | (code_point & (kRootPageSize - 1))];
  }
  // The index of the child of `node` for `code_point`, or 0.
  std::uint32_t child(const Node& node, char32_t code_point) const;
  // What the edge filter knows an edge below the root's children by: the
  // index of the node it leaves and its character.
  static std::uint64_t edge_key(std::uint32_t index, char32_t code_point) {
    return (std::uint64_t{index} << 21) | code_point;
  }
  // The filter bit of an edge: a hash of its key, mapped onto the filter's
  // bits by multiplication (no power-of-two rounding of its size).
  std::uint64_t edge_bit(std::uint64_t key) const {
    const std::uint64_t hash = (key * 0x9E3779B97F4A7C15ull) >> 32;
    return (hash * edge_filter_bits) >> 32;
  }
  // False only if there is no edge of key `key`.
  bool may_have_edge(std::uint64_t key) const {
    const std::uint64_t bit = edge_bit(key);
    return (edge_filter[bit >> 6] >> (bit & 63)) & 1;
  }
  // Where this trie's pair filter records that some key starts with `first`
  // then `second`.
  PairBits pair_bits(char32_t first, char32_t second) const {
    return pair_bits(first, second, pair_filter_words);
  }
  // False only if no key starts with `first` then `second`.
  bool may_have_pair(char32_t first, char32_t second) const {
    return single_lookup().may_have_pair(first, second);
  }
  std::string_view value_of(const Node& node) const {
    return {values.data() + node.value_offset, node.value_length};
  }
  // What one walk from the root found.
  struct Walk {
    std::size_t marked_length = 0;  // in units, of the longest marked key; 0 for none
    std::size_t valued_length = 0;  // in units, of the longest valued key; 0 for none
    std::string_view value;         // the value of that key
    // The character after the first, when the walk decoded it (so that a
    // scan moving on by one character need not decode it again).
    char32_t second = 0;
    std::size_t second_length = 0;  // 0 when not decoded
  };

  // Walks from the root along text[0, size) (UTF-8, UTF-16 or UTF-32;
  // size > 0) whose first character, `first_length` units long, is
  // `first`; records the longest keys of the sets `kKeys` names. Stops at
  // the first character without a child.
  template <WalkedKeys kKeys, typename Unit>
  Walk walk_from(char32_t first, std::size_t first_length, const Unit* text,
                 std::size_t size) const {
    constexpr bool kMarkedKeys = kKeys != WalkedKeys::kValued;
    constexpr bool kValuedKeys = kKeys != WalkedKeys::kMarked;
    Walk walk;
    const Node& entry = root_entry(first);
    std::size_t pos = first_length;
    // The second character's filter test does not wait for the entry.
    bool second_edge = false;
    if (pos < size) {
      walk.second = decode_char(text + pos, &walk.second_length);
      second_edge = may_have_pair(first, walk.second);
    }
    if (kValuedKeys && entry.valued()) {
      walk.valued_length = pos;
      walk.value = value_of(entry);
    }
    if (kMarkedKeys && entry.marked()) walk.marked_length = pos;
    // Most walks end here; one branch decides it.
    if (!((entry.children() != 0) & second_edge)) return walk;
    std::uint32_t index = child(entry, walk.second);
    if (index == 0) return walk;
    const Node* node = &nodes[index];
    pos += walk.second_length;
    while (true) {
      if (kValuedKeys && node->valued()) {
        walk.valued_length = pos;
        walk.value = value_of(*node);
      }
      if (kMarkedKeys && node->marked()) walk.marked_length = pos;
      if (node->children() == 0 || pos >= size) break;
      std::size_t length = 0;
      const char32_t code_point = decode_char(text + pos, &length);
      if (!may_have_edge(edge_key(index, code_point))) break;
      index = child(*node, code_point);
      if (index == 0) break;
      node = &nodes[index];
      pos += length;
    }
    return walk;
  }

  template <WalkedKeys kKeys, typename Unit>
  Walk walk(const Unit* text, std::size_t size) const {
    std::size_t length = 0;
    const char32_t first = decode_char(text, &length);
    return walk_from<kKeys>(first, length, text, size);
  }

  // The node reached by exactly `key` (the root for an empty key), or
  // nullptr.
  const Node* find_node(std::string_view key) const;

  // Sizes the edge and pair filters for `edges` edges below the root,
  // leaving their words unwritten: the builder clears them, then sets the
  // bits of every edge at edge_bit() or pair_bits().
  void size_edge_filters(std::size_t edges);
  // Records that a key starts with `code_point` in the key-start bitmap.
  void mark_key_start(char32_t code_point) {
    if (code_point < 0x10000) key_starts[code_point >> 6] |= std::uint64_t{1} << (code_point & 63);
  }

  std::vector<Node, UnwrittenAllocator<Node>> nodes;
  std::vector<Child, UnwrittenAllocator<Child>> children;
  std::string values;
  std::size_t valued_count = 0;    // nodes with a value, the root included
  std::size_t marked_count = 0;    // nodes with a mark
  std::size_t max_key_bytes = 0;   // the longest key, valued or marked
  bool line_feed_in_keys = false;  // whether some key holds a U+000A
  // Page number per block of kRootPageSize code points, and a last one,
  // always 0, for every value beyond U+10FFFF (page 0 is all empty); then per code point a copy of
  // the root's child, or an empty node. Pages are small because the characters keys start with are
  // scattered: with 32 code points a page, the largest tables hold about
  // five slots per child, and the page-number table stays small.
  SparseTable<std::uint16_t> root_page_of;
  std::vector<Node, UnwrittenAllocator<Node>> root_table;
  // Per code point below kSingleValuesSize, what the character converts to
  // alone, where no longer key matches, XOR its own code point: 0 where no
  // key starts with it. Where some key does, kWalk unless it is non-ASCII,
  // carries no mark (or one that does not matter, see index_single_values),
  // and is no key or a valued key whose value is one character (its value,
  // or itself; for a character of three UTF-8 bytes, one of three bytes
  // too); with kExtended where longer keys start with it. kWalk for
  // the high surrogates that lead characters keys start with, so that
  // UTF-16 is looked up a unit at a time. Empty in tries built without.
  SparseTable<std::uint32_t> single_values;
  // The same for the characters of three UTF-8 bytes (U+0800 to U+FFFF),
  // whose single values, where they stand, are characters of three bytes
  // too, with the XOR spread as it lies in their UTF-8 bytes
  // (utf8_spread_three_pair): one XOR of the bytes read converts them, no
  // encoding needed. kWalk where single_values has it and from
  // kSingleValuesSize on; entries below U+0800 are never read. Filled
  // with single_values, empty where it is.
  SparseTable<std::uint32_t> three_byte_singles;
  std::vector<std::uint64_t> key_starts;
  std::vector<std::uint64_t, UnwrittenAllocator<std::uint64_t>> edge_filter;
  std::uint64_t edge_filter_bits = 64;
  std::vector<std::uint64_t, UnwrittenAllocator<std::uint64_t>> pair_filter;
  std::uint64_t pair_filter_words = 1;
  // Where keys are long (over tuning::kLongKeyBytes), the index that finds
  // the longest key at every position of a text in linear time; null
  // otherwise.
  std::shared_ptr<const LongKeyIndex> long_keys;
};

}  // namespace lumo

#endif  // LUMO_DICT_LEXICON_TRIE_H_
