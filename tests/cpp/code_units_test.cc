#include "engine/code_units.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <random>
#include <string>
#include <vector>

#include "dict/utf8.h"

namespace lumo {
namespace {

// Random code points below `limit`, surrogates excluded: every encoding
// length's edges, then runs of one encoding length or of mixed ones, of
// random lengths, so that the block-wise paths see runs long and short.
std::vector<char32_t> random_code_points(char32_t limit, unsigned seed) {
  std::vector<char32_t> points;
  for (const char32_t edge : {0x0u, 0x7Fu, 0x80u, 0xFFu, 0x100u, 0x7FFu, 0x800u, 0xD7FFu, 0xE000u,
                              0xFFFFu, 0x10000u, 0x10FFFFu}) {
    if (edge < limit) points.push_back(edge);
  }
  std::mt19937 random(seed);
  const char32_t ranges[][2] = {
      {0, 0x80}, {0x80, 0x800}, {0x800, 0x10000}, {0x10000, 0x110000}, {0, 0x110000}};
  while (points.size() < 20000) {
    const auto& range = ranges[random() % std::size(ranges)];
    if (range[0] >= limit) continue;
    std::uniform_int_distribution<std::uint32_t> pick(range[0], std::min(range[1], limit) - 1);
    for (std::uint32_t run = random() % 40; run > 0; --run) {
      const char32_t cp = pick(random);
      if (cp < 0xD800 || cp > 0xDFFF) points.push_back(cp);
    }
  }
  return points;
}

template <typename Unit>
void check_round_trip(char32_t limit) {
  const std::vector<char32_t> points = random_code_points(limit, limit);
  const std::vector<Unit> units(points.begin(), points.end());
  std::string expected;
  for (const char32_t cp : points) utf8_append(cp, expected);

  // The overloads chosen for this width, and the plain templates.
  std::string encoded(utf8_capacity<Unit>(units.size()), '\0');
  encoded.resize(encode_utf8(units.data(), units.size(), encoded.data()) - encoded.data());
  ASSERT_EQ(encoded, expected);
  std::string plain(utf8_capacity<Unit>(units.size()), '\0');
  plain.resize(encode_utf8<Unit>(units.data(), units.size(), plain.data()) - plain.data());
  ASSERT_EQ(plain, expected);

  const CodePointCount counted = count_code_points(encoded);
  EXPECT_EQ(counted.count, units.size());
  std::vector<Unit> decoded(counted.count);
  EXPECT_EQ(decode_utf8(encoded, decoded.data()), decoded.data() + decoded.size());
  EXPECT_EQ(decoded, units);
  std::vector<Unit> decoded_plain(counted.count);
  EXPECT_EQ(decode_utf8<Unit>(encoded, decoded_plain.data()),
            decoded_plain.data() + decoded_plain.size());
  EXPECT_EQ(decoded_plain, units);
}

TEST(CodeUnits, EveryWidthRoundTripsThroughUtf8) {
  check_round_trip<std::uint8_t>(0x100);
  check_round_trip<std::uint16_t>(0x10000);
  check_round_trip<std::uint32_t>(0x110000);
}

// The bound decides the width of the result, so it must name the exact
// width the widest character needs.
TEST(CodeUnits, BoundTellsTheWidthNeeded) {
  const struct {
    const char* text;
    std::uint32_t bound;
  } cases[] = {{"", 0x7F},         {"abc", 0x7F},      {"a\u0080", 0xFF},
               {"\u00FF", 0xFF},   {"\u0100", 0xFFFF}, {"é中", 0xFFFF},
               {"\uFFFF", 0xFFFF}, {"a😀", 0x10FFFF},  {"中\U0010FFFF", 0x10FFFF}};
  for (const auto& c : cases) {
    EXPECT_EQ(count_code_points(c.text).bound, c.bound) << c.text;
    const std::string padded = std::string(37, 'a') + c.text + std::string(40, 'b');
    EXPECT_EQ(count_code_points(padded).bound, c.bound) << c.text;
  }
}

TEST(CodeUnits, SurrogatesAreFound) {
  const std::vector<std::uint16_t> plain = {0x41, 0xD7FF, 0xE000, 0xFFFF};
  EXPECT_FALSE(has_surrogate(plain.data(), plain.size()));
  for (const std::uint32_t surrogate : {0xD800u, 0xDBFFu, 0xDC00u, 0xDFFFu}) {
    std::vector<std::uint32_t> units = {0x41, 0x10000, surrogate, 0x42};
    EXPECT_TRUE(has_surrogate(units.data(), units.size())) << surrogate;
  }
}

}  // namespace
}  // namespace lumo
