// TextBuffer: the growable byte buffer conversion writes into.
//
// Unlike std::string it neither zero-fills on growth nor re-checks its
// terminator on every append, and it keeps kSlack spare bytes past its
// capacity, so that a short value can be copied with one fixed 16-byte move.
// Conversion appends millions of 1- to 12-byte pieces; these are its only
// per-piece costs.
#ifndef LUMO_ENGINE_TEXT_BUFFER_H_
#define LUMO_ENGINE_TEXT_BUFFER_H_

#include <cstddef>
#include <cstring>
#include <memory>
#include <string_view>

namespace lumo {

class TextBuffer {
 public:
  static constexpr std::size_t kSlack = 16;

  explicit TextBuffer(std::size_t capacity = 0) { reserve(capacity); }

  const char* data() const { return data_.get(); }
  std::size_t size() const { return size_; }
  std::string_view view() const { return {data_.get(), size_}; }

  // Cuts the buffer back to `size` bytes (no more than it holds).
  void truncate(std::size_t size) { size_ = size; }
  void clear() { size_ = 0; }
  void reserve(std::size_t capacity);

  void append(const char* bytes, std::size_t count) {
    if (count > capacity_ - size_) reserve(2 * (size_ + count));
    std::memcpy(data_.get() + size_, bytes, count);
    size_ += count;
  }
  void append(std::string_view text) { append(text.data(), text.size()); }

  // Appends one UTF-8 character of `count` (1 to 4) bytes.
  void append_char(const char* bytes, std::size_t count) {
    if (count > capacity_ - size_) reserve(2 * (size_ + count));
    char* out = data_.get() + size_;
    switch (count) {  // fixed-size copies; the slack absorbs the spare bytes
      case 1:
        out[0] = bytes[0];
        break;
      case 2:
        std::memcpy(out, bytes, 2);
        break;
      case 3:
        std::memcpy(out, bytes, 2);
        out[2] = bytes[2];
        break;
      default:
        std::memcpy(out, bytes, 4);
        break;
    }
    size_ += count;
  }

  // Appends `count` bytes from `bytes`, which must be followed by at least
  // kSlack readable bytes (a lexicon's values are).
  void append_padded(const char* bytes, std::size_t count) {
    if (count > kSlack || count > capacity_ - size_) {
      append(bytes, count);
      return;
    }
    std::memcpy(data_.get() + size_, bytes, kSlack);
    size_ += count;
  }

 private:
  std::unique_ptr<char[]> data_;
  std::size_t size_ = 0;
  std::size_t capacity_ = 0;  // usable bytes; the allocation has kSlack more
};

inline void TextBuffer::reserve(std::size_t capacity) {
  if (capacity <= capacity_ && data_) return;
  std::unique_ptr<char[]> grown(new char[capacity + kSlack]);
  if (size_ > 0) std::memcpy(grown.get(), data_.get(), size_);
  data_ = std::move(grown);
  capacity_ = capacity;
}

}  // namespace lumo

#endif  // LUMO_ENGINE_TEXT_BUFFER_H_
