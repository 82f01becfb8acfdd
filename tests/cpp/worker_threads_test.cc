#include "engine/whole/worker_threads.h"

#include <gtest/gtest.h>

#include <atomic>
#include <stdexcept>
#include <vector>

namespace lumo {
namespace {

TEST(WorkerThreads, EveryShareRunsBothPhasesAroundTheStepBetween) {
  for (const std::size_t count : {1u, 2u, 7u}) {
    std::vector<int> worked(count, 0);
    std::vector<int> finished(count, 0);
    std::size_t seen_between = 0;
    run_in_two_phases(
        count, [&](std::size_t i) { worked[i] = static_cast<int>(i) + 1; },
        [&] {
          for (const int w : worked) seen_between += w != 0;
          return true;
        },
        [&](std::size_t i) { finished[i] = worked[i] * 10; });
    EXPECT_EQ(seen_between, count);
    for (std::size_t i = 0; i < count; ++i) EXPECT_EQ(finished[i], (static_cast<int>(i) + 1) * 10);
  }
}

TEST(WorkerThreads, AFailureStopsTheSecondPhaseAndIsRethrown) {
  std::atomic<int> finished{0};
  const auto finish = [&](std::size_t) { ++finished; };
  EXPECT_THROW(run_in_two_phases(
                   4,
                   [](std::size_t i) {
                     if (i == 2) throw std::runtime_error("share 2");
                   },
                   [] { return true; }, finish),
               std::runtime_error);
  EXPECT_THROW(
      run_in_two_phases(
          3, [](std::size_t) {}, []() -> bool { throw std::length_error("between"); }, finish),
      std::length_error);
  run_in_two_phases(3, [](std::size_t) {}, [] { return false; }, finish);
  EXPECT_EQ(finished, 0);
  EXPECT_THROW(run_in_two_phases(
                   3, [](std::size_t) {}, [] { return true; },
                   [](std::size_t i) {
                     if (i == 1) throw std::bad_alloc();
                   }),
               std::bad_alloc);
}

}  // namespace
}  // namespace lumo
