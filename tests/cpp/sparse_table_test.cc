#include "dict/sparse_table.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <initializer_list>

namespace lumo {
namespace {

template <typename T>
bool all_zeros(const SparseTable<T>& table) {
  return std::all_of(table.data(), table.data() + table.size(), [](T v) { return v == 0; });
}

// A table comes back all zeros however it was written: entries set one by
// one (spread over every page, the last one included), or written from
// outside and then accounted for, or not.
TEST(SparseTable, ComesBackAllZerosHoweverItWasWritten) {
  constexpr std::size_t kSize = 0xFFF0;  // 64 pages of 4-byte entries, the last one short
  for (const int way : {0, 1, 2}) {
    {
      SparseTable<std::uint32_t> table(kSize);
      if (way == 0) {
        for (const std::size_t i : {std::size_t{0}, std::size_t{5000}, kSize - 1}) table.set(i, 7);
      } else {
        std::uint32_t* const data = table.writable();
        data[1000] = 1;
        data[1500] = 2;
        if (way == 1) table.written(1000, 1501);
      }
    }
    const SparseTable<std::uint32_t> again(kSize);
    EXPECT_TRUE(all_zeros(again)) << "way " << way;
  }
  // A large table, whose bits of record stand for several pages each.
  {
    SparseTable<std::uint16_t> table(std::size_t{1} << 20);
    table.set(3, 1);
    table.set((std::size_t{1} << 20) - 1, 1);
  }
  EXPECT_TRUE(all_zeros(SparseTable<std::uint16_t>(std::size_t{1} << 20)));
}

TEST(SparseTable, MovesHandOverTheTable) {
  SparseTable<std::uint32_t> table(0x10000);
  table.set(42, 9);
  SparseTable<std::uint32_t> other(std::move(table));
  EXPECT_TRUE(table.empty());
  EXPECT_EQ(other[42], 9u);
  table = std::move(other);
  EXPECT_EQ(table[42], 9u);
}

}  // namespace
}  // namespace lumo
