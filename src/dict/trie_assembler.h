// TrieAssembler: builds a LexiconTrie from keys given in sorted order.
//
// Each key shares its longest common prefix with the one before it, so only
// the characters after that prefix make new nodes; a key equal to the one
// before takes the later value and keeps any mark. finish() lays every
// node's children out as one block (sorted, since nodes were made in key
// order) and indexes the edges. UTF-8 byte order is code-point order.
#ifndef LUMO_DICT_TRIE_ASSEMBLER_H_
#define LUMO_DICT_TRIE_ASSEMBLER_H_

#include <cstdint>
#include <memory>
#include <string_view>
#include <utility>
#include <vector>

#include "dict/lexicon.h"

namespace lumo {

class TrieAssembler {
 public:
  // What an added key becomes; a key can be both.
  enum Role : std::uint8_t { kValued = 1, kMarked = 2 };

  // The expectations only size the first allocations.
  TrieAssembler(std::size_t expected_nodes, std::size_t expected_value_bytes);

  // Adds `key` with `value`, both copied, and returns true; returns false
  // and adds nothing when `key` comes before the previous key in byte order
  // (or does not fit, see fix_room()). Throws std::bad_alloc past the
  // trie's 32-bit limits.
  bool add(std::string_view key, std::string_view value, std::uint8_t roles);

  // The valued view of the finished trie, with single values if
  // `single_values` asks (see LexiconTrie). The assembler is spent.
  Lexicon finish(SingleValues single_values = SingleValues::kNone);

  // From now on, adds only what fits in the memory already reserved: a key
  // that would need more makes add() return false, and the assembler is
  // then spent. Keys of up to `key_bytes` bytes get room for their path. So
  // a thread that must not throw can add keys (see worker_threads.h).
  void fix_room(std::size_t key_bytes);

  // Sized for the keys of dictionary texts of `text_bytes` bytes.
  static TrieAssembler for_text_bytes(std::size_t text_bytes) {
    // The built-in texts hold at most one node per 10 bytes, and values
    // make up under half of them.
    return TrieAssembler(text_bytes / 10 + 1, text_bytes / 2);
  }

 private:
  friend class TrieJoin;

  // Whether a key of `key_bytes` bytes past the prefix it shares, with a
  // value of `value_bytes`, fits in the memory reserved.
  bool fits(std::size_t key_bytes, std::size_t value_bytes) const;

  std::shared_ptr<LexiconTrie> trie_;
  // Per node: the character leading to it, with kRootChild on the root's
  // children.
  std::vector<char32_t, UnwrittenAllocator<char32_t>> code_points_;
  static constexpr char32_t kRootChild = 1u << 31;
  // The nodes of the previous key's characters, with the byte offset where
  // each character ends.
  std::vector<std::pair<std::uint32_t, std::size_t>> path_;
  // Pages of the root table its root's children fill, and the first and
  // last child's characters.
  std::uint32_t root_pages_ = 0;
  char32_t first_root_child_ = 0;
  char32_t last_root_child_ = 0;
  std::string_view first_;  // the first key added
  std::string_view previous_;
  bool empty_ = true;        // no key added yet
  bool fixed_room_ = false;  // see fix_room()
};

// Finishes two assemblers as one trie when every key of the second starts
// with a character after the first character of every key of the first:
// node for node the trie of adding all their keys to the first. The work is
// shared by two threads.
//
//   TrieJoin join;
//   if (join.plan(first, second)) {
//     // lay_out(0) and lay_out(1), at the same time on two threads
//     Lexicon lexicon = join.finish();
//   }
class TrieJoin {
 public:
  // Checks the keys and sizes the trie; false, changing nothing, when the
  // second's keys do not all come after the first's. Both assemblers must
  // live until finish().
  bool plan(TrieAssembler& first, TrieAssembler& second);
  // Lays out the nodes of the first (0) or the second (1) assembler.
  void lay_out(std::size_t which);
  // Once both are laid out: the valued view of the trie, as
  // TrieAssembler::finish() gives it. Both assemblers are spent.
  Lexicon finish(SingleValues single_values = SingleValues::kNone);

 private:
  friend class TrieAssembler;

  // Sizes the trie for one assembler or two.
  void size_trie(TrieAssembler& first, TrieAssembler* second);

  struct Part {
    TrieAssembler* assembler = nullptr;
    std::uint32_t node_shift = 0;   // its node i > 0 becomes node i + shift
    std::uint32_t value_shift = 0;  // where its values go
    std::uint32_t root_slot = 0;    // where its root children go in the root's block
    std::uint32_t edge_base = 0;    // where its other children blocks start
    std::uint64_t* filter = nullptr;
    std::uint64_t* pair_filter = nullptr;
    // Its root's children's pages of the root table: the number of the
    // first, and whether the part before has children on it too; and, on a
    // page the two parts share, the code points whose slots it fills.
    std::uint32_t first_page = 1;
    bool page_shared = false;
    char32_t from = 0;
    char32_t to = 0x110000;
  };
  // Files the root's children of `part`, laid out, in the root table.
  void fill_root_table(const Part& part, LexiconTrie& trie, std::uint32_t count);
  Part parts_[2];
  // The trie's page numbers, written by both parts.
  std::uint16_t* root_page_of_ = nullptr;
  // The second's edges, joined at the end.
  std::vector<std::uint64_t, UnwrittenAllocator<std::uint64_t>> second_filter_;
  std::vector<std::uint64_t, UnwrittenAllocator<std::uint64_t>> second_pair_filter_;
};

}  // namespace lumo

#endif  // LUMO_DICT_TRIE_ASSEMBLER_H_
