// The block-wise UTF-8 check against its byte-by-byte twin, on valid and
// broken texts with the fault at every position around the block edges.
#include <gtest/gtest.h>

#include <cstddef>
#include <random>
#include <string>
#include <string_view>

#include "dict/utf8_validation.h"
#include "platform/platform.h"

namespace lumo {
namespace {

// Valid characters of every length, in random order.
std::string random_text(std::mt19937& random, std::size_t size) {
  static const char* const kCharacters[] = {"a",
                                            "\n",
                                            "\xC2\x80",
                                            "\xDF\xBF",
                                            "\xE0\xA0\x80",
                                            "\xE4\xB8\xAD",
                                            "\xED\x9F\xBF",
                                            "\xEE\x80\x80",
                                            "\xEF\xBF\xBF",
                                            "\xF0\x90\x80\x80",
                                            "\xF3\xBF\xBF\xBF",
                                            "\xF4\x8F\xBF\xBF"};
  std::string text;
  while (text.size() < size) {
    text += kCharacters[random() % std::size(kCharacters)];
  }
  return text;
}

void expect_same_check(const std::string& text) {
  const Utf8Check plain = check_utf8(text.data(), text.size(), Utf8Reading::kBytes);
  for (const Utf8Reading reading : {Utf8Reading::kBlocksOf16, Utf8Reading::kBlocksOf32}) {
    const Utf8Check blocks = check_utf8(text.data(), text.size(), reading);
    EXPECT_EQ(blocks.valid, plain.valid);
    EXPECT_EQ(blocks.cut_short, plain.cut_short);
    EXPECT_EQ(blocks.bad, plain.bad);
  }
}

// Byte sequences that break UTF-8 (or cut a character short at the end),
// each written into valid text at every position near the block edges.
class Utf8FaultTest : public ::testing::TestWithParam<std::string> {};

TEST_P(Utf8FaultTest, BlocksAgreeWithBytewiseAtEveryPosition) {
  std::mt19937 random(7);
  for (std::size_t position = 0; position < 100; ++position) {
    SCOPED_TRACE(position);
    std::string text = random_text(random, 140);
    // At the fault, and at the start of the character it lands in.
    text.replace(position, GetParam().size(), GetParam());
    expect_same_check(text);
    expect_same_check(text.substr(0, position + GetParam().size()));
  }
}

INSTANTIATE_TEST_SUITE_P(Faults, Utf8FaultTest,
                         ::testing::Values("\x80", "\xBF\xBF", "\xC0\x80", "\xC1\xBF", "\xC2",
                                           "\xC2"
                                           "a",
                                           "\xE0\x80\x80", "\xE0\x9F\xBF", "\xED\xA0\x80",
                                           "\xED\xBF\xBF", "\xE4\xB8",
                                           "\xE4"
                                           "a",
                                           "\xF0\x80\x80\x80", "\xF0\x8F\xBF\xBF",
                                           "\xF4\x90\x80\x80", "\xF5\x80\x80\x80", "\xF8", "\xFF",
                                           "\xF0\x90\x80",
                                           "\xF0\x90\x80"
                                           "a"));

// Valid texts of every length across a few blocks, cut anywhere.
TEST(Utf8ValidationTest, BlocksAgreeWithBytewiseOnValidTextCutAnywhere) {
  std::mt19937 random(11);
  for (int round = 0; round < 20; ++round) {
    const std::string text = random_text(random, 200);
    for (std::size_t size = 0; size <= text.size(); ++size) {
      SCOPED_TRACE(size);
      expect_same_check(text.substr(0, size));
    }
  }
}

// Valid texts read from every start within a character: the first block
// then opens on continuation bytes.
TEST(Utf8ValidationTest, BlocksAgreeWithBytewiseFromEveryStart) {
  std::mt19937 random(13);
  for (int round = 0; round < 20; ++round) {
    const std::string text = random_text(random, 120);
    for (std::size_t start = 0; start < 40; ++start) {
      SCOPED_TRACE(start);
      expect_same_check(text.substr(start));
    }
  }
}

// The blocks are read with the vector instructions each processor the
// build targets has, so the tests above compare those with the bytes.
TEST(Utf8ValidationTest, ReadsBlocksWithTheProcessorsVectors) {
  EXPECT_STREQ(utf8_kernel(Utf8Reading::kBytes), "bytes");
#if defined(__aarch64__)
  for (const Utf8Reading reading :
       {Utf8Reading::kFastest, Utf8Reading::kBlocksOf16, Utf8Reading::kBlocksOf32}) {
    EXPECT_STREQ(utf8_kernel(reading), "neon");
  }
#elif defined(__x86_64__)
  EXPECT_STREQ(utf8_kernel(Utf8Reading::kBlocksOf16), "sse2");
#if defined(_WIN32) && !defined(__clang__)
  const bool avx2 = false;  // GCC cannot align the stack for them on Windows
#else
  const bool avx2 = platform::has_avx2();
#endif
  const std::string_view widest = avx2 ? "avx2" : "sse2";
  EXPECT_EQ(utf8_kernel(Utf8Reading::kBlocksOf32), widest);
  EXPECT_EQ(utf8_kernel(Utf8Reading::kFastest), widest);
#endif
}

}  // namespace
}  // namespace lumo
