#include "engine/config/lexicon_threads.h"

#include <array>
#include <optional>

#include "dict/trie_assembler.h"
#include "engine/whole/worker_threads.h"

namespace lumo {

Lexicon lexicon_from_texts_on_two_threads(const std::vector<TextSource>& texts,
                                          SingleValues single_values) {
  std::optional<SplitTexts> split = split_sorted_texts(texts);
  if (!split) return lexicon_from_texts(texts, single_values);
  // Each thread's assembler on cache lines of its own (both change their
  // members at every key). The first one's trie takes in the whole. Both
  // are made here: the second thread, which must not throw, only fills the
  // room its assembler was given, and where that is too little the whole
  // is built again on this thread.
  struct alignas(64) Share {
    const std::vector<TextSource>* texts;
    std::optional<TrieAssembler> assembler;
    bool sorted = false;
  };
  std::array<Share, 2> shares{Share{&split->before, {}}, Share{&split->after, {}}};
  shares[0].assembler.emplace(TrieAssembler::for_text_bytes(text_bytes(texts)));
  shares[1].assembler.emplace(TrieAssembler::for_text_bytes(text_bytes(split->after)));
  shares[1].assembler->fix_room(kFixedRoomKeyBytes);
  TrieJoin join;
  bool joined = false;
  run_in_two_phases(
      2,
      [&](std::size_t i) {
        Share& share = shares[i];
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
