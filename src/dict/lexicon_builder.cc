#include "dict/lexicon_builder.h"

#include <algorithm>
#include <array>
#include <cstring>
#include <memory>
#include <new>
#include <span>

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

Lexicon LexiconBuilder::finish(SingleValues single_values) {
  sort_items();
  std::size_t key_bytes = 0;
  std::size_t value_bytes = 0;
  for (const Item& item : items_) {
    key_bytes += item.key_size;
    value_bytes += item.value().size();
  }
  // About the node count of keys in CJK characters (three bytes each).
  TrieAssembler assembler(key_bytes / 3 + 1, value_bytes);
  for (const Item& item : items_)
    assembler.add(item.key(), item.value(), item.roles());  // in order
  items_.clear();
  return assembler.finish(single_values);
}

namespace {

// Reads the entries of one text, one at a time.
struct TextCursor {
  std::string_view rest;
  std::uint8_t roles;
  std::string_view key;
  std::string_view value;
  // The key's first eight bytes as a big-endian number, zero-padded: when
  // two of these differ they order their keys.
  std::uint64_t prefix = 0;
  bool has_entry = false;

  void advance() {
    has_entry = next_key_and_first_value(rest, key, value);
    prefix = 0;
    const std::size_t size = std::min<std::size_t>(key.size(), 8);
    for (std::size_t i = 0; i < size; ++i)
      prefix |= std::uint64_t{static_cast<unsigned char>(key[i])} << (56 - 8 * i);
  }

  bool before(const TextCursor& other) const {
    return prefix != other.prefix ? prefix < other.prefix : key < other.key;
  }
};

// The start of the first line that begins at or after `offset` in `text`.
std::size_t line_start_from(std::string_view text, std::size_t offset) {
  if (offset == 0) return 0;
  const std::size_t lf = text.find('\n', offset - 1);
  return lf == std::string_view::npos ? text.size() : lf + 1;
}

// The key of the first entry of `text` from `offset` on; false if none.
bool key_from(std::string_view text, std::size_t offset, std::string_view& key) {
  std::string_view rest = text.substr(offset);
  std::string_view value;
  return next_key_and_first_value(rest, key, value);
}

}  // namespace

std::size_t text_bytes(const std::vector<TextSource>& sources) {
  std::size_t total = 0;
  for (const TextSource& source : sources) total += source.text.size();
  return total;
}

bool add_sorted_texts(const std::vector<TextSource>& sources, TrieAssembler& assembler) {
  // The texts of one lexicon are few: their cursors stay on the stack, so
  // that this allocates nothing beyond what the assembler does.
  constexpr std::size_t kStackCursors = 16;
  std::array<TextCursor, kStackCursors> on_stack;
  std::vector<TextCursor> on_heap;
  std::span<TextCursor> cursors(on_stack.data(), sources.size());
  if (sources.size() > kStackCursors) {
    on_heap.resize(sources.size());
    cursors = on_heap;
  }
  for (std::size_t i = 0; i < sources.size(); ++i) {
    cursors[i] = {sources[i].text, sources[i].roles, {}, {}};
    cursors[i].advance();
  }
  // Equal keys are taken in text order, so the later text's value stands,
  // as in the texts' concatenation. The merged keys come in order exactly
  // when every text is sorted.
  while (true) {
    TextCursor* next = nullptr;
    for (TextCursor& cursor : cursors) {
      if (cursor.has_entry && (next == nullptr || cursor.before(*next))) next = &cursor;
    }
    if (next == nullptr) return true;
    if (!assembler.add(next->key, next->value, next->roles)) return false;
    next->advance();
  }
}

std::optional<SplitTexts> split_sorted_texts(const std::vector<TextSource>& sources) {
  const auto largest = std::max_element(
      sources.begin(), sources.end(),
      [](const TextSource& a, const TextSource& b) { return a.text.size() < b.text.size(); });
  std::string_view middle;
  if (largest == sources.end() ||
      !key_from(largest->text, line_start_from(largest->text, largest->text.size() / 2), middle) ||
      middle.empty()) {
    return std::nullopt;
  }
  SplitTexts split;
  split.at = middle.substr(0, utf8_sequence_length(static_cast<unsigned char>(middle[0])));
  for (const TextSource& source : sources) {
    // The first line from which the next entry, if any, is not before
    // `at`: found by bisection, which the texts' order allows.
    const std::string_view text = source.text;
    std::size_t low = 0;
    std::size_t high = text.size();
    while (low < high) {
      const std::size_t mid = low + (high - low) / 2;
      std::string_view key;
      if (!key_from(text, line_start_from(text, mid), key) || !(key < split.at)) {
        high = mid;
      } else {
        low = mid + 1;
      }
    }
    const std::size_t cut = line_start_from(text, low);
    split.before.push_back({text.substr(0, cut), source.roles});
    split.after.push_back({text.substr(cut), source.roles});
  }
  return split;
}

Lexicon lexicon_from_texts(const std::vector<TextSource>& sources, SingleValues single_values) {
  const std::size_t total = text_bytes(sources);
  TrieAssembler assembler = TrieAssembler::for_text_bytes(total);
  if (add_sorted_texts(sources, assembler)) return assembler.finish(single_values);
  // A text out of order: gather every entry and sort them.
  LexiconBuilder builder;
  builder.reserve(total / 16 + 1);
  for (const TextSource& source : sources)
    insert_dictionary_text(source.text, builder, source.roles);
  return builder.finish(single_values);
}

void insert_dictionary_text(std::string_view text, LexiconBuilder& builder, std::uint8_t roles) {
  std::string_view key;
  std::string_view value;
  while (next_key_and_first_value(text, key, value)) builder.insert(key, value, roles);
}

Lexicon lexicon_from_pairs(const KeyValuePairs& pairs) {
  LexiconBuilder builder;
  builder.reserve(pairs.size());
  for (const auto& [key, value] : pairs) builder.insert(key, value);
  return builder.finish();
}

}  // namespace lumo
