#include "dict/trie_assembler.h"

#include <algorithm>
#include <cstring>
#include <new>

#include "dict/long_key_index.h"
#include "dict/tuning.h"
#include "dict/utf8.h"

namespace lumo {

TrieAssembler::TrieAssembler(std::size_t expected_nodes, std::size_t expected_value_bytes)
    : trie_(std::make_shared<LexiconTrie>()) {
  trie_->nodes.reserve(expected_nodes);
  trie_->values.reserve(expected_value_bytes + LexiconTrie::kValuePadding);
  code_points_.reserve(expected_nodes);
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
         is_continuation_byte(static_cast<unsigned char>(key[common]))) {
    --common;  // back to the start of the character that differs
  }
  while (!path_.empty() && path_.back().second > common) path_.pop_back();

  auto& nodes = trie_->nodes;
  if (fixed_room_ && !fits(key.size() - (path_.empty() ? 0 : path_.back().second),
                           (roles & kValued) != 0 ? value.size() : 0)) {
    return false;
  }
  std::uint32_t node = path_.empty() ? 0 : path_.back().first;
  for (std::size_t pos = path_.empty() ? 0 : path_.back().second; pos < key.size();) {
    if (nodes.size() >= LexiconTrie::kCountMask) throw std::bad_alloc();
    std::size_t length = 0;
    const char32_t code_point = utf8_decode(key.data() + pos, &length);
    if (code_point == U'\n') trie_->line_feed_in_keys = true;
    ++nodes[node].child_count;
    if (node == 0) {
      constexpr std::uint32_t kBits = LexiconTrie::kRootPageBits;
      if (root_pages_ == 0) first_root_child_ = code_point;
      root_pages_ += root_pages_ == 0 || code_point >> kBits != last_root_child_ >> kBits;
      last_root_child_ = code_point;
      code_points_.push_back(code_point | kRootChild);
    } else {
      code_points_.push_back(code_point);
    }
    LexiconTrie::Node child;
    child.first_child = node;  // its parent, until laid out
    node = static_cast<std::uint32_t>(nodes.size());
    nodes.push_back(child);
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
  if (empty_) first_ = key;
  empty_ = false;
  previous_ = key;
  return true;
}

void TrieAssembler::fix_room(std::size_t key_bytes) {
  path_.reserve(key_bytes);
  fixed_room_ = true;
}

bool TrieAssembler::fits(std::size_t key_bytes, std::size_t value_bytes) const {
  // A key makes at most one node per byte after the prefix it shares.
  const auto& nodes = trie_->nodes;
  const std::string& values = trie_->values;
  return key_bytes <= nodes.capacity() - nodes.size() &&
         key_bytes <= code_points_.capacity() - code_points_.size() &&
         key_bytes <= path_.capacity() - path_.size() &&
         nodes.capacity() < LexiconTrie::kCountMask &&
         value_bytes <= values.capacity() - values.size() &&
         values.capacity() < LexiconTrie::kNoValue;
}

Lexicon TrieAssembler::finish(SingleValues single_values) {
  TrieJoin join;
  join.size_trie(*this, nullptr);
  join.lay_out(0);
  return join.finish(single_values);
}

bool TrieJoin::plan(TrieAssembler& first, TrieAssembler& second) {
  if (!first.empty_ && !second.empty_) {
    // The first character of the last key of the first against that of the
    // first key of the second; UTF-8 byte order is code-point order.
    const std::string_view last = first.previous_;
    if (last.empty() || second.first_.empty()) return false;
    const std::string_view character =
        last.substr(0, utf8_sequence_length(static_cast<unsigned char>(last[0])));
    if (!(character < second.first_.substr(0, character.size()))) return false;
  }
  size_trie(first, &second);
  return true;
}

void TrieJoin::size_trie(TrieAssembler& first, TrieAssembler* second) {
  LexiconTrie& trie = *first.trie_;
  const std::size_t first_nodes = trie.nodes.size();
  const std::size_t second_nodes = second != nullptr ? second->trie_->nodes.size() - 1 : 0;
  const std::size_t nodes = first_nodes + second_nodes;
  const std::size_t second_values = second != nullptr ? second->trie_->values.size() : 0;
  if (nodes > LexiconTrie::kCountMask ||
      trie.values.size() + second_values >= LexiconTrie::kNoValue) {
    throw std::bad_alloc();
  }
  const std::size_t first_root_children = trie.nodes[0].children();
  const std::size_t root_children =
      first_root_children + (second != nullptr ? second->trie_->nodes[0].children() : 0);
  parts_[0] = {&first, 0, 0, 0, static_cast<std::uint32_t>(root_children), nullptr};
  std::uint32_t pages = first.root_pages_;
  if (second != nullptr) {
    const LexiconTrie& other = *second->trie_;
    parts_[1] = {second,
                 static_cast<std::uint32_t>(first_nodes - 1),
                 static_cast<std::uint32_t>(trie.values.size()),
                 static_cast<std::uint32_t>(first_root_children),
                 static_cast<std::uint32_t>(root_children + first_nodes - 1 - first_root_children),
                 nullptr};
    if (second->root_pages_ != 0) {
      // The two parts' root children may share the page where they meet.
      const char32_t first_root_child = second->first_root_child_;
      Part& part = parts_[1];
      part.page_shared =
          first.root_pages_ != 0 && first.last_root_child_ >> LexiconTrie::kRootPageBits ==
                                        first_root_child >> LexiconTrie::kRootPageBits;
      part.first_page = 1 + pages - (part.page_shared ? 1 : 0);
      if (part.page_shared) {
        part.from = first_root_child;
        parts_[0].to = first_root_child;
      }
      pages = part.first_page + second->root_pages_ - 1;
    }
    trie.nodes.resize(nodes);
    trie.values.append(other.values);
    trie.valued_count += other.valued_count;
    trie.marked_count += other.marked_count;
    trie.max_key_bytes = std::max(trie.max_key_bytes, other.max_key_bytes);
    trie.line_feed_in_keys = trie.line_feed_in_keys || other.line_feed_in_keys;
  }
  trie.nodes[0].child_count += static_cast<std::uint32_t>(root_children - first_root_children);
  trie.root_table.resize(std::size_t{1 + pages} << LexiconTrie::kRootPageBits);
  root_page_of_ = trie.root_page_of.writable();
  trie.children.resize(nodes - 1);
  trie.size_edge_filters(nodes - 1 - root_children);
  parts_[0].filter = trie.edge_filter.data();
  parts_[0].pair_filter = trie.pair_filter.data();
  // Allocated here, on the thread that frees them, but cleared and written
  // by the second.
  if (second != nullptr) {
    second_filter_.resize(trie.edge_filter.size());
    second_pair_filter_.resize(trie.pair_filter.size());
    parts_[1].filter = second_filter_.data();
    parts_[1].pair_filter = second_pair_filter_.data();
  }
}

void TrieJoin::lay_out(std::size_t which) {
  const Part& part = parts_[which];
  TrieAssembler& assembler = *part.assembler;
  LexiconTrie& trie = *parts_[0].assembler->trie_;
  std::fill_n(part.filter, trie.edge_filter.size(), 0);
  std::fill_n(part.pair_filter, trie.pair_filter.size(), 0);
  const std::size_t count = assembler.code_points_.size();  // its nodes, its root included
  const LexiconTrie::Node* const source = assembler.trie_->nodes.data();
  const std::uint32_t shift = part.node_shift;
  LexiconTrie::Node* const nodes = trie.nodes.data();
  const char32_t* const code_points = assembler.code_points_.data();
  LexiconTrie::Child* const children = trie.children.data();
  // Nodes come after their parents. Each node's first_child holds its
  // parent until the node's turn, which files it in its parent's block
  // (whose first_child serves as fill cursor) and gives it its own block;
  // the cursors are moved back afterwards. The first part is laid out in
  // place; the second is moved in.
  std::uint32_t root_slot = part.root_slot;
  std::uint32_t offset = part.edge_base;
  const auto file = [&](std::size_t index, std::uint32_t parent) {
    const auto child = static_cast<std::uint32_t>(index + shift);
    if (parent == 0) {
      children[root_slot++] = {code_points[index] & ~TrieAssembler::kRootChild, child};
    } else {
      const char32_t code_point = code_points[index];
      const char32_t above = code_points[parent];
      parent += shift;
      children[nodes[parent].first_child++] = {code_point, child};
      if ((above & TrieAssembler::kRootChild) != 0) {
        const LexiconTrie::PairBits bits =
            trie.pair_bits(above & ~TrieAssembler::kRootChild, code_point);
        part.pair_filter[bits.word] |= bits.mask;
      } else {
        const std::uint64_t bit = trie.edge_bit(LexiconTrie::edge_key(parent, code_point));
        part.filter[bit >> 6] |= std::uint64_t{1} << (bit & 63);
      }
    }
  };
  if (which == 0) {
    for (std::size_t index = 1; index < count; ++index) {
      LexiconTrie::Node& node = nodes[index];
      file(index, node.first_child);
      node.first_child = offset;
      offset += node.children();
    }
  } else {
    for (std::size_t index = 1; index < count; ++index) {
      LexiconTrie::Node node = source[index];
      file(index, node.first_child);
      if (node.valued()) node.value_offset += part.value_shift;
      node.first_child = offset;
      offset += node.children();
      nodes[index + shift] = node;
    }
  }
  for (std::size_t index = 1; index < count; ++index) {
    nodes[index + shift].first_child -= nodes[index + shift].children();
  }
  fill_root_table(part, trie, root_slot - part.root_slot);
}

void TrieJoin::fill_root_table(const Part& part, LexiconTrie& trie, std::uint32_t count) {
  constexpr std::uint32_t kBits = LexiconTrie::kRootPageBits;
  constexpr std::uint32_t kSize = LexiconTrie::kRootPageSize;
  const LexiconTrie::Child* const root_children = trie.children.data() + part.root_slot;
  LexiconTrie::Node* const table = trie.root_table.data();
  std::uint32_t page = part.first_page - 1;
  for (std::uint32_t i = 0; i < count; ++i) {
    const char32_t code_point = root_children[i].code_point;
    if (i == 0 || code_point >> kBits != root_children[i - 1].code_point >> kBits) {
      // A new page: numbered, and its slots within the part's range emptied.
      ++page;
      if (i != 0 || !part.page_shared) {
        root_page_of_[code_point >> kBits] = static_cast<std::uint16_t>(page);
      }
      const char32_t start = code_point & ~(kSize - 1);
      const char32_t from = std::max(start, part.from);
      const char32_t to = std::min<char32_t>(start + kSize, part.to);
      std::fill(table + (std::size_t{page} << kBits) + (from - start),
                table + (std::size_t{page} << kBits) + (to - start), LexiconTrie::Node{});
    }
    table[(std::size_t{page} << kBits) | (code_point & (kSize - 1))] =
        trie.nodes[root_children[i].node];
  }
}

Lexicon TrieJoin::finish(SingleValues single_values) {
  LexiconTrie& trie = *parts_[0].assembler->trie_;
  for (std::size_t i = 0; i < second_filter_.size(); ++i) trie.edge_filter[i] |= second_filter_[i];
  for (std::size_t i = 0; i < second_pair_filter_.size(); ++i) {
    trie.pair_filter[i] |= second_pair_filter_[i];
  }
  const std::uint32_t root_children = trie.nodes[0].children();
  for (std::uint32_t slot = 0; slot < root_children; ++slot) {
    trie.mark_key_start(trie.children[slot].code_point);
  }
  // Page numbers were written for the root's children alone, which are
  // sorted by code point.
  if (root_children != 0) {
    trie.root_page_of.written(
        trie.children[0].code_point >> LexiconTrie::kRootPageBits,
        (trie.children[root_children - 1].code_point >> LexiconTrie::kRootPageBits) + 1);
  } else {
    trie.root_page_of.written(0, 0);
  }
  trie.values.append(LexiconTrie::kValuePadding, '\0');
  if (single_values != SingleValues::kNone) {
    trie.index_single_values(single_values == SingleValues::kMarkedToo);
  }
  if (trie.max_key_bytes > tuning::kLongKeyBytes)
    trie.long_keys = std::make_shared<LongKeyIndex>(trie);
  return Lexicon(std::move(parts_[0].assembler->trie_), KeySet::kValued);
}

}  // namespace lumo
