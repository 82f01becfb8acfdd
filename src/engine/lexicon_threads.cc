#include "engine/lexicon_threads.h"

#include <array>
#include <optional>

#include "dict/trie_assembler.h"
#include "engine/worker_threads.h"

namespace lumo {

Lexicon lexicon_from_texts_on_two_threads(const std::vector<TextSource>& texts,
                                          SingleValues single_values) {
  std::optional<SplitTexts> split = split_sorted_texts(texts);
  if (!split) return lexicon_from_texts(texts, single_values);
  // Each thread's assembler on cache lines of its own (both change their
  // members at every key) and made by its thread. The first one's trie
  // takes in the whole.
  struct alignas(64) Share {
    const std::vector<TextSource>* texts;
    std::size_t text_bytes;
    std::optional<TrieAssembler> assembler;
    bool sorted = false;
  };
  std::array<Share, 2> shares{Share{&split->before, text_bytes(texts), {}},
                              Share{&split->after, text_bytes(split->after), {}}};
  TrieJoin join;
  bool joined = false;
  run_in_two_phases(
      2,
      [&](std::size_t i) {
        Share& share = shares[i];
        share.assembler.emplace(TrieAssembler::for_text_bytes(share.text_bytes));
        share.sorted = add_sorted_texts(*share.texts, *share.assembler);
      },
      [&] {
        joined = shares[0].sorted && shares[1].sorted &&
                 join.plan(*shares[0].assembler, *shares[1].assembler);
        return joined;
      },
      [&](std::size_t i) { join.lay_out(i); });
  return joined ? join.finish(single_values) : lexicon_from_texts(texts, single_values);
}

}  // namespace lumo
