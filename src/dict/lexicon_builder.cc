#include "dict/lexicon_builder.h"

#include <algorithm>
#include <cstring>
#include <memory>
#include <new>

#include "dict/text_reader.h"
#include "dict/utf8.h"

namespace lumo {

void LexiconBuilder::sort_items() {
  // Merges and the fallback are stable, so equal keys keep their insertion
  // order.
  const auto by_key = [](const Item& a, const Item& b) { return a.key() < b.key(); };
  std::vector<std::size_t> run_starts{0};
  for (std::size_t i = 1; i < items_.size(); ++i) {
    if (by_key(items_[i], items_[i - 1])) run_starts.push_back(i);
  }
  if (run_starts.size() == 1) return;
  if (run_starts.size() > 32) {
    std::stable_sort(items_.begin(), items_.end(), by_key);
    return;
  }
  run_starts.push_back(items_.size());
  while (run_starts.size() > 2) {
    std::vector<std::size_t> merged{0};
    for (std::size_t r = 0; r + 1 < run_starts.size(); r += 2) {
      const bool pair = r + 2 < run_starts.size();
      const std::size_t end = pair ? run_starts[r + 2] : run_starts[r + 1];
      if (pair) {
        std::inplace_merge(items_.begin() + static_cast<std::ptrdiff_t>(run_starts[r]),
                           items_.begin() + static_cast<std::ptrdiff_t>(run_starts[r + 1]),
                           items_.begin() + static_cast<std::ptrdiff_t>(end), by_key);
      }
      merged.push_back(end);
    }
    run_starts = std::move(merged);
  }
}

Lexicon LexiconBuilder::finish() {
  sort_items();

  std::size_t value_bytes = 0;
  std::size_t key_bytes = 0;
  for (const Item& item : items_) {
    if (item.roles() & kValued) value_bytes += item.value().size();
    key_bytes += item.key_size;
  }
  // About the node count of keys in CJK characters (three bytes each).
  const std::size_t expected_nodes = key_bytes / 3 + 1;
  if (value_bytes >= LexiconTrie::kNoValue) throw std::bad_alloc();

  auto trie = std::make_shared<LexiconTrie>();
  trie->values.reserve(value_bytes + LexiconTrie::kValuePadding);
  trie->nodes.reserve(expected_nodes);
  // A key met again (only ever right after itself, the sort being stable)
  // takes the later value and keeps any mark.
  const auto set_key = [&trie](std::uint32_t index, const Item& item) {
    LexiconTrie::Node& node = trie->nodes[index];
    if (item.roles() & kValued) {
      trie->valued_count += node.valued() ? 0 : 1;
      node.value_offset = static_cast<std::uint32_t>(trie->values.size());
      node.value_length = static_cast<std::uint32_t>(item.value().size());
      trie->values.append(item.value());
    }
    if ((item.roles() & kMarked) && !node.marked()) {
      node.child_count |= LexiconTrie::kMarked;
      ++trie->marked_count;
    }
  };

  // One pass over the sorted keys, each sharing its longest common prefix
  // with the one before: only the characters after it make new nodes.
  // `path` holds the nodes of the previous key's characters with the byte
  // offset where each character ends.
  std::vector<std::uint32_t> parents;  // per node
  std::vector<char32_t> code_points;   // per node: the character leading to it
  parents.reserve(expected_nodes);
  code_points.reserve(expected_nodes);
  parents.push_back(0);
  code_points.push_back(0);
  std::vector<std::pair<std::uint32_t, std::size_t>> path;
  std::string_view previous;
  for (const Item& item : items_) {
    const std::string_view key = item.key();
    const std::size_t limit = std::min(previous.size(), key.size());
    std::size_t common = 0;
    while (common + 8 <= limit) {  // eight bytes at a time, then one by one
      std::uint64_t a;
      std::uint64_t b;
      std::memcpy(&a, previous.data() + common, 8);
      std::memcpy(&b, key.data() + common, 8);
      if (a != b) break;
      common += 8;
    }
    while (common < limit && previous[common] == key[common]) ++common;
    while (common > 0 && common < key.size() &&
           (static_cast<unsigned char>(key[common]) & 0xC0) == 0x80) {
      --common;  // back to the start of the character that differs
    }
    while (!path.empty() && path.back().second > common) path.pop_back();
    std::uint32_t node = path.empty() ? 0 : path.back().first;
    for (std::size_t pos = path.empty() ? 0 : path.back().second; pos < key.size();) {
      if (trie->nodes.size() >= LexiconTrie::kCountMask) throw std::bad_alloc();
      std::size_t length = 0;
      const char32_t code_point = utf8_decode(key.data() + pos, &length);
      parents.push_back(node);
      code_points.push_back(code_point);
      node = static_cast<std::uint32_t>(trie->nodes.size());
      trie->nodes.emplace_back();
      pos += length;
      path.emplace_back(node, pos);
    }
    set_key(node, item);
    previous = key;
  }

  // Lay every node's children out as one block. Nodes were made in key
  // order, so each block comes out sorted by code point.
  std::vector<LexiconTrie::Node>& nodes = trie->nodes;
  for (std::size_t index = 1; index < nodes.size(); ++index) ++nodes[parents[index]].child_count;
  std::uint32_t offset = 0;
  for (LexiconTrie::Node& node : nodes) {
    node.first_child = offset;
    offset += node.children();
  }
  trie->children.resize(offset);
  trie->prepare_edge_index(offset - nodes[0].children());
  // first_child serves as each block's fill cursor, then is moved back.
  for (std::size_t index = 1; index < nodes.size(); ++index) {
    const auto child = static_cast<std::uint32_t>(index);
    trie->children[nodes[parents[index]].first_child++] = {code_points[index], child};
    trie->index_edge(parents[index], code_points[index], child);
  }
  for (LexiconTrie::Node& node : nodes) node.first_child -= node.children();
  trie->values.append(LexiconTrie::kValuePadding, '\0');

  items_.clear();
  return Lexicon(std::move(trie), KeySet::kValued);
}

void insert_dictionary_text(std::string_view text, LexiconBuilder& builder, std::uint8_t roles) {
  std::string_view line;
  std::string_view key;
  std::string_view value;
  while (next_dictionary_line(text, line)) {
    if (parse_key_and_first_value(line, key, value)) builder.insert(key, value, roles);
  }
}

Lexicon lexicon_from_text(std::string_view text) {
  LexiconBuilder builder;
  // The built-in texts hold about one entry per 20 bytes.
  builder.reserve(text.size() / 16 + 1);
  insert_dictionary_text(text, builder);
  return builder.finish();
}

Lexicon lexicon_from_pairs(const KeyValuePairs& pairs) {
  LexiconBuilder builder;
  builder.reserve(pairs.size());
  for (const auto& [key, value] : pairs) builder.insert(key, value);
  return builder.finish();
}

}  // namespace lumo
