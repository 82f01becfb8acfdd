#include "dict/utf8_validation.h"

#include <cstdint>
#include <cstring>

#include "dict/utf8.h"
#include "platform/platform.h"

namespace lumo {
namespace {

// The range the second byte of a sequence led by `lead` must fall in.
void second_byte_range(unsigned char lead, unsigned char* low, unsigned char* high) {
  *low = lead == 0xE0 ? 0xA0 : lead == 0xF0 ? 0x90 : 0x80;
  *high = lead == 0xED ? 0x9F : lead == 0xF4 ? 0x8F : 0xBF;
}

// The blocks use GNU vector types, which GCC and Clang have and MSVC has
// not: there, every reading is the plain byte-by-byte twin. The 32-byte
// blocks need AVX2, and a stack aligned to 32 bytes where their vectors
// spill, which GCC cannot give on 64-bit Windows.
#if defined(__GNUC__) && !defined(_MSC_VER) && (defined(__x86_64__) || defined(__aarch64__))
#define LUMO_UTF8_BLOCKS 1
#if defined(__x86_64__) && !(defined(_WIN32) && !defined(__clang__))
#define LUMO_UTF8_BLOCKS_OF_32 1
#endif

// Where the last character of text[0, end) starts, or `end` when that is
// ASCII: text[0, end) is known to be valid but for that character, which
// `end` may cut short.
std::size_t last_boundary(const unsigned char* bytes, std::size_t end) {
  std::size_t start = end;
  while (start > 0 && end - start < 3 && is_continuation_byte(bytes[start - 1])) --start;
  if (start > 0 && bytes[start - 1] >= 0xC0) --start;
  return start;
}

// Bytes checked a block at a time, as the compiler's vectors of 16 or 32
// bytes: every position is judged from itself and the three bytes before
// it, so that a block needs no state from the one before. Inlined into
// callers compiled for the instructions the vectors need.
typedef unsigned char Bytes16 __attribute__((vector_size(16)));
typedef unsigned char Bytes32 __attribute__((vector_size(32)));

// Whether every byte of `bytes` is zero.
template <typename Bytes>
__attribute__((always_inline)) inline bool none_set(const Bytes& bytes) {
  std::uint64_t words[sizeof(Bytes) / 8];
  std::memcpy(words, &bytes, sizeof(Bytes));
  std::uint64_t any = 0;
  for (const std::uint64_t word : words) any |= word;
  return any == 0;
}

// Whether the block at[0, sizeof(Bytes)) breaks a rule of UTF-8, reading
// the three bytes before it too: a continuation byte where none may come,
// or none where one must; a byte that never occurs; a second byte that
// makes an overlong form, a surrogate, or a code point past U+10FFFF.
template <typename Bytes>
__attribute__((always_inline)) inline bool breaks_rule(const unsigned char* at) {
  constexpr std::size_t kWidth = sizeof(Bytes);
  Bytes byte, before, before2, before3;
  std::memcpy(&byte, at, kWidth);
  std::memcpy(&before, at - 1, kWidth);
  std::memcpy(&before2, at - 2, kWidth);
  std::memcpy(&before3, at - 3, kWidth);
  // ASCII, after three bytes that finish no character: nothing to judge.
  const Bytes high = (byte | before3) & 0x80;
  if (none_set<Bytes>(high)) return false;
  const Bytes continuation = (Bytes)((byte & 0xC0) == 0x80);
  const Bytes awaited = (Bytes)((before >= 0xC0) | (before2 >= 0xE0) | (before3 >= 0xF0));
  const Bytes wrong =
      (continuation ^ awaited) | (Bytes)((byte & 0xFE) == 0xC0) | (Bytes)(byte >= 0xF5) |
      (Bytes)((before == 0xE0) & (byte < 0xA0)) | (Bytes)((before == 0xED) & (byte > 0x9F)) |
      (Bytes)((before == 0xF0) & (byte < 0x90)) | (Bytes)((before == 0xF4) & (byte > 0x8F));
  return !none_set<Bytes>(wrong);
}

// A position from which a byte-by-byte check of text[0, size) gives the
// result of one from 0: the start of a character, all before it valid.
// Whole blocks are checked up to the first that breaks a rule.
template <typename Bytes>
__attribute__((always_inline)) inline std::size_t blocks_valid_start(const unsigned char* bytes,
                                                                     std::size_t size) {
  constexpr std::size_t kWidth = sizeof(Bytes);
  if (size < kWidth) return 0;
  // The first block, behind three bytes of nothing to finish.
  unsigned char first[kWidth + 3] = {};
  std::memcpy(first + 3, bytes, kWidth);
  if (breaks_rule<Bytes>(first + 3)) return 0;
  std::size_t end = kWidth;
  while (size - end >= kWidth && !breaks_rule<Bytes>(bytes + end)) end += kWidth;
  return last_boundary(bytes, end);
}

std::size_t valid_start_16(const unsigned char* bytes, std::size_t size) {
  return blocks_valid_start<Bytes16>(bytes, size);
}

#if defined(LUMO_UTF8_BLOCKS_OF_32)
__attribute__((target("avx2"))) std::size_t valid_start_32(const unsigned char* bytes,
                                                           std::size_t size) {
  return blocks_valid_start<Bytes32>(bytes, size);
}
#endif

// Whether blocks read as `reading` are 32 bytes wide on this processor
// (AArch64, whose blocks are all of 16 bytes, never asks).
[[maybe_unused]] bool reads_32([[maybe_unused]] Utf8Reading reading) {
#if defined(LUMO_UTF8_BLOCKS_OF_32)
  static const bool avx2 = platform::has_avx2();
  return reading != Utf8Reading::kBlocksOf16 && avx2;
#else
  return false;
#endif
}

// Where a byte-by-byte check may start, after whole blocks read as
// `reading` says.
std::size_t valid_start(const char* text, std::size_t size, [[maybe_unused]] Utf8Reading reading) {
  const auto* bytes = reinterpret_cast<const unsigned char*>(text);
#if defined(LUMO_UTF8_BLOCKS_OF_32)
  if (reads_32(reading)) return valid_start_32(bytes, size);
#endif
  return valid_start_16(bytes, size);
}
#endif

// check_utf8 from text[from], the start of a character with all before it
// valid.
Utf8Check check_from(const char* text, std::size_t size, std::size_t from) {
  const auto* bytes = reinterpret_cast<const unsigned char*>(text);
  std::size_t pos = from;
  while (pos < size) {
    // ASCII eight bytes at a time.
    if (size - pos >= 8) {
      std::uint64_t word;
      std::memcpy(&word, bytes + pos, 8);
      if ((word & 0x8080808080808080u) == 0) {
        pos += 8;
        continue;
      }
    }
    const unsigned char lead = bytes[pos];
    if (lead < 0x80) {
      ++pos;
      continue;
    }
    const std::size_t length = lead >= 0xC2 && lead <= 0xDF   ? 2
                               : lead >= 0xE0 && lead <= 0xEF ? 3
                               : lead >= 0xF0 && lead <= 0xF4 ? 4
                                                              : 0;
    if (length == 0) return {pos, false, 1};
    unsigned char low = 0x80;
    unsigned char high = 0xBF;
    second_byte_range(lead, &low, &high);
    for (std::size_t i = 1; i < length; ++i) {
      if (pos + i == size) return {pos, true, 0};
      const unsigned char byte = bytes[pos + i];
      if (byte < (i == 1 ? low : 0x80) || byte > (i == 1 ? high : 0xBF)) return {pos, false, i};
    }
    pos += length;
  }
  return {size, false, 0};
}

}  // namespace

Utf8Check check_utf8(const char* text, std::size_t size, Utf8Reading reading) {
#ifdef LUMO_UTF8_BLOCKS
  if (reading != Utf8Reading::kBytes)
    return check_from(text, size, valid_start(text, size, reading));
#endif
  return check_from(text, size, 0);
}

const char* utf8_kernel(Utf8Reading reading) {
#ifdef LUMO_UTF8_BLOCKS
  if (reading != Utf8Reading::kBytes) {
#if defined(__x86_64__)
    return reads_32(reading) ? "avx2" : "sse2";
#else
    return "neon";
#endif
  }
#endif
  (void)reading;
  return "bytes";
}

}  // namespace lumo
