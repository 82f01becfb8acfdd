#include "engine/code_units.h"

#include <algorithm>

#if defined(__SSE2__)
#include <emmintrin.h>
#endif
#if defined(__x86_64__) && (defined(__GNUC__) || defined(__clang__))
#define LUMO_HAVE_SSSE3_PATHS 1
#include <immintrin.h>
#endif

namespace lumo {

#if defined(LUMO_HAVE_SSSE3_PATHS)
namespace {

bool has_ssse3() {
  static const bool supported = __builtin_cpu_supports("ssse3");
  return supported;
}

__attribute__((target("ssse3"))) char* encode_ssse3(const std::uint16_t* units, std::size_t count,
                                                    char* out) {
  const __m128i zero = _mm_setzero_si128();
  // Byte j of eight three-byte characters comes from character j / 3: its
  // first two bytes from `pairs` (two per character), its last from
  // `lasts` (one per character).
  const __m128i pairs_low = _mm_setr_epi8(0, 1, -1, 2, 3, -1, 4, 5, -1, 6, 7, -1, 8, 9, -1, 10);
  const __m128i lasts_low =
      _mm_setr_epi8(-1, -1, 0, -1, -1, 1, -1, -1, 2, -1, -1, 3, -1, -1, 4, -1);
  const __m128i pairs_high =
      _mm_setr_epi8(11, -1, 12, 13, -1, 14, 15, -1, -1, -1, -1, -1, -1, -1, -1, -1);
  const __m128i lasts_high =
      _mm_setr_epi8(-1, 5, -1, -1, 6, -1, -1, 7, -1, -1, -1, -1, -1, -1, -1, -1);
  std::size_t i = 0;
  for (; i + 8 <= count; i += 8) {
    const __m128i v = _mm_loadu_si128(reinterpret_cast<const __m128i*>(units + i));
    const __m128i below_800 = _mm_cmpeq_epi16(_mm_and_si128(v, _mm_set1_epi16(-0x800)), zero);
    if (_mm_movemask_epi8(below_800) == 0) {  // three bytes each
      const __m128i first = _mm_or_si128(_mm_srli_epi16(v, 12), _mm_set1_epi16(0xE0));
      const __m128i second = _mm_or_si128(_mm_and_si128(_mm_srli_epi16(v, 6), _mm_set1_epi16(0x3F)),
                                          _mm_set1_epi16(0x80));
      const __m128i third =
          _mm_or_si128(_mm_and_si128(v, _mm_set1_epi16(0x3F)), _mm_set1_epi16(0x80));
      const __m128i pairs = _mm_or_si128(first, _mm_slli_epi16(second, 8));
      const __m128i lasts = _mm_packus_epi16(third, third);
      const __m128i low =
          _mm_or_si128(_mm_shuffle_epi8(pairs, pairs_low), _mm_shuffle_epi8(lasts, lasts_low));
      const __m128i high =
          _mm_or_si128(_mm_shuffle_epi8(pairs, pairs_high), _mm_shuffle_epi8(lasts, lasts_high));
      _mm_storeu_si128(reinterpret_cast<__m128i*>(out), low);
      _mm_storel_epi64(reinterpret_cast<__m128i*>(out + 16), high);
      out += 24;
      continue;
    }
    const __m128i ascii = _mm_cmpeq_epi16(_mm_and_si128(v, _mm_set1_epi16(-0x80)), zero);
    if (_mm_movemask_epi8(ascii) == 0xFFFF) {
      _mm_storel_epi64(reinterpret_cast<__m128i*>(out), _mm_packus_epi16(v, v));
      out += 8;
      continue;
    }
    out = encode_utf8<std::uint16_t>(units + i, 8, out);
  }
  return encode_utf8<std::uint16_t>(units + i, count - i, out);
}

__attribute__((target("ssse3"))) std::uint16_t* decode_ssse3(std::string_view text,
                                                             std::uint16_t* out) {
  const auto* s = reinterpret_cast<const unsigned char*>(text.data());
  const auto* const end = s + text.size();
  const __m128i lead_mask = _mm_set1_epi8(static_cast<char>(0xF0));
  const __m128i lead_value = _mm_set1_epi8(static_cast<char>(0xE0));
  const __m128i firsts = _mm_setr_epi8(0, -1, 3, -1, 6, -1, 9, -1, 12, -1, -1, -1, -1, -1, -1, -1);
  const __m128i seconds =
      _mm_setr_epi8(1, -1, 4, -1, 7, -1, 10, -1, 13, -1, -1, -1, -1, -1, -1, -1);
  const __m128i thirds = _mm_setr_epi8(2, -1, 5, -1, 8, -1, 11, -1, 14, -1, -1, -1, -1, -1, -1, -1);
  // 24 bytes left hold at least 8 characters (none is longer than three
  // bytes here), so the 8-unit stores stay within the output.
  while (end - s >= 24) {
    const __m128i v = _mm_loadu_si128(reinterpret_cast<const __m128i*>(s));
    const int high_bits = _mm_movemask_epi8(v);
    if (high_bits == 0) {  // sixteen ASCII characters
      _mm_storeu_si128(reinterpret_cast<__m128i*>(out), _mm_unpacklo_epi8(v, _mm_setzero_si128()));
      _mm_storeu_si128(reinterpret_cast<__m128i*>(out + 8),
                       _mm_unpackhi_epi8(v, _mm_setzero_si128()));
      s += 16;
      out += 16;
      continue;
    }
    const int leads = _mm_movemask_epi8(_mm_cmpeq_epi8(_mm_and_si128(v, lead_mask), lead_value));
    if ((leads & 0x1249) == 0x1249) {  // five three-byte characters at 0, 3, 6, 9, 12
      const __m128i first = _mm_and_si128(_mm_shuffle_epi8(v, firsts), _mm_set1_epi16(0x0F));
      const __m128i second = _mm_and_si128(_mm_shuffle_epi8(v, seconds), _mm_set1_epi16(0x3F));
      const __m128i third = _mm_and_si128(_mm_shuffle_epi8(v, thirds), _mm_set1_epi16(0x3F));
      const __m128i code_points =
          _mm_or_si128(_mm_or_si128(_mm_slli_epi16(first, 12), _mm_slli_epi16(second, 6)), third);
      _mm_storeu_si128(reinterpret_cast<__m128i*>(out), code_points);
      s += 15;
      out += 5;
      continue;
    }
    // Anything else: one character the plain way.
    const std::size_t length = *s < 0x80 ? 1 : *s < 0xE0 ? 2 : 3;
    out =
        decode_utf8<std::uint16_t>(std::string_view(reinterpret_cast<const char*>(s), length), out);
    s += length;
  }
  return decode_utf8<std::uint16_t>(
      std::string_view(reinterpret_cast<const char*>(s), static_cast<std::size_t>(end - s)), out);
}

}  // namespace
#endif

CodePointCount count_code_points(std::string_view text) {
  const auto* s = reinterpret_cast<const unsigned char*>(text.data());
  const std::size_t size = text.size();
  std::size_t continuations = 0;
  unsigned char widest = 0;
  std::size_t i = 0;
#if defined(__SSE2__)
  // Continuation bytes, 0x80 to 0xBF, are the signed bytes below -64.
  const __m128i limit = _mm_set1_epi8(-64);
  __m128i widest_lanes = _mm_setzero_si128();
  while (i + 16 <= size) {
    // Up to 255 blocks per round, so that no byte counter overflows.
    __m128i counts = _mm_setzero_si128();
    const std::size_t stop = std::min(size - 15, i + 255 * 16);
    for (; i < stop; i += 16) {
      const __m128i v = _mm_loadu_si128(reinterpret_cast<const __m128i*>(s + i));
      counts = _mm_sub_epi8(counts, _mm_cmplt_epi8(v, limit));
      widest_lanes = _mm_max_epu8(widest_lanes, v);
    }
    const __m128i sums = _mm_sad_epu8(counts, _mm_setzero_si128());
    continuations += static_cast<std::size_t>(_mm_cvtsi128_si32(sums)) +
                     static_cast<std::size_t>(_mm_extract_epi16(sums, 4));
  }
  alignas(16) unsigned char lanes[16];
  _mm_store_si128(reinterpret_cast<__m128i*>(lanes), widest_lanes);
  for (const unsigned char lane : lanes) widest = lane > widest ? lane : widest;
#endif
  for (; i < size; ++i) {
    continuations += (s[i] & 0xC0) == 0x80;
    widest = s[i] > widest ? s[i] : widest;
  }
  // The lead byte tells the range: C2-C3 up to U+00FF, up to EF U+FFFF.
  const std::uint32_t bound = widest < 0x80   ? 0x7F
                              : widest < 0xC4 ? 0xFF
                              : widest < 0xF0 ? 0xFFFF
                                              : 0x10FFFF;
  return {size - continuations, bound};
}

char* encode_utf8(const std::uint16_t* units, std::size_t count, char* out) {
#if defined(LUMO_HAVE_SSSE3_PATHS)
  if (has_ssse3()) return encode_ssse3(units, count, out);
#endif
  return encode_utf8<std::uint16_t>(units, count, out);
}

std::uint16_t* decode_utf8(std::string_view text, std::uint16_t* out) {
#if defined(LUMO_HAVE_SSSE3_PATHS)
  if (has_ssse3()) return decode_ssse3(text, out);
#endif
  return decode_utf8<std::uint16_t>(text, out);
}

}  // namespace lumo
