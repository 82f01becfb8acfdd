#include "dict/long_key_index.h"

#include <algorithm>

#include "dict/lexicon_trie.h"
#include "dict/text_units.h"

namespace lumo {

LongKeyIndex::LongKeyIndex(const LexiconTrie& trie)
    : nodes_(1), in_keys_(0x10000 / 64, 0), max_key_units_(trie.max_key_bytes) {
  // The reversed keys, in a trie of their own; per node, what the links
  // below need: its parent, its character, its depth and which keys end
  // there.
  std::vector<std::uint32_t> parent(1, 0);
  std::vector<char32_t> character(1, 0);
  std::vector<std::uint32_t> depth(1, 0);
  std::vector<unsigned char> ends(1, 0);  // 1: a valued key, 2: a marked key
  constexpr unsigned char kValued = 1;
  constexpr unsigned char kMarked = 2;
  std::vector<char32_t> key;
  struct Visit {
    std::uint32_t node;
    std::uint32_t depth;
    char32_t code_point;
  };
  std::vector<Visit> stack{{0, 0, 0}};
  while (!stack.empty()) {
    const Visit visit = stack.back();
    stack.pop_back();
    const LexiconTrie::Node& node = trie.nodes[visit.node];
    key.resize(visit.depth);
    if (visit.depth > 0) key[visit.depth - 1] = visit.code_point;
    const unsigned char kind = (node.valued() ? kValued : 0) | (node.marked() ? kMarked : 0);
    if (visit.depth > 0 && kind != 0) {
      std::uint32_t at = 0;
      for (std::size_t i = key.size(); i-- > 0;) {
        const char32_t code_point = key[i];
        if (code_point < 0x10000)
          in_keys_[code_point >> 6] |= std::uint64_t{1} << (code_point & 63);
        std::uint32_t next = child(at, code_point);
        if (next == 0) {
          next = static_cast<std::uint32_t>(nodes_.size());
          Node& made = nodes_.emplace_back();
          const Node& from = nodes_[at];
          char utf8[4];
          std::uint16_t utf16[2];
          made.units[0] =
              from.units[0] + static_cast<std::uint32_t>(encode_char(code_point, utf8) - utf8);
          made.units[1] =
              from.units[1] + static_cast<std::uint32_t>(encode_char(code_point, utf16) - utf16);
          made.units[2] = from.units[2] + 1;
          parent.push_back(at);
          character.push_back(code_point);
          depth.push_back(depth[at] + 1);
          ends.push_back(0);
          edges_.emplace((std::uint64_t{at} << 21) | code_point, next);
        }
        at = next;
      }
      ends[at] |= kind;
    }
    for (std::uint32_t slot = node.first_child; slot < node.first_child + node.children(); ++slot) {
      const LexiconTrie::Child& edge = trie.children[slot];
      stack.push_back({edge.node, visit.depth + 1, edge.code_point});
    }
  }
  // The links, shallower nodes first: a node's link leads to a shallower
  // one, whose links are then known.
  std::vector<std::uint32_t> order(nodes_.size() - 1);
  for (std::uint32_t i = 0; i < order.size(); ++i) order[i] = i + 1;
  std::stable_sort(order.begin(), order.end(),
                   [&depth](std::uint32_t a, std::uint32_t b) { return depth[a] < depth[b]; });
  for (const std::uint32_t index : order) {
    const char32_t code_point = character[index];
    std::uint32_t fail = 0;
    if (parent[index] != 0) {
      for (std::uint32_t link = nodes_[parent[index]].fail;; link = nodes_[link].fail) {
        if (const std::uint32_t next = child(link, code_point)) {
          fail = next;
          break;
        }
        if (link == 0) break;
      }
    }
    Node& node = nodes_[index];
    node.fail = fail;
    node.valued = (ends[index] & kValued) != 0 ? index : nodes_[fail].valued;
    node.marked = (ends[index] & kMarked) != 0 ? index : nodes_[fail].marked;
  }
}

template <typename Unit>
void LongKeyIndex::longest_keys(const Unit* text, std::size_t size, std::size_t from,
                                std::size_t to, bool marked, std::uint32_t* lengths) const {
  constexpr std::size_t kWidth = sizeof(Unit) == 1 ? 0 : sizeof(Unit) == 2 ? 1 : 2;
  // From far enough past `to` that every key starting before it is read
  // whole.
  std::size_t pos = size - to > max_key_units_ ? to + max_key_units_ : size;
  while (pos < size && !starts_character(text[pos])) ++pos;
  std::uint32_t state = 0;
  while (pos > from) {
    do {
      --pos;
    } while (pos > from && !starts_character(text[pos]));
    std::size_t length = 0;
    const char32_t code_point = decode_char(text + pos, &length);
    if (!in_keys(code_point)) {
      state = 0;
    } else {
      std::uint32_t next;
      while ((next = child(state, code_point)) == 0 && state != 0) state = nodes_[state].fail;
      state = next;
    }
    if (pos < to) {
      const Node& node = nodes_[state];
      lengths[pos - from] = nodes_[marked ? node.marked : node.valued].units[kWidth];
    }
  }
}

#define LUMO_INSTANTIATE(Unit)                                                                 \
  template void LongKeyIndex::longest_keys(const Unit*, std::size_t, std::size_t, std::size_t, \
                                           bool, std::uint32_t*) const;
LUMO_INSTANTIATE(char)
LUMO_INSTANTIATE(std::uint16_t)
LUMO_INSTANTIATE(std::uint32_t)
#undef LUMO_INSTANTIATE

}  // namespace lumo
