// The text-unit helpers at the edges of their ranges: encoding lengths,
// surrogates, and the whole-text surrogate scan, in every unit width.
#include <gtest/gtest.h>

#include <cstdint>
#include <string>
#include <vector>

#include "dict/text_units.h"

namespace lumo {
namespace {

template <typename Unit>
class TextUnitsTest : public ::testing::Test {};
using UnitTypes = ::testing::Types<char, std::uint16_t, std::uint32_t>;
TYPED_TEST_SUITE(TextUnitsTest, UnitTypes);

// Each code point at the edge of an encoding length round-trips, and the
// unit-level tests agree with where its characters start and end.
TYPED_TEST(TextUnitsTest, EncodingEdgesRoundTrip) {
  using Unit = TypeParam;
  for (const char32_t code_point :
       {0x00u, 0x7Fu, 0x80u, 0x7FFu, 0x800u, 0xD7FFu, 0xE000u, 0xFFFFu, 0x10000u, 0x10FFFFu}) {
    SCOPED_TRACE(static_cast<unsigned>(code_point));
    std::vector<Unit> units;
    append_encoded(code_point, units);
    const std::size_t expected = sizeof(Unit) == 4      ? 1
                                 : sizeof(Unit) == 2    ? (code_point < 0x10000 ? 1 : 2)
                                 : code_point < 0x80    ? 1
                                 : code_point < 0x800   ? 2
                                 : code_point < 0x10000 ? 3
                                                        : 4;
    ASSERT_EQ(units.size(), expected);
    std::size_t length = 0;
    EXPECT_EQ(decode_char(units.data(), &length), code_point);
    EXPECT_EQ(length, expected);
    EXPECT_EQ(char_units(units.data()), expected);
    for (std::size_t i = 0; i < units.size(); ++i) {
      EXPECT_EQ(starts_character(units[i]), i == 0) << "unit " << i;
      EXPECT_EQ(is_single_unit_character(units[i]), expected == 1) << "unit " << i;
    }
  }
}

TEST(Surrogates, UnitsAtTheEdgesOfTheBlock) {
  const struct {
    std::uint32_t unit;
    bool high;
    bool low;
  } cases[] = {
      {0x0000, false, false},  {0xD7FF, false, false},   {0xD800, true, false},
      {0xDBFF, true, false},   {0xDC00, false, true},    {0xDFFF, false, true},
      {0xE000, false, false},  {0xFFFF, false, false},   {0x1D800, false, false},
      {0x1DC00, false, false}, {0x10DFFF, false, false}, {0xFFFFD800, false, false},
  };
  for (const auto& [unit, high, low] : cases) {
    SCOPED_TRACE(unit);
    EXPECT_EQ(is_high_surrogate(unit), high);
    EXPECT_EQ(is_low_surrogate(unit), low);
    EXPECT_EQ(is_surrogate(unit), high || low);
    EXPECT_EQ(is_surrogate(static_cast<char32_t>(unit)), high || low);
    EXPECT_EQ(has_surrogate(&unit, 1), high || low);
    if (unit <= 0xFFFF) {
      const auto narrow = static_cast<std::uint16_t>(unit);
      EXPECT_EQ(is_high_surrogate(narrow), high);
      EXPECT_EQ(is_low_surrogate(narrow), low);
      EXPECT_EQ(is_surrogate(narrow), high || low);
      EXPECT_EQ(has_surrogate(&narrow, 1), high || low);
    }
  }
}

// One surrogate anywhere in texts of every length up to a few vector
// widths, among the units just outside the block, is found.
template <typename Unit>
void check_scan(Unit surrogate) {
  for (std::size_t size = 0; size <= 70; ++size) {
    std::vector<Unit> units(size);
    for (std::size_t i = 0; i < size; ++i) units[i] = i % 2 ? 0xD7FF : 0xE000;
    ASSERT_FALSE(has_surrogate(units.data(), size)) << size;
    for (std::size_t at = 0; at < size; ++at) {
      const Unit kept = units[at];
      units[at] = surrogate;
      ASSERT_TRUE(has_surrogate(units.data(), size)) << at << " of " << size;
      units[at] = kept;
    }
  }
}

TEST(Surrogates, ScanFindsOneAnywhere) {
  check_scan<std::uint16_t>(0xD800);
  check_scan<std::uint16_t>(0xDFFF);
  check_scan<std::uint32_t>(0xDBFF);
  check_scan<std::uint32_t>(0xDC00);
}

// Every pair of three-byte characters decodes from its word, and the
// spread XOR of two others turns it into theirs, the bytes after the pair
// untouched; only bytes 0 and 3 leading three-byte characters make such a
// word.
TEST(Utf8Words, ThreeByteCharactersInPairs) {
  const auto word_of = [](const std::string& bytes) {
    return utf8_load_word(reinterpret_cast<const unsigned char*>(bytes.data()));
  };
  const auto encoded = [](char32_t code_point) {
    std::string bytes;
    append_encoded(code_point, bytes);
    return bytes;
  };
  for (char32_t first = 0x800; first <= 0xFFFF; ++first) {
    const char32_t second = 0x800 + (first * 7919) % 0xF800;
    const char32_t into_first = 0x800 + (first * 104729) % 0xF800;
    const char32_t into_second = 0xFFFF - (first - 0x800);
    const std::uint64_t word = word_of(encoded(first) + encoded(second) + "xy");
    ASSERT_TRUE(utf8_word_holds_two_threes(word));
    const std::uint64_t pair = utf8_decode_three_pair(word);
    ASSERT_EQ(pair, first | (std::uint64_t{second} << 24))
        << std::hex << static_cast<unsigned>(first);
    const std::uint64_t xors = (first ^ into_first) | (std::uint64_t{second ^ into_second} << 24);
    std::string out(8, '.');
    utf8_store_word(word ^ utf8_spread_three_pair(xors), 6,
                    reinterpret_cast<unsigned char*>(out.data()));
    ASSERT_EQ(out, encoded(into_first) + encoded(into_second) + "..")
        << std::hex << static_cast<unsigned>(first);
    out.assign(8, '.');
    utf8_store_word(word, 3, reinterpret_cast<unsigned char*>(out.data()));
    ASSERT_EQ(out, encoded(first) + ".....");
  }
  for (const char* bytes : {"a\u4E00\u4E00xy", "\u4E00a\u4E00x", "\u00E9\u4E00\u4E00x",
                            "\u4E00\u00E9\u4E00", "\U00020000\u4E00x", "\u4E00\U00020000x"}) {
    EXPECT_FALSE(utf8_word_holds_two_threes(word_of(std::string(bytes) + "........"))) << bytes;
  }
}

}  // namespace
}  // namespace lumo
