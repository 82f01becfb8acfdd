#include "dict/utf8_validation.h"

#include <cstdint>
#include <cstring>

namespace lumo {
namespace {

// The range the second byte of a sequence led by `lead` must fall in.
void second_byte_range(unsigned char lead, unsigned char* low, unsigned char* high) {
  *low = lead == 0xE0 ? 0xA0 : lead == 0xF0 ? 0x90 : 0x80;
  *high = lead == 0xED ? 0x9F : lead == 0xF4 ? 0x8F : 0xBF;
}

}  // namespace

Utf8Check check_utf8(const char* text, std::size_t size) {
  const auto* bytes = reinterpret_cast<const unsigned char*>(text);
  std::size_t pos = 0;
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

}  // namespace lumo
