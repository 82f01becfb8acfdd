// TextBuffer: the growable buffer conversion writes into, of UTF-8 (char),
// UTF-16 (std::uint16_t) or UTF-32 (std::uint32_t) units.
//
// Unlike std::string it neither zero-fills on growth nor re-checks its
// terminator on every append, and it keeps kSlack spare units past its
// capacity, so that a short value can be copied with one fixed 16-byte move.
// Conversion appends millions of 1- to 12-byte pieces; these are its only
// per-piece costs.
//
// Its first kMaxRoom units are a spare area inside the object, so that a
// short conversion allocates nothing. Running short of memory does not
// throw: the buffer drops what it holds, records the failure (failed()),
// and goes on taking writes into that spare area, so that a conversion on a thread that must not
// throw (see worker_threads.h) runs to its end without writing out of bounds. Its content is then
// meaningless, and whoever reads it checks failed() first. Not copyable or movable: the spare area
// is part of the object.
#ifndef LUMO_ENGINE_CORE_TEXT_BUFFER_H_
#define LUMO_ENGINE_CORE_TEXT_BUFFER_H_

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <string_view>

#include "dict/text_units.h"

namespace lumo {

template <typename Unit>
class BasicTextBuffer {
 public:
  static constexpr std::size_t kSlack = 16;
  // The most units one room_for() may ask for.
  static constexpr std::size_t kMaxRoom = 512;

  BasicTextBuffer() = default;
  BasicTextBuffer(const BasicTextBuffer&) = delete;
  BasicTextBuffer& operator=(const BasicTextBuffer&) = delete;
  ~BasicTextBuffer() { release(); }

  const Unit* data() const { return data_; }
  Unit* data() { return data_; }
  std::size_t size() const { return size_; }
  std::basic_string_view<Unit> view() const { return {data_, size_}; }
  // Whether memory ran short since the buffer was made: what it holds is
  // then meaningless.
  bool failed() const { return failed_; }

  // Cuts the buffer back to `size` units (no more than it holds).
  void truncate(std::size_t size) { size_ = std::min(size, size_); }
  void clear() { size_ = 0; }
  // Makes room for `capacity` units in all; false, with the buffer failed,
  // when memory runs short.
  bool reserve(std::size_t capacity);
  // Marks the buffer failed, as running short of memory would.
  void fail();

  void append(const Unit* units, std::size_t count) {
    if (count > capacity_ - size_ && !make_room(count)) return;
    std::memcpy(data_ + size_, units, count * sizeof(Unit));
    size_ += count;
  }

  // append(units, count), where `readable` units (`count` or more) can be
  // read from `units`: a short count is one fixed-size move of kShortUnits,
  // the slack absorbing what it copies past `count`. Short copies of varied
  // sizes, like the stretches between conversions in running text,
  // mispredict in memcpy's choice of a copy by size (callgrind: tw2sp 10%
  // fewer mispredicted branches in all).
  static constexpr std::size_t kShortUnits = std::min(kSlack, 32 / sizeof(Unit));
  void append_readable(const Unit* units, std::size_t count, std::size_t readable) {
    if (count > kShortUnits || readable < kShortUnits) return append(units, count);
    if (count > capacity_ - size_ && !make_room(count)) return;
    std::memcpy(data_ + size_, units, kShortUnits * sizeof(Unit));
    size_ += count;
  }

  // Room for `count` (at most kMaxRoom) more units, written in place and
  // then kept with keep_until().
  Unit* room_for(std::size_t count) {
    if (count > capacity_ - size_) make_room(count);
    return data_ + size_;
  }
  void keep_until(const Unit* end) { size_ = static_cast<std::size_t>(end - data_); }

  // Appends one character of `count` units.
  void append_char(const Unit* units, std::size_t count) {
    if (count > capacity_ - size_) make_room(count);
    Unit* out = data_ + size_;
    if constexpr (sizeof(Unit) == 4) {
      out[0] = units[0];
    } else if constexpr (sizeof(Unit) == 2) {
      out[0] = units[0];
      if (count > 1) out[1] = units[1];
    } else {
      switch (count) {  // fixed-size copies; the slack absorbs the spare bytes
        case 1:
          out[0] = units[0];
          break;
        case 2:
          std::memcpy(out, units, 2);
          break;
        case 3:
          std::memcpy(out, units, 2);
          out[2] = units[2];
          break;
        default:
          std::memcpy(out, units, 4);
          break;
      }
    }
    size_ += count;
  }

  // Appends a lexicon value: its UTF-8 bytes, which must be followed by at
  // least kSlack readable bytes (a lexicon's values are); or its UTF-16 or
  // UTF-32 form.
  void append_value(std::string_view value) {
    if (value.size() > kSlack || value.size() > capacity_ - size_) {
      if (value.size() > capacity_ - size_ && !make_room(value.size())) return;
      if constexpr (sizeof(Unit) == 1) {
        append(value.data(), value.size());
        return;
      }
    }
    if constexpr (sizeof(Unit) == 1) {
      std::memcpy(data_ + size_, value.data(), kSlack);
      size_ += value.size();
    } else {
      // At most one unit per byte of UTF-8.
      Unit* out = data_ + size_;
      const auto* bytes = reinterpret_cast<const unsigned char*>(value.data());
      if (value.size() == 3 && bytes[0] >= 0xE0) {  // one three-byte character: the usual value
        *out = static_cast<Unit>(utf8_decode_three(bytes));
        ++size_;
        return;
      }
      for (std::size_t pos = 0; pos < value.size();) {
        std::size_t length = 0;
        out = encode_char(utf8_decode(value.data() + pos, &length), out);
        pos += length;
      }
      size_ = static_cast<std::size_t>(out - data_);
    }
  }

 private:
  // Grows the buffer for `count` more units; failing that, empties it, so
  // that what follows is written over the spare area. True when `count`
  // units fit now.
  bool make_room(std::size_t count);
  void release() {
    if (data_ != spare_) std::free(data_);
  }

  Unit* data_ = spare_;
  std::size_t size_ = 0;
  std::size_t capacity_ = kMaxRoom;  // usable units; the storage has kSlack more
  bool failed_ = false;
  // Where writes go before the first allocation, and once memory has run
  // short.
  Unit spare_[kMaxRoom + kSlack];
};

template <typename Unit>
bool BasicTextBuffer<Unit>::reserve(std::size_t capacity) {
  if (failed_) return false;
  if (capacity <= capacity_) return true;
  constexpr std::size_t kMaxUnits = PTRDIFF_MAX / sizeof(Unit) - kSlack;
  Unit* grown = capacity <= kMaxUnits
                    ? static_cast<Unit*>(std::malloc((capacity + kSlack) * sizeof(Unit)))
                    : nullptr;
  if (grown == nullptr) {
    fail();
    return false;
  }
  if (size_ > 0) std::memcpy(grown, data_, size_ * sizeof(Unit));
  release();
  data_ = grown;
  capacity_ = capacity;
  return true;
}

template <typename Unit>
void BasicTextBuffer<Unit>::fail() {
  release();
  data_ = spare_;
  size_ = 0;
  capacity_ = kMaxRoom;
  failed_ = true;
}

template <typename Unit>
bool BasicTextBuffer<Unit>::make_room(std::size_t count) {
  if (!failed_ && count <= SIZE_MAX / 4 - size_ && reserve(2 * (size_ + count))) return true;
  if (!failed_) fail();
  size_ = 0;
  return count <= capacity_;
}

using TextBuffer = BasicTextBuffer<char>;

}  // namespace lumo

#endif  // LUMO_ENGINE_CORE_TEXT_BUFFER_H_
