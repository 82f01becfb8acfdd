// BlockPool: keeps a few large freed blocks and hands each to the next
// request of the same size.
//
// Building a converter allocates a few large arrays (trie nodes, children,
// scratch) and frees the scratch ones at the end; a converter that is gone
// frees the rest. Where the system allocator gives such blocks back to the
// system at once, the next build faults every page in again (for an s2t
// build about 885 pages, 1.7 ms becoming 2.6-3.1 ms; lumo.convert, which
// builds a converter per call, suffers the same). The pool keeps those
// blocks mapped instead, so that builds one after another reuse them.
//
// Invariants: only blocks of at least min_block bytes are kept, and at most
// max_bytes in all; when a new block would pass that cap, the oldest kept
// blocks go back to the system first. A request that the system cannot
// meet is retried once after every kept block has gone back. Nothing the
// pool does after construction allocates for itself, so free() and
// try_allocate() never throw; only allocate() does (std::bad_alloc), and
// only builds call it, never a conversion worker thread.
//
// Under AddressSanitizer the pool still keeps and reuses blocks, but a kept
// block is poisoned until it is handed out again, so that a read or write
// through a pointer to a freed block is still reported.
//
// Thread-safety: every member function but the destructor may be called
// from any thread at the same time (one mutex guards the kept blocks).
#ifndef LUMO_DICT_BLOCK_POOL_H_
#define LUMO_DICT_BLOCK_POOL_H_

#include <cstddef>
#include <memory>
#include <mutex>
#include <new>
#include <type_traits>
#include <utility>

#include "dict/tuning.h"

namespace lumo {

// Where a pool's memory comes from: malloc and free by default; tests put
// in allocators that fail on demand.
struct SystemMemory {
  void* (*allocate)(std::size_t bytes) noexcept;  // nullptr when out of memory
  void (*free)(void* p, std::size_t bytes) noexcept;
};
SystemMemory system_malloc();
// Fresh mappings, which read as zeros until written.
SystemMemory system_mappings();

class BlockPool {
 public:
  // The limits of the shared pool (see tuning.h).
  static constexpr std::size_t kMinBlock = tuning::kKeptBlockBytes;
  static constexpr std::size_t kMaxBytes = tuning::kKeptBytes;

  // A pool keeping blocks of at least `min_block` bytes (min_block > 0), up
  // to `max_bytes` in all. Throws std::bad_alloc if its own table of kept
  // blocks cannot be allocated.
  BlockPool(std::size_t min_block, std::size_t max_bytes, SystemMemory system = system_malloc());
  // Gives every kept block back.
  ~BlockPool();
  BlockPool(const BlockPool&) = delete;
  BlockPool& operator=(const BlockPool&) = delete;

  // The pool builds share. Never destroyed, so that arrays freed while the
  // process exits can still be returned to it.
  static BlockPool& shared();
  // The pool of tables that start all zeros (see SparseTable), shared the
  // same way: its blocks are fresh mappings, and whoever frees one has set
  // it back to zeros.
  static BlockPool& zeroed();

  // A block of `bytes` bytes (a kept one of that size if there is one), or
  // nullptr when the system has none even after every kept block went back.
  // Its contents are unspecified.
  void* try_allocate(std::size_t bytes) noexcept;
  // As try_allocate, but throws std::bad_alloc instead of returning nullptr.
  void* allocate(std::size_t bytes) {
    void* const p = try_allocate(bytes);
    if (p == nullptr) throw std::bad_alloc();
    return p;
  }
  // Takes back a block from allocate() or try_allocate() of `bytes` bytes:
  // keeps it if it is large enough, else gives it to the system.
  void free(void* p, std::size_t bytes) noexcept;
  // Gives such a block to the system without keeping it.
  void discard(void* p, std::size_t bytes) noexcept { system_.free(p, bytes); }
  // Gives every kept block back to the system; returns whether there was one.
  bool give_back() noexcept;

  // What the pool keeps now: bytes in all, and blocks.
  std::size_t kept_bytes() const;
  std::size_t kept_blocks() const;

 private:
  struct Block {
    void* p;
    std::size_t bytes;
  };
  void release(const Block& block) noexcept;

  const std::size_t min_block_;
  const std::size_t max_bytes_;
  const SystemMemory system_;
  const std::size_t capacity_;  // max_bytes_ / min_block_: at most this many kept
  mutable std::mutex mutex_;
  // kept_[0, count_), oldest first.
  const std::unique_ptr<Block[]> kept_;
  std::size_t count_ = 0;
  std::size_t bytes_ = 0;
};

// The allocator of arrays that are sized first and then filled: a resize()
// leaves the new elements unwritten (they are trivial types and every one
// is written before it is read), so that the building threads each touch
// their own part of an array first. Its memory comes from
// BlockPool::shared().
template <typename T>
struct UnwrittenAllocator : std::allocator<T> {
  UnwrittenAllocator() = default;
  template <typename U>
  UnwrittenAllocator(const UnwrittenAllocator<U>&) noexcept {}

  T* allocate(std::size_t n) {
    return static_cast<T*>(BlockPool::shared().allocate(n * sizeof(T)));
  }
  void deallocate(T* p, std::size_t n) noexcept { BlockPool::shared().free(p, n * sizeof(T)); }

  template <typename U>
  void construct(U*) noexcept {
    static_assert(std::is_trivially_copyable_v<U> && std::is_trivially_destructible_v<U>);
  }
  template <typename U, typename... Args>
  void construct(U* p, Args&&... args) {
    ::new (static_cast<void*>(p)) U(std::forward<Args>(args)...);
  }
};

}  // namespace lumo

#endif  // LUMO_DICT_BLOCK_POOL_H_
