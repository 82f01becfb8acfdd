#include "dict/lexicon.h"

#include <algorithm>

#include "dict/utf8.h"

namespace lumo {
namespace {

// Walks `trie` from the root along `text`, recording the longest marked
// and/or valued key met; stops at the first character without a child.
template <bool kMarkedKeys, bool kValuedKeys>
void walk(const LexiconTrie& trie, const char* text, std::size_t size, std::size_t* marked,
          LexiconMatch* valued) {
  std::size_t length = 0;
  std::uint32_t index = trie.root_child(utf8_decode(text, &length));
  std::size_t pos = length;
  while (index != 0) {
    const LexiconTrie::Node& node = trie.nodes[index];
    if (kValuedKeys && node.valued()) *valued = {pos, trie.value_of(node)};
    if (kMarkedKeys && node.marked()) *marked = pos;
    if (node.children() == 0 || pos >= size) break;
    const char32_t code_point = utf8_decode(text + pos, &length);
    if (!trie.may_have_edge(index, code_point)) break;
    index = trie.child(index, code_point);
    pos += length;
  }
}

}  // namespace

LexiconTrie::LexiconTrie()
    : nodes(1), root_page_of(kRootPageCount, 0), root_pages(kRootPageSize, 0), edge_filter(1, 0) {}

std::uint32_t LexiconTrie::child(std::uint32_t index, char32_t code_point) const {
  const Node& node = nodes[index];
  const Child* first = children.data() + node.first_child;
  const Child* last = first + node.children();
  if (node.children() <= 8) {
    for (; first != last; ++first) {
      if (first->code_point >= code_point) {
        return first->code_point == code_point ? first->node : 0;
      }
    }
    return 0;
  }
  const Child* found =
      std::lower_bound(first, last, code_point,
                       [](const Child& child, char32_t cp) { return child.code_point < cp; });
  return found != last && found->code_point == code_point ? found->node : 0;
}

const LexiconTrie::Node* LexiconTrie::find_node(std::string_view key) const {
  std::uint32_t index = 0;
  std::size_t pos = 0;
  while (pos < key.size()) {
    std::size_t length = 0;
    const char32_t code_point = utf8_decode(key.data() + pos, &length);
    index = index == 0 ? root_child(code_point) : child(index, code_point);
    if (index == 0) return nullptr;
    pos += length;
  }
  return &nodes[index];
}

void LexiconTrie::index_edges() {
  const Node& root = nodes[0];
  for (std::uint32_t c = root.first_child; c < root.first_child + root.children(); ++c) {
    const Child& entry = children[c];
    std::uint16_t& page = root_page_of[entry.code_point >> kRootPageBits];
    if (page == 0) {
      page = static_cast<std::uint16_t>(root_pages.size() >> kRootPageBits);
      root_pages.resize(root_pages.size() + kRootPageSize, 0);
    }
    root_pages[(std::size_t{page} << kRootPageBits) | (entry.code_point & (kRootPageSize - 1))] =
        entry.node;
  }

  // One filter bit per 16 bits of edges keeps false positives near 6%.
  const std::size_t edges = children.size() - root.children();
  std::uint32_t filter_bits = 6;
  while ((std::size_t{1} << filter_bits) < edges * 16) ++filter_bits;
  edge_filter_shift = 64 - filter_bits;
  edge_filter.assign(std::size_t{1} << (filter_bits - 6), 0);
  for (std::uint32_t index = 1; index < nodes.size(); ++index) {
    const Node& node = nodes[index];
    for (std::uint32_t c = node.first_child; c < node.first_child + node.children(); ++c) {
      const std::uint64_t bit = edge_hash(index, children[c].code_point);
      edge_filter[bit >> 6] |= std::uint64_t{1} << (bit & 63);
    }
  }
}

Lexicon::Lexicon() : trie_(std::make_shared<const LexiconTrie>()) {}

LexiconMatch Lexicon::longest_valued(const char* text, std::size_t size) const {
  LexiconMatch match;
  walk<false, true>(*trie_, text, size, nullptr, &match);
  return match;
}

std::size_t Lexicon::longest_marked(const char* text, std::size_t size) const {
  std::size_t length = 0;
  walk<true, false>(*trie_, text, size, &length, nullptr);
  return length;
}

LexiconMatch Lexicon::longest_prefix_with(const Lexicon& other, const char* text, std::size_t size,
                                          std::size_t* other_length) const {
  if (keys_ == other.keys_) {
    const LexiconMatch match = longest_prefix(std::string_view(text, size));
    *other_length = match.length;
    return match;
  }
  LexiconMatch valued;
  std::size_t marked = 0;
  walk<true, true>(*trie_, text, size, &marked, &valued);
  if (keys_ == KeySet::kValued) {
    *other_length = marked;
    return valued;
  }
  *other_length = valued.length;
  return {marked, {}};
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
