// Converting a whole text into storage the caller provides: the one entry
// every conversion of a module call goes through.
//
// A long text is cut into pieces that convert independently (see
// text_cuts.h), which are converted at the same time, one per thread; the
// calling thread converts the first. Once all are converted, the caller is
// asked on the calling thread for storage of the result's exact shape
// (its length in code points and the width its largest one needs), and
// each thread then writes its piece there. The result is exactly that of
// one thread.
//
// Threads other than the calling one run nothing that can throw: a
// thread's first C++ exception needs memory for the runtime's thread-local
// data, and where that fails the C library ends the process. Running short
// of memory anywhere is reported as a value.
#ifndef LUMO_ENGINE_WHOLE_WHOLE_CONVERSION_H_
#define LUMO_ENGINE_WHOLE_WHOLE_CONVERSION_H_

#include <algorithm>
#include <cstddef>
#include <functional>

#include "engine/core/converter.h"
#include "engine/whole/result_shape.h"
#include "engine/whole/tuning.h"

namespace lumo {

struct ConversionOptions {
  // The most threads to use; 1 keeps the work on the calling thread.
  std::size_t threads = 1;
  // False follows the converter's plain_plan(), on one thread: the twin of
  // every fast path, for comparing the two.
  bool fast_paths = true;
  // The least units a piece holds; smaller only in tests.
  std::size_t piece_units = tuning::kPieceCharacters;
  // The result in the text's own form (UTF-8 for UTF-8), not as code
  // points of one width.
  bool own_form = false;
};

// Makes storage for a result of `shape`, `shape.characters` code points of
// `shape.width()` bytes each (`shape.units` units of the text's with
// ConversionOptions::own_form), and returns it; or returns nullptr to stop
// the conversion. Called once, on the calling thread.
using ResultStorage = std::function<void*(const ResultShape& shape)>;

enum class ConversionOutcome {
  kConverted,    // the result is in the storage
  kOutOfMemory,  // memory ran short; the storage, if made, holds nothing useful
  kNoStorage,    // the storage function returned nullptr
};

// Whether a text of `size` units may be converted on more than one thread:
// a caller for whom finding the thread count costs something (reading the
// environment) asks only then.
inline bool may_use_threads(std::size_t size, std::size_t piece_units = tuning::kPieceCharacters) {
  return size >= 2 * std::max<std::size_t>(piece_units, 1);
}

// Converts text[0, size), UTF-8 (char), UTF-16 (std::uint16_t) or UTF-32
// (std::uint32_t) holding no lone surrogate, into the storage `storage`
// makes. Throws only std::bad_alloc, and only on the calling thread.
// Thread-safe.
template <typename Unit>
ConversionOutcome convert_whole(const Converter& converter, const Unit* text, std::size_t size,
                                const ConversionOptions& options, const ResultStorage& storage);

}  // namespace lumo

#endif  // LUMO_ENGINE_WHOLE_WHOLE_CONVERSION_H_
