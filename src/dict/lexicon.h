// Lexicon: an immutable character trie answering one question, "which is
// the longest key that is a prefix of this text, and what is its value?".
//
// A Lexicon is a cheap, copyable view of a shared LexiconTrie. A view
// answers either for the trie's valued keys (the usual case) or for its
// marked keys (a segmentation dictionary stored in the same trie as a
// first-stage dictionary; segmentation uses only match lengths, so marked
// matches carry no value). Views are immutable and safe to read from any
// thread.
#ifndef LUMO_DICT_LEXICON_H_
#define LUMO_DICT_LEXICON_H_

#include <cstddef>
#include <memory>
#include <optional>
#include <string_view>

#include "dict/lexicon_trie.h"

namespace lumo {

// The result of a prefix lookup: `length` units of the text matched a key
// whose value is `value`. A length of 0 means no key matched.
struct LexiconMatch {
  std::size_t length = 0;
  std::string_view value;

  explicit operator bool() const { return length != 0; }
};

// A prefix lookup that counted its steps (see Lexicon::counted_longest_prefix).
struct CountedMatch {
  LexiconMatch match;
  std::size_t reached = 0;  // how far the walk read, in units
  bool complete = true;     // false when the budget ran out first
};

// Which keys of its trie a view answers for.
enum class KeySet : unsigned char { kValued, kMarked };

class Lexicon {
 public:
  // An empty lexicon: it never matches.
  Lexicon();
  Lexicon(std::shared_ptr<const LexiconTrie> trie, KeySet keys)
      : trie_(std::move(trie)), keys_(keys) {}

  // Longest key that is a prefix of text[0, size), or an empty match.
  // `text` must be valid UTF-8 (char), UTF-16 (std::uint16_t) or UTF-32
  // (std::uint32_t) starting on a character boundary; the match length is
  // in its units. The root (an empty key) never matches.
  template <typename Unit>
  LexiconMatch longest_prefix(const Unit* text, std::size_t size) const {
    if (size == 0) return {};
    if (keys_ == KeySet::kValued) {
      const LexiconTrie::Walk walk = trie_->walk<WalkedKeys::kValued>(text, size);
      return {walk.valued_length, walk.value};
    }
    return {trie_->walk<WalkedKeys::kMarked>(text, size).marked_length, {}};
  }
  LexiconMatch longest_prefix(std::string_view text) const;

  // longest_prefix(text, size) (size > 0), taking one unit of `*budget`
  // per character the walk visits: incomplete, and its match empty, when
  // the budget runs out first. Also says how far the walk read.
  template <typename Unit>
  CountedMatch counted_longest_prefix(const Unit* text, std::size_t size,
                                      std::size_t* budget) const {
    const bool marked = keys_ == KeySet::kMarked;
    CountedMatch walk;
    std::size_t length = 0;
    const LexiconTrie::Node* node = &trie_->root_entry(decode_char(text, &length));
    std::size_t pos = length;
    while (true) {
      if (*budget == 0) return {{}, pos, false};
      --*budget;
      if (marked ? node->marked() : node->valued()) {
        walk.match = {pos, marked ? std::string_view() : trie_->value_of(*node)};
      }
      walk.reached = pos;
      if (node->children() == 0 || pos >= size) return walk;
      const std::uint32_t index = trie_->child(*node, decode_char(text + pos, &length));
      if (index == 0) return walk;
      node = &trie_->nodes[index];
      pos += length;
    }
  }

  // One walk answering for this view and for `other`, a view of the same
  // trie: returns this view's match and stores the length of `other`'s in
  // `*other_length`. Needs shares_trie_with(other) and a non-empty text.
  template <typename Unit>
  LexiconMatch longest_prefix_with(const Lexicon& other, const Unit* text, std::size_t size,
                                   std::size_t* other_length) const {
    if (keys_ == other.keys_) {
      const LexiconMatch match = longest_prefix(text, size);
      *other_length = match.length;
      return match;
    }
    const LexiconTrie::Walk walk = trie_->walk<WalkedKeys::kBoth>(text, size);
    if (keys_ == KeySet::kValued) {
      *other_length = walk.marked_length;
      return {walk.valued_length, walk.value};
    }
    *other_length = walk.valued_length;
    return {walk.marked_length, {}};
  }

  // The value of exactly `key`, if it is a key of this view (the empty
  // string for a marked key).
  std::optional<std::string_view> find(std::string_view key) const;

  // The same trie answering for its marked keys.
  Lexicon marked_view() const { return Lexicon(trie_, KeySet::kMarked); }
  bool shares_trie_with(const Lexicon& other) const { return trie_ == other.trie_; }
  const LexiconTrie& trie() const { return *trie_; }
  KeySet keys() const { return keys_; }

  // Nodes of the underlying trie (shared by all its views).
  std::size_t node_count() const { return trie_->nodes.size(); }
  // Keys this view answers for, counting the root's value if set.
  std::size_t value_count() const {
    return keys_ == KeySet::kValued ? trie_->valued_count : trie_->marked_count;
  }

 private:
  std::shared_ptr<const LexiconTrie> trie_;
  KeySet keys_ = KeySet::kValued;
};

}  // namespace lumo

#endif  // LUMO_DICT_LEXICON_H_
