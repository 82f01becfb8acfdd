// TextBuffer: the growable buffer conversion writes into, of UTF-8 (char),
// UTF-16 (std::uint16_t) or UTF-32 (std::uint32_t) units.
//
// Unlike std::string it neither zero-fills on growth nor re-checks its
// terminator on every append, and it keeps kSlack spare units past its
// capacity, so that a short value can be copied with one fixed 16-byte move.
// Conversion appends millions of 1- to 12-byte pieces; these are its only
// per-piece costs.
#ifndef LUMO_ENGINE_TEXT_BUFFER_H_
#define LUMO_ENGINE_TEXT_BUFFER_H_

#include <cstddef>
#include <cstdint>
#include <cstring>
#include <memory>
#include <string_view>

#include "dict/utf8.h"

namespace lumo {

template <typename Unit>
class BasicTextBuffer {
 public:
  static constexpr std::size_t kSlack = 16;

  explicit BasicTextBuffer(std::size_t capacity = 0) { reserve(capacity); }

  const Unit* data() const { return data_.get(); }
  std::size_t size() const { return size_; }
  std::basic_string_view<Unit> view() const { return {data_.get(), size_}; }

  // Cuts the buffer back to `size` units (no more than it holds).
  void truncate(std::size_t size) { size_ = size; }
  void clear() { size_ = 0; }
  void reserve(std::size_t capacity);

  void append(const Unit* units, std::size_t count) {
    if (count > capacity_ - size_) reserve(2 * (size_ + count));
    std::memcpy(data_.get() + size_, units, count * sizeof(Unit));
    size_ += count;
  }

  // Room for `count` more units, written in place and then kept with
  // keep_until().
  Unit* room_for(std::size_t count) {
    if (count > capacity_ - size_) reserve(2 * (size_ + count));
    return data_.get() + size_;
  }
  void keep_until(const Unit* end) { size_ = static_cast<std::size_t>(end - data_.get()); }

  // Appends `code_point`, encoded.
  void append_code_point(char32_t code_point) { keep_until(encode_char(code_point, room_for(4))); }

  // Appends one character of `count` units.
  void append_char(const Unit* units, std::size_t count) {
    if (count > capacity_ - size_) reserve(2 * (size_ + count));
    Unit* out = data_.get() + size_;
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
      if (value.size() > capacity_ - size_) reserve(2 * (size_ + value.size()));
      if constexpr (sizeof(Unit) == 1) {
        append(value.data(), value.size());
        return;
      }
    }
    if constexpr (sizeof(Unit) == 1) {
      std::memcpy(data_.get() + size_, value.data(), kSlack);
      size_ += value.size();
    } else {
      // At most one unit per byte of UTF-8.
      Unit* out = data_.get() + size_;
      const auto* bytes = reinterpret_cast<const unsigned char*>(value.data());
      if (value.size() == 3 && bytes[0] >= 0xE0) {  // one three-byte character: the usual value
        *out = static_cast<Unit>(((bytes[0] & 0x0Fu) << 12) | ((bytes[1] & 0x3Fu) << 6) |
                                 (bytes[2] & 0x3Fu));
        ++size_;
        return;
      }
      for (std::size_t pos = 0; pos < value.size();) {
        std::size_t length = 0;
        out = encode_char(utf8_decode(value.data() + pos, &length), out);
        pos += length;
      }
      size_ = static_cast<std::size_t>(out - data_.get());
    }
  }

 private:
  std::unique_ptr<Unit[]> data_;
  std::size_t size_ = 0;
  std::size_t capacity_ = 0;  // usable units; the allocation has kSlack more
};

template <typename Unit>
void BasicTextBuffer<Unit>::reserve(std::size_t capacity) {
  if (capacity <= capacity_ && data_) return;
  std::unique_ptr<Unit[]> grown(new Unit[capacity + kSlack]);
  if (size_ > 0) std::memcpy(grown.get(), data_.get(), size_ * sizeof(Unit));
  data_ = std::move(grown);
  capacity_ = capacity;
}

using TextBuffer = BasicTextBuffer<char>;

}  // namespace lumo

#endif  // LUMO_ENGINE_TEXT_BUFFER_H_
