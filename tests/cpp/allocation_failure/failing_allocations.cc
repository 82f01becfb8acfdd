#include "failing_allocations.h"

#include <pthread.h>
#include <sys/mman.h>

#include <atomic>
#include <cerrno>
#include <cstdlib>
#include <new>

extern "C" {
void* __real_malloc(std::size_t bytes);
void* __real_calloc(std::size_t count, std::size_t bytes);
void* __real_realloc(void* p, std::size_t bytes);
void* __real_mmap(void* address, std::size_t length, int protection, int flags, int fd,
                  off_t offset);
}

namespace lumo::testing {
namespace {

// Plain atomics only: these are read inside the allocator itself.
std::atomic<bool> armed{false};
std::atomic<std::size_t> counter{0};
std::atomic<std::size_t> elsewhere{0};
std::size_t fail_at = 0;
bool fail_later = false;
pthread_t armer;

// Counts one allocation; true when it is the one to fail.
bool count_allocation(bool throwing) {
  if (!armed.load(std::memory_order_acquire)) return false;
  if (throwing && !pthread_equal(pthread_self(), armer)) {
    elsewhere.fetch_add(1, std::memory_order_relaxed);
  }
  const std::size_t n = counter.fetch_add(1, std::memory_order_relaxed) + 1;
  return n == fail_at || (fail_later && n > fail_at);
}

void* new_block(std::size_t bytes, bool throwing) {
  void* const p = count_allocation(throwing) ? nullptr : __real_malloc(bytes == 0 ? 1 : bytes);
  if (p == nullptr && throwing) throw std::bad_alloc();
  return p;
}

void* new_aligned_block(std::size_t bytes, std::align_val_t alignment, bool throwing) {
  void* p = nullptr;
  if (!count_allocation(throwing) &&
      posix_memalign(&p, static_cast<std::size_t>(alignment), bytes == 0 ? 1 : bytes) != 0) {
    p = nullptr;
  }
  if (p == nullptr && throwing) throw std::bad_alloc();
  return p;
}

}  // namespace

FailingAllocation::FailingAllocation(std::size_t n, bool from_then_on) {
  counter.store(0);
  elsewhere.store(0);
  fail_at = n;
  fail_later = from_then_on;
  armer = pthread_self();
  armed.store(true, std::memory_order_release);
}

void FailingAllocation::stop() { armed.store(false, std::memory_order_release); }

std::size_t FailingAllocation::counted() const { return counter.load(); }

bool FailingAllocation::failed() const { return counter.load() >= fail_at; }

std::size_t FailingAllocation::throwing_elsewhere() const { return elsewhere.load(); }

}  // namespace lumo::testing

using lumo::testing::count_allocation;
using lumo::testing::new_aligned_block;
using lumo::testing::new_block;

extern "C" {

void* __wrap_malloc(std::size_t bytes) {
  return count_allocation(false) ? nullptr : __real_malloc(bytes);
}

void* __wrap_calloc(std::size_t count, std::size_t bytes) {
  return count_allocation(false) ? nullptr : __real_calloc(count, bytes);
}

void* __wrap_realloc(void* p, std::size_t bytes) {
  return count_allocation(false) ? nullptr : __real_realloc(p, bytes);
}

void* __wrap_mmap(void* address, std::size_t length, int protection, int flags, int fd,
                  off_t offset) {
  if ((flags & MAP_ANONYMOUS) != 0 && count_allocation(false)) {
    errno = ENOMEM;
    return MAP_FAILED;
  }
  return __real_mmap(address, length, protection, flags, fd, offset);
}

}  // extern "C"

void* operator new(std::size_t bytes) { return new_block(bytes, true); }
void* operator new[](std::size_t bytes) { return new_block(bytes, true); }
void* operator new(std::size_t bytes, const std::nothrow_t&) noexcept {
  return new_block(bytes, false);
}
void* operator new[](std::size_t bytes, const std::nothrow_t&) noexcept {
  return new_block(bytes, false);
}
void* operator new(std::size_t bytes, std::align_val_t alignment) {
  return new_aligned_block(bytes, alignment, true);
}
void* operator new[](std::size_t bytes, std::align_val_t alignment) {
  return new_aligned_block(bytes, alignment, true);
}
void* operator new(std::size_t bytes, std::align_val_t alignment, const std::nothrow_t&) noexcept {
  return new_aligned_block(bytes, alignment, false);
}
void* operator new[](std::size_t bytes, std::align_val_t alignment,
                     const std::nothrow_t&) noexcept {
  return new_aligned_block(bytes, alignment, false);
}

void operator delete(void* p) noexcept { std::free(p); }
void operator delete[](void* p) noexcept { std::free(p); }
void operator delete(void* p, std::size_t) noexcept { std::free(p); }
void operator delete[](void* p, std::size_t) noexcept { std::free(p); }
void operator delete(void* p, const std::nothrow_t&) noexcept { std::free(p); }
void operator delete[](void* p, const std::nothrow_t&) noexcept { std::free(p); }
void operator delete(void* p, std::align_val_t) noexcept { std::free(p); }
void operator delete[](void* p, std::align_val_t) noexcept { std::free(p); }
void operator delete(void* p, std::size_t, std::align_val_t) noexcept { std::free(p); }
void operator delete[](void* p, std::size_t, std::align_val_t) noexcept { std::free(p); }
void operator delete(void* p, std::align_val_t, const std::nothrow_t&) noexcept { std::free(p); }
void operator delete[](void* p, std::align_val_t, const std::nothrow_t&) noexcept { std::free(p); }
