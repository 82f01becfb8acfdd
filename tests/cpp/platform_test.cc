// The platform's system calls, as the engine uses them: on every target the
// suite runs on, threads run and join, and mapped pages come zeroed.
#include "platform/platform.h"

#include <gtest/gtest.h>

#include <atomic>
#include <cstring>

namespace lumo::platform {
namespace {

TEST(PlatformTest, MappedPagesComeZeroedAndWritable) {
  constexpr std::size_t kBytes = 3 << 16;
  auto* const pages = static_cast<unsigned char*>(map_zeroed_pages(kBytes));
  ASSERT_NE(pages, nullptr);
  for (std::size_t i = 0; i < kBytes; i += 4093) EXPECT_EQ(pages[i], 0) << i;
  std::memset(pages, 0xAB, kBytes);
  EXPECT_EQ(pages[kBytes - 1], 0xAB);
  unmap_pages(pages, kBytes);
}

TEST(PlatformTest, ThreadsRunTheirBodyAndJoinEitherWay) {
  EXPECT_GE(usable_processors(), 1u);
  std::atomic<int> runs{0};
  const auto body = [](void* counter) { static_cast<std::atomic<int>*>(counter)->fetch_add(1); };
  for (const bool waiting : {false, true}) {
    Thread* const thread = start_thread(body, &runs);
    ASSERT_NE(thread, nullptr);
    if (waiting) {
      join_thread(thread);
    } else {
      // try_join_thread may answer false for as long as the system likes;
      // join_thread then ends it.
      bool joined = false;
      for (int i = 0; i < 100000 && !joined; ++i) joined = try_join_thread(thread);
      if (!joined) join_thread(thread);
    }
  }
  EXPECT_EQ(runs.load(), 2);
}

}  // namespace
}  // namespace lumo::platform
