// BlockPool: reuse of freed blocks, the byte cap, give-back before an
// allocation fails, poisoning under AddressSanitizer, many threads at once,
// and the shared pool behind the lexicon arrays.
#include "dict/block_pool.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <iterator>
#include <map>
#include <new>
#include <string>
#include <thread>
#include <vector>

#include "dict/lexicon_builder.h"
#include "dict/text_units.h"

#if defined(__SANITIZE_ADDRESS__)
#define LUMO_TEST_POISONING 1
#elif defined(__has_feature)
#if __has_feature(address_sanitizer)
#define LUMO_TEST_POISONING 1
#endif
#endif
#if defined(LUMO_TEST_POISONING)
#include <sanitizer/asan_interface.h>
#endif

namespace lumo {
namespace {

// A system allocator that refuses once `limit` bytes are out, and records
// what it frees.
struct TestSystem {
  static inline std::size_t limit;
  static inline std::map<void*, std::size_t> out;
  static inline std::size_t out_bytes;
  static inline std::vector<void*> freed;

  static void reset(std::size_t new_limit) {
    limit = new_limit;
    out.clear();
    out_bytes = 0;
    freed.clear();
  }
  static SystemMemory memory() {
    return {[](std::size_t bytes) noexcept -> void* {
              if (out_bytes + bytes > limit) return nullptr;
              void* const p = std::malloc(bytes);
              out[p] = bytes;
              out_bytes += bytes;
              return p;
            },
            [](void* p, std::size_t) noexcept {
              out_bytes -= out.at(p);
              out.erase(p);
              freed.push_back(p);
              std::free(p);
            }};
  }
};

class BlockPoolTest : public ::testing::Test {
 protected:
  void SetUp() override { TestSystem::reset(SIZE_MAX); }
};

TEST_F(BlockPoolTest, HandsAFreedBlockToTheNextRequestOfItsSize) {
  BlockPool pool(64, 1024, TestSystem::memory());
  void* const a = pool.allocate(128);
  void* const b = pool.allocate(128);
  void* const c = pool.allocate(256);
  pool.free(a, 128);
  pool.free(b, 128);
  pool.free(c, 256);
  EXPECT_EQ(pool.kept_bytes(), 512u);
  EXPECT_EQ(pool.allocate(128), b);  // the newest of the size first
  EXPECT_EQ(pool.allocate(256), c);
  EXPECT_EQ(pool.allocate(128), a);
  EXPECT_EQ(pool.kept_blocks(), 0u);
  EXPECT_EQ(TestSystem::out.size(), 3u);  // nothing more from the system

  // Too small or too large to keep: straight back to the system.
  for (const std::size_t bytes : {std::size_t{63}, std::size_t{1025}}) {
    void* const p = pool.allocate(bytes);
    pool.free(p, bytes);
    EXPECT_EQ(pool.kept_blocks(), 0u) << bytes;
    EXPECT_EQ(TestSystem::freed.back(), p) << bytes;
  }
  pool.free(a, 128);
  pool.free(b, 128);
  pool.free(c, 256);
}

TEST_F(BlockPoolTest, KeepsAtMostItsCapGivingTheOldestBackFirst) {
  BlockPool pool(64, 256, TestSystem::memory());
  void* const oldest = pool.allocate(64);
  void* const second = pool.allocate(128);
  void* const third = pool.allocate(64);
  void* const newest = pool.allocate(128);
  pool.free(oldest, 64);
  pool.free(second, 128);
  pool.free(third, 64);
  EXPECT_EQ(pool.kept_bytes(), 256u);
  EXPECT_TRUE(TestSystem::freed.empty());

  pool.free(newest, 128);
  EXPECT_EQ(TestSystem::freed, (std::vector<void*>{oldest, second}));
  EXPECT_EQ(pool.kept_bytes(), 192u);
  EXPECT_EQ(pool.allocate(128), newest);
  EXPECT_EQ(pool.allocate(64), third);
  pool.free(third, 64);
  pool.free(newest, 128);
}

TEST_F(BlockPoolTest, GivesKeptBlocksBackBeforeAnAllocationFails) {
  TestSystem::reset(512);
  BlockPool pool(64, 512, TestSystem::memory());
  std::vector<void*> blocks;
  for (int i = 0; i < 4; ++i) blocks.push_back(pool.allocate(128));
  for (void* const p : blocks) pool.free(p, 128);
  ASSERT_EQ(pool.kept_bytes(), 512u);

  // No kept block fits and the system is full: the kept ones must go.
  void* const p = pool.allocate(256);
  ASSERT_NE(p, nullptr);
  EXPECT_EQ(pool.kept_blocks(), 0u);
  EXPECT_EQ(TestSystem::out_bytes, 256u);

  // More than the system has even then: a failure, and the pool still works.
  EXPECT_EQ(pool.try_allocate(512), nullptr);
  EXPECT_THROW(pool.allocate(512), std::bad_alloc);
  pool.free(p, 256);
  EXPECT_EQ(pool.kept_bytes(), 256u);
  EXPECT_EQ(pool.allocate(256), p);
  pool.free(p, 256);
}

TEST_F(BlockPoolTest, KeptBlocksArePoisonedUntilHandedOutAgain) {
#if defined(LUMO_TEST_POISONING)
  BlockPool pool(64, 1024, TestSystem::memory());
  void* const p = pool.allocate(128);
  EXPECT_EQ(__asan_region_is_poisoned(p, 128), nullptr);
  pool.free(p, 128);
  EXPECT_TRUE(__asan_address_is_poisoned(p));
  EXPECT_TRUE(__asan_address_is_poisoned(static_cast<char*>(p) + 127));
  ASSERT_EQ(pool.allocate(128), p);
  EXPECT_EQ(__asan_region_is_poisoned(p, 128), nullptr);
  pool.free(p, 128);
#else
  GTEST_SKIP() << "only under AddressSanitizer";
#endif
}

// Each thread holds a few blocks at a time, stamped with its own bytes: a
// block handed to two holders at once, or kept while still held, shows up
// as a stamp overwritten.
TEST(BlockPoolThreads, ManyThreadsAllocateAndFreeAtOnce) {
  BlockPool pool(64, 4096, system_malloc());
  constexpr int kThreads = 4;
  constexpr int kRounds = 2000;
  constexpr std::size_t kSizes[] = {64, 128, 512, 1024, 32, 5000};
  std::vector<std::thread> threads;
  std::vector<int> faults(kThreads, 0);
  for (int t = 0; t < kThreads; ++t) {
    threads.emplace_back([&pool, &faults, t, &kSizes] {
      struct Held {
        unsigned char* p;
        std::size_t bytes;
        unsigned char stamp;
      };
      std::vector<Held> held;
      for (int round = 0; round < kRounds; ++round) {
        const std::size_t bytes = kSizes[(round + t) % std::size(kSizes)];
        const auto stamp = static_cast<unsigned char>(t * 64 + round % 64);
        auto* const p = static_cast<unsigned char*>(pool.allocate(bytes));
        std::memset(p, stamp, bytes);
        held.push_back({p, bytes, stamp});
        if (held.size() < 3) continue;
        const Held old = held.front();
        held.erase(held.begin());
        for (std::size_t i = 0; i < old.bytes; ++i) {
          if (old.p[i] != old.stamp) {
            ++faults[t];
            break;
          }
        }
        pool.free(old.p, old.bytes);
      }
      for (const Held& h : held) pool.free(h.p, h.bytes);
    });
  }
  for (std::thread& thread : threads) thread.join();
  for (int t = 0; t < kThreads; ++t) EXPECT_EQ(faults[t], 0) << "thread " << t;
  EXPECT_LE(pool.kept_bytes(), 4096u);
}

// The lexicon arrays come from the shared pool in every build, sanitized
// or not: a lexicon that is gone leaves its arrays for the next build of
// the same size, which answers as the first did.
TEST(BlockPool, LexiconsBuiltOneAfterAnotherReuseTheSharedPool) {
  std::string text;
  for (char32_t i = 0; i < 20000; ++i) {
    append_encoded(0x4E00 + i / 128, text);
    append_encoded(0x4E00 + i % 128, text);
    text += "\tx\n";
  }
  BlockPool& shared = BlockPool::shared();
  shared.give_back();
  {
    const Lexicon first = lexicon_from_texts({{text}});
    ASSERT_EQ(first.longest_prefix("丁丁").value, "x");
  }
  const std::size_t kept = shared.kept_bytes();
  ASSERT_GE(kept, BlockPool::kMinBlock);
  const Lexicon second = lexicon_from_texts({{text}});
  EXPECT_LT(shared.kept_bytes(), kept);
  EXPECT_EQ(second.longest_prefix("丁丁").value, "x");
  EXPECT_EQ(second.value_count(), 20000u);
}

}  // namespace
}  // namespace lumo
