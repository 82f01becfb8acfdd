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
  // and adds nothing when `key` comes before the previous key in byte order.
  // Throws std::bad_alloc past the trie's 32-bit limits.
  bool add(std::string_view key, std::string_view value, std::uint8_t roles);

  // The valued view of the finished trie. The assembler is spent.
  Lexicon finish();

 private:
  std::shared_ptr<LexiconTrie> trie_;
  std::vector<std::uint32_t> parents_;  // per node
  std::vector<char32_t> code_points_;   // per node: the character leading to it
  // The nodes of the previous key's characters, with the byte offset where
  // each character ends.
  std::vector<std::pair<std::uint32_t, std::size_t>> path_;
  std::string_view previous_;
};

}  // namespace lumo

#endif  // LUMO_DICT_TRIE_ASSEMBLER_H_
