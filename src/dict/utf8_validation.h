// Checking bytes from outside for UTF-8, as strictly as the interpreter's
// decoder: no overlong forms, no surrogates, nothing past U+10FFFF.
#ifndef LUMO_DICT_UTF8_VALIDATION_H_
#define LUMO_DICT_UTF8_VALIDATION_H_

#include <cstddef>

namespace lumo {

struct Utf8Check {
  // The length of the longest prefix of whole, valid characters.
  std::size_t valid = 0;
  // Past `valid`: true when the rest starts a character the end cut short,
  // which more bytes may complete; false when text[valid] starts an invalid
  // sequence of `bad` bytes (the lead and the continuation bytes that fit
  // it, as the interpreter counts them).
  bool cut_short = false;
  std::size_t bad = 0;
};

// How check_utf8 reads a text: by default in blocks as wide as the
// processor's vector instructions allow; byte by byte, the plain twin of
// the blocks; or in blocks of 16 or of 32 bytes, where the processor has
// the instructions (narrower ones, else). Every way gives the same result.
enum class Utf8Reading { kFastest, kBytes, kBlocksOf16, kBlocksOf32 };

// Checks text[0, size). Thread-safe.
Utf8Check check_utf8(const char* text, std::size_t size,
                     Utf8Reading reading = Utf8Reading::kFastest);

// The instructions check_utf8 reads blocks with for `reading` on this
// processor: "avx2" (32 bytes), "sse2" or "neon" (16 bytes); "bytes" where
// it reads byte by byte. Thread-safe.
const char* utf8_kernel(Utf8Reading reading);

}  // namespace lumo

#endif  // LUMO_DICT_UTF8_VALIDATION_H_
