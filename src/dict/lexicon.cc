#include "dict/lexicon.h"

#include <cstdint>
#include <cstdlib>
#include <new>

#include "dict/tuning.h"
#include "dict/utf8.h"

namespace lumo {

LexiconTrie::LexiconTrie()
    : nodes(1, Node{}),
      root_page_of(kRootPageCount + 1),
      root_table(kRootPageSize, Node{}),
      key_starts(0x10000 / 64, 0),
      edge_filter(1, std::uint64_t{0}),
      pair_filter(1, std::uint64_t{0}) {}

std::uint32_t LexiconTrie::child(const Node& node, char32_t code_point) const {
  // A binary search without branches on the data (each step a conditional
  // move): which way a step goes depends on the text and would be
  // mispredicted about half the time. It ends at the last child not after
  // `code_point`, or at the first child.
  std::uint32_t count = node.children();
  if (count == 0) return 0;
  const Child* base = children.data() + node.first_child;
  while (count > 1) {
    const std::uint32_t half = count / 2;
    base = base[half].code_point <= code_point ? base + half : base;
    count -= half;
  }
  return base->code_point == code_point ? base->node : 0;
}

const LexiconTrie::Node* LexiconTrie::find_node(std::string_view key) const {
  const Node* node = &nodes[0];
  for (std::size_t pos = 0; pos < key.size();) {
    std::size_t length = 0;
    const std::uint32_t index = child(*node, utf8_decode(key.data() + pos, &length));
    if (index == 0) return nullptr;
    node = &nodes[index];
    pos += length;
  }
  return node;
}

void LexiconTrie::index_single_values(bool marked_too) {
  const bool marks_matter = !marked_too || ascii_starts_key();
  const Node& root = nodes[0];
  single_values = SparseTable<std::uint32_t>(kSingleValuesSize);  // each converting to itself
  three_byte_singles = SparseTable<std::uint32_t>(kThreeByteSinglesSize);
  for (char32_t code_point = kSingleValuesSize; code_point < kThreeByteSinglesSize; ++code_point) {
    three_byte_singles.set(code_point, kWalk);
  }
  for (std::uint32_t slot = root.first_child; slot < root.first_child + root.children(); ++slot) {
    const Child& child = children[slot];
    if (child.code_point >= kSingleValuesSize) {
      // UTF-16 is looked up a unit at a time: the high surrogate that leads
      // a character some key starts with sends it to a walk, which decodes
      // it. Any other pair converts to itself unit by unit, as its
      // character does.
      if (child.code_point >= 0x10000) {
        single_values.set(0xD800 + ((child.code_point - 0x10000) >> 10), kWalk);
      }
      continue;
    }
    const Node& node = nodes[child.node];
    // What the character converts to alone, if it can.
    char32_t target = 0;
    if (child.code_point >= 0x80 && !(marks_matter && node.marked())) {
      if (!node.valued()) {
        target = child.code_point;
      } else {
        const std::string_view value = value_of(node);
        std::size_t length = 0;
        const char32_t code_point = value.empty() ? 0 : utf8_decode(value.data(), &length);
        if (length == value.size()) target = code_point;
      }
      // A character of three UTF-8 bytes converts alone only into one of
      // three: UTF-8 read in words writes each in its place (see
      // StagePlan::utf8_words). The few others go to walks.
      const auto three_bytes = [](char32_t code_point) { return code_point - 0x800 < 0xF800; };
      if (three_bytes(child.code_point) && !three_bytes(target)) target = 0;
    }
    std::uint32_t single = kWalk;
    if (target != 0) {
      single = static_cast<std::uint32_t>(child.code_point ^ target);
      if (node.children() != 0) single |= kExtended;
    }
    single_values.set(child.code_point, single);
    if (child.code_point >= 0x800) {
      // Three bytes (no surrogate starts a key): the XOR, below U+10000, as
      // it lies in the bytes.
      const std::uint32_t spread =
          single == kWalk
              ? kWalk
              : (static_cast<std::uint32_t>(utf8_spread_three_pair(single & ~kExtended)) |
                 (single & kExtended));
      three_byte_singles.set(child.code_point, spread);
    }
  }
}

void LexiconTrie::size_edge_filters(std::size_t edges) {
  edge_filter_bits = std::max<std::uint64_t>(64, std::uint64_t{tuning::kFilterBitsPerEdge} * edges);
  edge_filter.resize((edge_filter_bits + 63) / 64);
  pair_filter_words = std::max<std::uint64_t>(1, tuning::kPairFilterBitsPerEdge * edges / 64);
  pair_filter.resize(pair_filter_words);
}

Lexicon::Lexicon() : trie_(std::make_shared<const LexiconTrie>()) {}

LexiconMatch Lexicon::longest_prefix(std::string_view text) const {
  return longest_prefix(text.data(), text.size());
}

std::optional<std::string_view> Lexicon::find(std::string_view key) const {
  const LexiconTrie::Node* node = trie_->find_node(key);
  if (node == nullptr) return std::nullopt;
  if (keys_ == KeySet::kMarked) {
    return node->marked() ? std::optional<std::string_view>(std::string_view()) : std::nullopt;
  }
  if (!node->valued()) return std::nullopt;
  return trie_->value_of(*node);
}

}  // namespace lumo
