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
  const auto by_key = [](const Item& a, const Item& b) { return a.key < b.key; };
  std::vector<std::size_t> run_starts{0};
  for (std::size_t i = 1; i < items_.size(); ++i) {
    if (items_[i].key < items_[i - 1].key) run_starts.push_back(i);
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

  // One item per distinct key: marked if any occurrence was, valued with
  // the value of its last valued occurrence.
  std::size_t kept = 0;
  for (std::size_t i = 0; i < items_.size(); ++i) {
    const Item& item = items_[i];
    if (kept > 0 && items_[kept - 1].key == item.key) {
      Item& merged = items_[kept - 1];
      if (item.roles & kValued) merged.value = item.value;
      merged.roles |= item.roles;
    } else {
      items_[kept++] = item;
    }
  }
  items_.resize(kept);
  std::size_t value_bytes = 0;
  for (const Item& item : items_) {
    if (item.roles & kValued) value_bytes += item.value.size();
  }
  if (value_bytes >= LexiconTrie::kNoValue) throw std::bad_alloc();

  auto trie = std::make_shared<LexiconTrie>();
  trie->values.reserve(value_bytes + LexiconTrie::kValuePadding);
  const auto set_key = [&trie](std::uint32_t index, const Item& item) {
    LexiconTrie::Node& node = trie->nodes[index];
    if (item.roles & kValued) {
      node.value_offset = static_cast<std::uint32_t>(trie->values.size());
      node.value_length = static_cast<std::uint32_t>(item.value.size());
      trie->values.append(item.value);
      ++trie->valued_count;
    }
    if (item.roles & kMarked) {
      node.child_count |= LexiconTrie::kMarked;
      ++trie->marked_count;
    }
  };

  std::size_t begin = 0;
  if (!items_.empty() && items_.front().key.empty()) set_key(0, items_[begin++]);

  // Breadth first over the sorted keys: a node's children are created
  // together, so they form one contiguous block in code-point order.
  struct Pending {
    std::uint32_t node;
    std::size_t begin;
    std::size_t end;
    std::size_t depth;
  };
  std::vector<Pending> queue;
  queue.push_back({0, begin, items_.size(), 0});
  for (std::size_t head = 0; head < queue.size(); ++head) {
    const Pending pending = queue[head];
    const auto first_child = static_cast<std::uint32_t>(trie->children.size());
    std::size_t i = pending.begin;
    while (i < pending.end) {
      const std::string_view key = items_[i].key;
      std::size_t length = 0;
      const char32_t code_point = utf8_decode(key.data() + pending.depth, &length);
      const std::size_t depth = pending.depth + length;
      std::size_t j = i + 1;
      while (j < pending.end && items_[j].key.size() >= depth &&
             std::memcmp(items_[j].key.data() + pending.depth, key.data() + pending.depth,
                         length) == 0) {
        ++j;
      }
      if (trie->nodes.size() >= LexiconTrie::kCountMask) throw std::bad_alloc();
      const auto node = static_cast<std::uint32_t>(trie->nodes.size());
      trie->nodes.emplace_back();
      trie->children.push_back({code_point, node});
      std::size_t rest = i;
      if (key.size() == depth) set_key(node, items_[rest++]);
      if (rest < j) queue.push_back({node, rest, j, depth});
      i = j;
    }
    LexiconTrie::Node& parent = trie->nodes[pending.node];
    parent.first_child = first_child;
    parent.child_count |= static_cast<std::uint32_t>(trie->children.size()) - first_child;
  }
  trie->values.append(LexiconTrie::kValuePadding, '\0');
  trie->index_edges();

  items_.clear();
  return Lexicon(std::move(trie), KeySet::kValued);
}

void insert_dictionary_text(std::string_view text, LexiconBuilder& builder, std::uint8_t roles) {
  DictionaryTextReader reader(text);
  DictionaryEntry entry;
  while (reader.next(entry)) builder.insert(entry.key, entry.values.front(), roles);
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
