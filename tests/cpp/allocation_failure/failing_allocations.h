// Failing one allocation on purpose, for the allocation-failure tests.
//
// The test program that links failing_allocations.cc replaces every form of
// operator new and delete, and reaches the engine's malloc, calloc, realloc
// and anonymous mmap through wrappers (the linker's --wrap). While a
// FailingAllocation is alive, each of these allocations is counted, on
// every thread, and the n-th one fails: operator new throws std::bad_alloc
// (its nothrow forms return nullptr), the C functions return nullptr or
// MAP_FAILED. Either that one alone fails, or every one from it on.
#ifndef LUMO_TESTS_ALLOCATION_FAILURE_FAILING_ALLOCATIONS_H_
#define LUMO_TESTS_ALLOCATION_FAILURE_FAILING_ALLOCATIONS_H_

#include <cstddef>

namespace lumo::testing {

// Counts allocations from its construction to its destruction or stop(),
// and fails the n-th (n >= 1), or with `from_then_on` every one from the
// n-th on. One at a time.
class FailingAllocation {
 public:
  explicit FailingAllocation(std::size_t n, bool from_then_on = false);
  ~FailingAllocation() { stop(); }
  FailingAllocation(const FailingAllocation&) = delete;
  FailingAllocation& operator=(const FailingAllocation&) = delete;

  // Stops counting; what follows allocates normally.
  void stop();
  // Allocations counted so far.
  std::size_t counted() const;
  // Whether the n-th allocation was reached, and so failed.
  bool failed() const;
  // Allocations through a throwing operator new on a thread other than the
  // one that made this object. Conversion threads must make none: a
  // thread's first exception needs memory of its own.
  std::size_t throwing_elsewhere() const;
};

}  // namespace lumo::testing

#endif  // LUMO_TESTS_ALLOCATION_FAILURE_FAILING_ALLOCATIONS_H_
