// SparseTable: a table of a trivial type that starts all zeros and of which
// a build writes a few scattered entries (the root table's page numbers,
// the single values of a lexicon).
//
// Its memory is mapped from the system apart from the heap, so that only
// the pages written count: a fresh mapping reads as zeros without being
// touched. Once the table is gone it is kept, cleared again where it was
// written, for the next table of its size (BlockPool::zeroed()), so that
// builds one after another neither map it again nor fault its pages in.
//
// Writes either go through set(), which tracks where they land, or through
// the pointer writable() gives, after which the table is kept only if its
// owner then says where they landed (written()); otherwise it goes back to
// the system. Reads may come from any thread; writes through set() from
// one at a time.
#ifndef LUMO_DICT_SPARSE_TABLE_H_
#define LUMO_DICT_SPARSE_TABLE_H_

#include <algorithm>
#include <bit>
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <type_traits>
#include <utility>

#include "dict/block_pool.h"

namespace lumo {

template <typename T>
class SparseTable {
  static_assert(std::is_trivially_copyable_v<T>);

 public:
  SparseTable() = default;
  // `size` zeros. Throws std::bad_alloc.
  explicit SparseTable(std::size_t size)
      : data_(static_cast<T*>(BlockPool::zeroed().allocate(size * sizeof(T)))), size_(size) {
    while ((std::size_t{64} << chunk_shift_) < size * sizeof(T)) ++chunk_shift_;
  }
  SparseTable(SparseTable&& other) noexcept { take(other); }
  SparseTable& operator=(SparseTable&& other) noexcept {
    if (this != &other) {
      release();
      take(other);
    }
    return *this;
  }
  ~SparseTable() { release(); }

  bool operator==(const SparseTable& other) const {
    return size_ == other.size_ && std::equal(data_, data_ + size_, other.data_);
  }

  const T& operator[](std::size_t i) const { return data_[i]; }
  const T* data() const { return data_; }
  std::size_t size() const { return size_; }
  bool empty() const { return size_ == 0; }

  void set(std::size_t i, T value) {
    data_[i] = value;
    written_ |= std::uint64_t{1} << ((i * sizeof(T)) >> chunk_shift_);
  }
  // For writes from several threads: where they land is unknown until
  // written() says it.
  T* writable() {
    tracked_ = false;
    return data_;
  }
  // Every write since writable() lies in [from, to).
  void written(std::size_t from, std::size_t to) {
    if (from < to) {
      const std::size_t first = (from * sizeof(T)) >> chunk_shift_;
      const std::size_t last = ((to - 1) * sizeof(T)) >> chunk_shift_;
      written_ |= (std::uint64_t{2} << last) - (std::uint64_t{1} << first);
    }
    tracked_ = true;
  }

 private:
  void take(SparseTable& other) {
    data_ = std::exchange(other.data_, nullptr);
    size_ = std::exchange(other.size_, 0);
    chunk_shift_ = std::exchange(other.chunk_shift_, kPageShift);
    written_ = std::exchange(other.written_, 0);
    tracked_ = std::exchange(other.tracked_, true);
  }
  void release() noexcept {
    if (data_ == nullptr) return;
    const std::size_t bytes = size_ * sizeof(T);
    if (!tracked_) {  // written where nobody said
      BlockPool::zeroed().discard(data_, bytes);
    } else {
      // Only the chunks written are cleared: the others were never touched.
      const std::size_t chunk = std::size_t{1} << chunk_shift_;
      auto* const base = reinterpret_cast<unsigned char*>(data_);
      for (std::uint64_t left = written_; left != 0; left &= left - 1) {
        const std::size_t from = static_cast<std::size_t>(std::countr_zero(left)) << chunk_shift_;
        std::memset(base + from, 0, std::min(chunk, bytes - from));
      }
      BlockPool::zeroed().free(data_, bytes);
    }
    data_ = nullptr;
    size_ = 0;
    chunk_shift_ = kPageShift;
    written_ = 0;
    tracked_ = true;
  }

  T* data_ = nullptr;
  std::size_t size_ = 0;
  static constexpr unsigned kPageShift = 12;
  // Bit k of written_ stands for the bytes from k << chunk_shift_ on: a
  // page each, or more in tables of over 64 pages. Set where written, when
  // tracked_.
  unsigned chunk_shift_ = kPageShift;
  std::uint64_t written_ = 0;
  bool tracked_ = true;
};

}  // namespace lumo

#endif  // LUMO_DICT_SPARSE_TABLE_H_
