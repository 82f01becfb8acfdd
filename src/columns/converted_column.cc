#include "columns/converted_column.h"

#include <algorithm>
#include <bit>
#include <cstdlib>
#include <cstring>
#include <new>

namespace lumo::columns {
namespace {

constexpr std::size_t kViewBytes = 16;
constexpr std::size_t kInlineBytes = 12;
// The most bytes a 32-bit offset reaches, and so a view data buffer holds.
constexpr std::size_t kMaxBytes32 = INT32_MAX;

// Copies the bits `validity` gives rows [0, length) into `out`, starting at
// bit 0; returns the rows missing, or -1 when memory ran short. No bits
// and no missing row leave `out` empty.
std::int64_t copy_validity(const Validity& validity, std::size_t length, Buffer& out) {
  if (validity.bits == nullptr || length == 0) return 0;
  const std::size_t bytes = (length + 7) / 8;
  if (!out.reserve(bytes)) return -1;
  auto* const to = reinterpret_cast<std::uint8_t*>(out.data());
  const auto start = static_cast<std::uint64_t>(validity.offset);
  const std::uint8_t* const from = validity.bits + start / 8;
  const unsigned shift = start % 8;
  // The bitmap holds bits up to start + length: byte j + 1 of `from` is read
  // only where one of its bits is among them.
  const std::size_t readable = (shift + length + 7) / 8;
  for (std::size_t j = 0; j < bytes; ++j) {
    unsigned value = from[j] >> shift;
    if (shift != 0 && j + 1 < readable) value |= unsigned{from[j + 1]} << (8 - shift);
    to[j] = static_cast<std::uint8_t>(value);
  }
  if (length % 8 != 0) to[bytes - 1] &= static_cast<std::uint8_t>((1u << (length % 8)) - 1);
  std::size_t present = 0;
  for (std::size_t j = 0; j < bytes; ++j) present += std::popcount(to[j]);
  const auto missing = static_cast<std::int64_t>(length - present);
  if (missing == 0) out = Buffer();
  out.resize(missing == 0 ? 0 : bytes);
  return missing;
}

// Gives a chunk of 32-bit offsets 64-bit ones. False when memory runs short.
bool widen_offsets(ConvertedChunk& chunk) {
  const std::size_t count = static_cast<std::size_t>(chunk.length) + 1;
  if (!chunk.entries.reserve(count * sizeof(std::int64_t))) return false;
  char* const bytes = chunk.entries.data();
  // From the back, so that no offset is overwritten before it is read.
  for (std::size_t i = count; i-- > 0;) {
    std::int32_t narrow = 0;
    std::memcpy(&narrow, bytes + i * sizeof narrow, sizeof narrow);
    const std::int64_t wide = narrow;
    std::memcpy(bytes + i * sizeof wide, &wide, sizeof wide);
  }
  chunk.entries.resize(count * sizeof(std::int64_t));
  chunk.layout = StringLayout::kLargeString;
  return true;
}

// Where a chunk's converted rows go: offsets and one data buffer, grown as
// rounds arrive.
class OffsetsBuilder final : public ColumnSink {
 public:
  OffsetsBuilder(ConvertedChunk& chunk, std::size_t expected_bytes) : chunk_(chunk) {
    chunk_.data.resize(1);
    expected_bytes_ = expected_bytes;
  }

  bool start() {
    const std::size_t count = static_cast<std::size_t>(chunk_.length) + 1;
    const std::size_t width = chunk_.layout == StringLayout::kString ? 4 : 8;
    if (!chunk_.entries.reserve(count * width, true)) return false;
    chunk_.entries.resize(count * width);
    // At least one byte: a consumer may take no data buffer for a missing one.
    return chunk_.data[0].reserve(std::max<std::size_t>(expected_bytes_, 1));
  }

  bool take(std::size_t first, std::size_t count, const char* bytes,
            const std::size_t* ends) override {
    Buffer& data = chunk_.data[0];
    const std::size_t before = data.size();
    const std::size_t added = ends[count - 1];
    if (chunk_.layout == StringLayout::kString && before + added > kMaxBytes32 &&
        !widen_offsets(chunk_)) {
      return false;
    }
    char* const to = data.room_for(added);
    if (to == nullptr) return false;
    if (added != 0) std::memcpy(to, bytes, added);
    data.resize(before + added);
    if (chunk_.layout == StringLayout::kString) {
      auto* const offsets = reinterpret_cast<std::int32_t*>(chunk_.entries.data()) + first + 1;
      for (std::size_t k = 0; k < count; ++k)
        offsets[k] = static_cast<std::int32_t>(before + ends[k]);
    } else {
      auto* const offsets = reinterpret_cast<std::int64_t*>(chunk_.entries.data()) + first + 1;
      for (std::size_t k = 0; k < count; ++k)
        offsets[k] = static_cast<std::int64_t>(before + ends[k]);
    }
    return true;
  }

 private:
  ConvertedChunk& chunk_;
  std::size_t expected_bytes_ = 0;
};

// Where a chunk's converted rows go as views: short rows in their views,
// the others in data buffers of at most kMaxBytes32 bytes.
class ViewsBuilder final : public ColumnSink {
 public:
  ViewsBuilder(ConvertedChunk& chunk, std::size_t expected_bytes)
      : chunk_(chunk), expected_bytes_(expected_bytes) {}

  bool start() {
    const std::size_t bytes = static_cast<std::size_t>(chunk_.length) * kViewBytes;
    if (!chunk_.entries.reserve(std::max<std::size_t>(bytes, 1), true)) return false;
    chunk_.entries.resize(bytes);
    return true;
  }

  bool take(std::size_t first, std::size_t count, const char* bytes,
            const std::size_t* ends) override {
    std::size_t begin = 0;
    for (std::size_t k = 0; k < count; ++k) {
      const std::size_t size = ends[k] - begin;
      char* const view = chunk_.entries.data() + (first + k) * kViewBytes;
      const auto size32 = static_cast<std::int32_t>(size);
      if (size > kMaxBytes32) return false;
      std::memcpy(view, &size32, 4);
      if (size <= kInlineBytes) {
        if (size != 0) std::memcpy(view + 4, bytes + begin, size);
      } else {
        if (chunk_.data.empty() || chunk_.data.back().size() + size > kMaxBytes32) {
          chunk_.data.emplace_back();
          const std::size_t wanted = std::min(std::max(expected_bytes_, size), kMaxBytes32);
          if (!chunk_.data.back().reserve(wanted)) return false;
        }
        Buffer& data = chunk_.data.back();
        const std::size_t offset = data.size();
        char* const to = data.room_for(size);
        if (to == nullptr) return false;
        std::memcpy(to, bytes + begin, size);
        data.resize(offset + size);
        const auto buffer = static_cast<std::int32_t>(chunk_.data.size() - 1);
        const auto offset32 = static_cast<std::int32_t>(offset);
        std::memcpy(view + 4, bytes + begin, 4);
        std::memcpy(view + 8, &buffer, 4);
        std::memcpy(view + 12, &offset32, 4);
      }
      begin = ends[k];
    }
    return true;
  }

 private:
  ConvertedChunk& chunk_;
  std::size_t expected_bytes_ = 0;
};

}  // namespace

Buffer::Buffer(Buffer&& other) noexcept
    : data_(std::exchange(other.data_, nullptr)),
      size_(std::exchange(other.size_, 0)),
      capacity_(std::exchange(other.capacity_, 0)) {}

Buffer& Buffer::operator=(Buffer&& other) noexcept {
  if (this != &other) {
    std::free(data_);
    data_ = std::exchange(other.data_, nullptr);
    size_ = std::exchange(other.size_, 0);
    capacity_ = std::exchange(other.capacity_, 0);
  }
  return *this;
}

Buffer::~Buffer() { std::free(data_); }

bool Buffer::reserve(std::size_t capacity, bool zeroed) {
  if (capacity <= capacity_) return true;
  void* const grown = std::realloc(data_, capacity);
  if (grown == nullptr) return false;
  data_ = static_cast<char*>(grown);
  if (zeroed) std::memset(data_ + capacity_, 0, capacity - capacity_);
  capacity_ = capacity;
  return true;
}

char* Buffer::room_for(std::size_t count) {
  if (count > SIZE_MAX / 2 - size_) return nullptr;
  if (size_ + count > capacity_ && !reserve(std::max(size_ + count, capacity_ + capacity_ / 2))) {
    return nullptr;
  }
  return data_ + size_;
}

ColumnResult ConvertedColumn::append(const Converter& converter, const StringArray& array,
                                     std::size_t threads) {
  constexpr ColumnResult kOutOfMemory{ColumnOutcome::kOutOfMemory, 0};
  try {
    chunks_.emplace_back();
    ConvertedChunk& chunk = chunks_.back();
    chunk.layout = array.layout();
    chunk.length = static_cast<std::int64_t>(array.size());
    chunk.null_count = copy_validity(array.validity(), array.size(), chunk.validity);
    if (type_.nested) {
      chunk.struct_null_count =
          copy_validity(array.struct_validity(), array.size(), chunk.struct_validity);
    }
    if (chunk.null_count < 0 || chunk.struct_null_count < 0) return kOutOfMemory;
    ColumnResult result;
    if (chunk.layout == StringLayout::kStringView) {
      ViewsBuilder builder(chunk, array.bytes());
      if (!builder.start()) return kOutOfMemory;
      result = convert_column(converter, array, array.size(), builder, threads);
      for (const Buffer& data : chunk.data) {
        chunk.data_sizes.push_back(static_cast<std::int64_t>(data.size()));
      }
    } else {
      OffsetsBuilder builder(chunk, array.bytes());
      if (!builder.start()) return kOutOfMemory;
      result = convert_column(converter, array, array.size(), builder, threads);
    }
    return result;
  } catch (const std::bad_alloc&) {
    return kOutOfMemory;
  }
}

bool ConvertedColumn::finish() {
  if (type_.layout != StringLayout::kString) return true;
  const bool wide = std::any_of(chunks_.begin(), chunks_.end(), [](const ConvertedChunk& chunk) {
    return chunk.layout == StringLayout::kLargeString;
  });
  if (!wide) return true;
  for (ConvertedChunk& chunk : chunks_) {
    if (chunk.layout == StringLayout::kString && !widen_offsets(chunk)) return false;
  }
  type_.layout = StringLayout::kLargeString;
  return true;
}

}  // namespace lumo::columns
