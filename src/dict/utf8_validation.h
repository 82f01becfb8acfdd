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

// Checks text[0, size).
Utf8Check check_utf8(const char* text, std::size_t size);

}  // namespace lumo

#endif  // LUMO_DICT_UTF8_VALIDATION_H_
