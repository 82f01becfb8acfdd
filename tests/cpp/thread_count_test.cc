#include "engine/config/thread_count.h"

#include <gtest/gtest.h>

#include <optional>

namespace lumo {
namespace {

TEST(ThreadCount, IsAPlainPositiveDecimalNumber) {
  const struct {
    const char* text;
    std::optional<std::size_t> count;
  } cases[] = {
      {"4", 4},
      {" 4", 4},
      {"4 ", 4},
      {"\t4\n", 4},
      {"0004", 4},
      {"1024", 1024},
      {"1025", kMaxThreads},
      {"99999999999999999999999", kMaxThreads},
      {"", std::nullopt},
      {" ", std::nullopt},
      {"0", std::nullopt},
      {"+4", std::nullopt},
      {"-4", std::nullopt},
      {"4x", std::nullopt},
      {"0x4", std::nullopt},
      {"4 4", std::nullopt},
      {"4.0", std::nullopt},
      {"\u0664", std::nullopt},  // ARABIC-INDIC DIGIT FOUR
  };
  for (const auto& [text, count] : cases) EXPECT_EQ(parse_thread_count(text), count) << text;
}

}  // namespace
}  // namespace lumo
