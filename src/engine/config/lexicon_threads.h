// Building one large lexicon on two threads.
#ifndef LUMO_ENGINE_CONFIG_LEXICON_THREADS_H_
#define LUMO_ENGINE_CONFIG_LEXICON_THREADS_H_

#include <vector>

#include "dict/lexicon_builder.h"

namespace lumo {

// Room for the path of keys this long on the second thread, whose room is
// fixed before it starts: longer than any built-in key.
inline constexpr std::size_t kFixedRoomKeyBytes = 256;

// The lexicon_from_texts() of `texts` and `single_values`, built on two threads: each reads the
// keys on one side of a character in the middle of the largest text, and
// lays out its half of the trie. The trie is node for node the one a single
// thread builds. Texts out of order, or a half that does not fit the room
// the second thread is given, are built on the calling thread alone.
Lexicon lexicon_from_texts_on_two_threads(const std::vector<TextSource>& texts,
                                          SingleValues single_values = SingleValues::kNone);

}  // namespace lumo

#endif  // LUMO_ENGINE_CONFIG_LEXICON_THREADS_H_
