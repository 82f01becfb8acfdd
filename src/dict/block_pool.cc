#include "dict/block_pool.h"

#include <algorithm>
#include <cstdlib>

#include "platform/platform.h"

#if defined(__SANITIZE_ADDRESS__)
#define LUMO_POISON_KEPT_BLOCKS 1
#elif defined(__has_feature)
#if __has_feature(address_sanitizer)
#define LUMO_POISON_KEPT_BLOCKS 1
#endif
#endif

#if defined(LUMO_POISON_KEPT_BLOCKS)
#include <sanitizer/asan_interface.h>
#endif

namespace lumo {

namespace {

// A kept block is nobody's: AddressSanitizer reports any access to it until
// it is handed out again.
void poison(void* p, std::size_t bytes) noexcept {
#if defined(LUMO_POISON_KEPT_BLOCKS)
  ASAN_POISON_MEMORY_REGION(p, bytes);
#else
  static_cast<void>(p);
  static_cast<void>(bytes);
#endif
}

void unpoison(void* p, std::size_t bytes) noexcept {
#if defined(LUMO_POISON_KEPT_BLOCKS)
  ASAN_UNPOISON_MEMORY_REGION(p, bytes);
#else
  static_cast<void>(p);
  static_cast<void>(bytes);
#endif
}

}  // namespace

SystemMemory system_malloc() {
  return {[](std::size_t bytes) noexcept { return std::malloc(bytes); },
          [](void* p, std::size_t) noexcept { std::free(p); }};
}

SystemMemory system_mappings() { return {platform::map_zeroed_pages, platform::unmap_pages}; }

BlockPool::BlockPool(std::size_t min_block, std::size_t max_bytes, SystemMemory system)
    : min_block_(min_block),
      max_bytes_(max_bytes),
      system_(system),
      capacity_(max_bytes / min_block),
      kept_(new Block[capacity_]) {}

BlockPool::~BlockPool() { give_back(); }

BlockPool& BlockPool::shared() {
  static BlockPool* const pool = new BlockPool(kMinBlock, kMaxBytes);
  return *pool;
}

BlockPool& BlockPool::zeroed() {
  static BlockPool* const pool =
      new BlockPool(kMinBlock, tuning::kKeptZeroedBytes, system_mappings());
  return *pool;
}

void* BlockPool::try_allocate(std::size_t bytes) noexcept {
  if (bytes >= min_block_ && bytes <= max_bytes_) {
    void* p = nullptr;
    {
      const std::lock_guard<std::mutex> lock(mutex_);
      // The newest block of the size, whose pages are likeliest to be warm.
      Block* const kept = kept_.get();
      for (std::size_t i = count_; i-- > 0;) {
        if (kept[i].bytes == bytes) {
          p = kept[i].p;
          std::copy(kept + i + 1, kept + count_, kept + i);
          --count_;
          bytes_ -= bytes;
          break;
        }
      }
    }
    if (p != nullptr) {
      unpoison(p, bytes);
      return p;
    }
  }
  const std::size_t size = std::max<std::size_t>(bytes, 1);
  void* p = system_.allocate(size);
  // Short of memory, the kept blocks go first.
  if (p == nullptr && give_back()) p = system_.allocate(size);
  return p;
}

void BlockPool::free(void* p, std::size_t bytes) noexcept {
  if (p == nullptr) return;
  if (bytes < min_block_ || bytes > max_bytes_) {
    system_.free(p, bytes);
    return;
  }
  // Poisoned before another thread can take it from the table.
  poison(p, bytes);
  const std::lock_guard<std::mutex> lock(mutex_);
  Block* const kept = kept_.get();
  std::size_t oldest = 0;
  while (bytes_ + bytes > max_bytes_) {
    release(kept[oldest]);
    bytes_ -= kept[oldest].bytes;
    ++oldest;
  }
  // Every kept block holds at least min_block_ bytes and together they
  // hold at most max_bytes_, so the table, capacity_ long, has room.
  std::copy(kept + oldest, kept + count_, kept);
  count_ -= oldest;
  kept[count_++] = {p, bytes};
  bytes_ += bytes;
}

bool BlockPool::give_back() noexcept {
  const std::lock_guard<std::mutex> lock(mutex_);
  const bool any = count_ != 0;
  for (std::size_t i = 0; i < count_; ++i) release(kept_[i]);
  count_ = 0;
  bytes_ = 0;
  return any;
}

std::size_t BlockPool::kept_bytes() const {
  const std::lock_guard<std::mutex> lock(mutex_);
  return bytes_;
}

std::size_t BlockPool::kept_blocks() const {
  const std::lock_guard<std::mutex> lock(mutex_);
  return count_;
}

void BlockPool::release(const Block& block) noexcept {
  unpoison(block.p, block.bytes);
  system_.free(block.p, block.bytes);
}

}  // namespace lumo
