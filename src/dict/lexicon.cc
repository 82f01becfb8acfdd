#include "dict/lexicon.h"

#include <algorithm>
#include <cstring>
#include <new>

#include "dict/text_reader.h"
#include "dict/utf8.h"

namespace lumo {

Lexicon::Lexicon() : nodes_(1), root_page_of_(kRootPageCount, 0), root_pages_(kRootPageSize, 0) {}

std::uint32_t Lexicon::child(const Node& node, char32_t code_point) const {
  const Child* first = children_.data() + node.first_child;
  const Child* last = first + node.child_count;
  if (node.child_count <= 8) {
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

LexiconMatch Lexicon::longest_prefix_nonempty(const char* text, std::size_t size) const {
  std::size_t length = 0;
  std::uint32_t index = root_child(utf8_decode(text, &length));
  LexiconMatch best;
  std::size_t pos = length;
  while (index != 0) {
    const Node& node = nodes_[index];
    if (node.value_offset != kNoValue) best = {pos, value_of(node)};
    if (node.child_count == 0 || pos >= size) break;
    const char32_t code_point = utf8_decode(text + pos, &length);
    if (!may_have_edge(index, code_point)) break;
    index = child(node, code_point);
    pos += length;
  }
  return best;
}

std::optional<std::string_view> Lexicon::find(std::string_view key) const {
  std::uint32_t index = 0;
  std::size_t pos = 0;
  while (pos < key.size()) {
    std::size_t length = 0;
    const char32_t code_point = utf8_decode(key.data() + pos, &length);
    index = index == 0 ? root_child(code_point) : child(nodes_[index], code_point);
    if (index == 0) return std::nullopt;
    pos += length;
  }
  const Node& node = nodes_[index];
  if (node.value_offset == kNoValue) return std::nullopt;
  return value_of(node);
}

void LexiconBuilder::sort_items() {
  // Dictionary texts are sorted, and a merged group concatenates a few of
  // them, so the items usually form a handful of sorted runs: merge those
  // instead of sorting from scratch. Merges and the fallback are stable, so
  // equal keys keep their insertion order.
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
      const std::size_t end = r + 2 < run_starts.size() ? run_starts[r + 2] : run_starts[r + 1];
      if (r + 2 < run_starts.size()) {
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

  // Keep the last item of each run of equal keys.
  std::size_t kept = 0;
  std::size_t value_bytes = 0;
  for (std::size_t i = 0; i < items_.size(); ++i) {
    if (kept > 0 && items_[kept - 1].key == items_[i].key) {
      value_bytes -= items_[kept - 1].value.size();
      items_[kept - 1] = items_[i];
    } else {
      items_[kept++] = items_[i];
    }
    value_bytes += items_[i].value.size();
  }
  items_.resize(kept);
  if (value_bytes >= Lexicon::kNoValue) throw std::bad_alloc();

  Lexicon lexicon;
  lexicon.values_.reserve(value_bytes);
  const auto set_value = [&lexicon](std::uint32_t node, std::string_view value) {
    Lexicon::Node& target = lexicon.nodes_[node];
    target.value_offset = static_cast<std::uint32_t>(lexicon.values_.size());
    target.value_length = static_cast<std::uint32_t>(value.size());
    lexicon.values_.append(value);
    ++lexicon.value_count_;
  };

  std::size_t begin = 0;
  if (!items_.empty() && items_.front().key.empty()) set_value(0, items_[begin++].value);

  // Breadth-first over sorted keys: every node's children are created
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
    const auto first_child = static_cast<std::uint32_t>(lexicon.children_.size());
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
      if (lexicon.nodes_.size() >= Lexicon::kNoValue) throw std::bad_alloc();
      const auto node = static_cast<std::uint32_t>(lexicon.nodes_.size());
      lexicon.nodes_.emplace_back();
      lexicon.children_.push_back({code_point, node});
      std::size_t rest = i;
      if (key.size() == depth) set_value(node, items_[rest++].value);
      if (rest < j) queue.push_back({node, rest, j, depth});
      i = j;
    }
    Lexicon::Node& parent = lexicon.nodes_[pending.node];
    parent.first_child = first_child;
    parent.child_count = static_cast<std::uint32_t>(lexicon.children_.size()) - first_child;
  }

  // Direct index of the root's children.
  const Lexicon::Node& root = lexicon.nodes_[0];
  for (std::uint32_t c = root.first_child; c < root.first_child + root.child_count; ++c) {
    const Lexicon::Child& child = lexicon.children_[c];
    std::uint16_t& page = lexicon.root_page_of_[child.code_point >> Lexicon::kRootPageBits];
    if (page == 0) {
      page = static_cast<std::uint16_t>(lexicon.root_pages_.size() >> Lexicon::kRootPageBits);
      lexicon.root_pages_.resize(lexicon.root_pages_.size() + Lexicon::kRootPageSize, 0);
    }
    lexicon.root_pages_[(std::size_t{page} << Lexicon::kRootPageBits) |
                        (child.code_point & (Lexicon::kRootPageSize - 1))] = child.node;
  }

  // One filter bit per 16 bits of edges keeps false positives near 6%.
  const Lexicon::Node& root_node = lexicon.nodes_[0];
  const std::size_t edges = lexicon.children_.size() - root_node.child_count;
  std::uint32_t filter_bits = 6;
  while ((std::size_t{1} << filter_bits) < edges * 16) ++filter_bits;
  lexicon.edge_filter_shift_ = 64 - filter_bits;
  lexicon.edge_filter_.assign(std::size_t{1} << (filter_bits - 6), 0);
  for (std::uint32_t node = 1; node < lexicon.nodes_.size(); ++node) {
    const Lexicon::Node& parent = lexicon.nodes_[node];
    for (std::uint32_t c = parent.first_child; c < parent.first_child + parent.child_count; ++c) {
      const std::uint64_t bit = lexicon.edge_hash(node, lexicon.children_[c].code_point);
      lexicon.edge_filter_[bit >> 6] |= std::uint64_t{1} << (bit & 63);
    }
  }

  items_.clear();
  return lexicon;
}

void insert_dictionary_text(std::string_view text, LexiconBuilder& builder) {
  DictionaryTextReader reader(text);
  DictionaryEntry entry;
  while (reader.next(entry)) builder.insert(entry.key, entry.values.front());
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
