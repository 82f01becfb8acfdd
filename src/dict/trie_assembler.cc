#include "dict/trie_assembler.h"

#include <algorithm>
#include <cstring>
#include <new>

#include "dict/utf8.h"

namespace lumo {

TrieAssembler::TrieAssembler(std::size_t expected_nodes, std::size_t expected_value_bytes)
    : trie_(std::make_shared<LexiconTrie>()) {
  trie_->nodes.reserve(expected_nodes);
  trie_->values.reserve(expected_value_bytes + LexiconTrie::kValuePadding);
  parents_.reserve(expected_nodes);
  code_points_.reserve(expected_nodes);
  parents_.push_back(0);
  code_points_.push_back(0);
}

bool TrieAssembler::add(std::string_view key, std::string_view value, std::uint8_t roles) {
  const std::size_t limit = std::min(previous_.size(), key.size());
  std::size_t common = 0;
  while (common + 8 <= limit) {  // eight bytes at a time, then one by one
    std::uint64_t a;
    std::uint64_t b;
    std::memcpy(&a, previous_.data() + common, 8);
    std::memcpy(&b, key.data() + common, 8);
    if (a != b) break;
    common += 8;
  }
  while (common < limit && previous_[common] == key[common]) ++common;
  if (common == limit ? key.size() < previous_.size()
                      : static_cast<unsigned char>(key[common]) <
                            static_cast<unsigned char>(previous_[common])) {
    return false;
  }
  while (common > 0 && common < key.size() &&
         (static_cast<unsigned char>(key[common]) & 0xC0) == 0x80) {
    --common;  // back to the start of the character that differs
  }
  while (!path_.empty() && path_.back().second > common) path_.pop_back();

  std::vector<LexiconTrie::Node>& nodes = trie_->nodes;
  std::uint32_t node = path_.empty() ? 0 : path_.back().first;
  for (std::size_t pos = path_.empty() ? 0 : path_.back().second; pos < key.size();) {
    if (nodes.size() >= LexiconTrie::kCountMask) throw std::bad_alloc();
    std::size_t length = 0;
    const char32_t code_point = utf8_decode(key.data() + pos, &length);
    if (code_point == U'\n') trie_->line_feed_in_keys = true;
    parents_.push_back(node);
    code_points_.push_back(code_point);
    node = static_cast<std::uint32_t>(nodes.size());
    nodes.emplace_back();
    pos += length;
    path_.emplace_back(node, pos);
  }

  LexiconTrie::Node& target = nodes[node];
  if (roles & kValued) {
    if (trie_->values.size() + value.size() >= LexiconTrie::kNoValue) throw std::bad_alloc();
    trie_->valued_count += target.valued() ? 0 : 1;
    target.value_offset = static_cast<std::uint32_t>(trie_->values.size());
    target.value_length = static_cast<std::uint32_t>(value.size());
    trie_->values.append(value);
  }
  if ((roles & kMarked) && !target.marked()) {
    target.child_count |= LexiconTrie::kMarked;
    ++trie_->marked_count;
  }
  trie_->max_key_bytes = std::max(trie_->max_key_bytes, key.size());
  previous_ = key;
  return true;
}

Lexicon TrieAssembler::finish() {
  LexiconTrie& trie = *trie_;
  std::vector<LexiconTrie::Node>& nodes = trie.nodes;
  for (std::size_t index = 1; index < nodes.size(); ++index) ++nodes[parents_[index]].child_count;
  std::uint32_t offset = 0;
  for (LexiconTrie::Node& node : nodes) {
    node.first_child = offset;
    offset += node.children();
  }
  trie.children.resize(offset);
  trie.prepare_edge_index(offset - nodes[0].children());
  // first_child serves as each block's fill cursor, then is moved back.
  for (std::size_t index = 1; index < nodes.size(); ++index) {
    const auto child = static_cast<std::uint32_t>(index);
    trie.children[nodes[parents_[index]].first_child++] = {code_points_[index], child};
    trie.index_edge(parents_[index], code_points_[index], child);
  }
  for (LexiconTrie::Node& node : nodes) node.first_child -= node.children();
  trie.values.append(LexiconTrie::kValuePadding, '\0');
  return Lexicon(std::move(trie_), KeySet::kValued);
}

}  // namespace lumo
