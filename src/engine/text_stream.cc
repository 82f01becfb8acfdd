#include "engine/text_stream.h"

#include <algorithm>

#include "dict/text_units.h"
#include "dict/tuning.h"
#include "engine/text_cuts.h"

namespace lumo {

template <typename Unit>
Unit* BasicTextStream<Unit>::grow(std::size_t count) {
  const std::size_t old_size = pending_.size();
  pending_.resize(old_size + count);  // the only step that can throw
  arrived_ += count;
  return pending_.data() + old_size;
}

template <typename Unit>
std::size_t BasicTextStream<Unit>::ready(bool ended) {
  if (ended) return pending_.size();
  if (arrived_ == 0) return 0;
  std::size_t budget = arrived_ * tuning::kStreamCutWork + tuning::kCutSearchUnits;
  arrived_ = 0;
  const std::size_t cut =
      last_cut_so_far(converter_, pending_.data(), pending_.size(), &clear_, &budget);
  return cut == std::string::npos ? 0 : cut;
}

template <typename Unit>
void BasicTextStream<Unit>::take(std::size_t count) {
  pending_.erase(pending_.begin(), pending_.begin() + static_cast<std::ptrdiff_t>(count));
  clear_ = 0;
  // A chunk far larger than the ones that follow leaves no lasting mark.
  if (pending_.capacity() > 4 * pending_.size() + tuning::kCutSearchUnits) {
    pending_.shrink_to_fit();
  }
}

template <typename CodePoint>
void TextStream::append(const CodePoint* chars, std::size_t count) {
  std::size_t wide = 0;
  if constexpr (sizeof(CodePoint) == 4) {
    for (std::size_t i = 0; i < count; ++i) wide += chars[i] > 0xFFFF;
  }
  std::uint16_t* out = grow(count + wide);
  if (wide == 0) {
    for (std::size_t i = 0; i < count; ++i) out[i] = static_cast<std::uint16_t>(chars[i]);
  } else {
    for (std::size_t i = 0; i < count; ++i) out = encode_char(char32_t(chars[i]), out);
  }
}

Utf8Check Utf8TextStream::append(std::string_view bytes) {
  // A character held back is completed by the chunk's first bytes.
  std::string joined;
  std::string_view text = bytes;
  if (!held_.empty()) {
    joined.reserve(held_.size() + bytes.size());
    joined.append(held_).append(bytes);
    text = joined;
  }
  const Utf8Check check = check_utf8(text.data(), text.size());
  if (check.valid < text.size() && !check.cut_short) return check;
  std::string held(text.substr(check.valid));
  std::copy_n(text.data(), check.valid, grow(check.valid));
  held_ = std::move(held);
  return check;
}

template class BasicTextStream<std::uint16_t>;
template class BasicTextStream<char>;
template void TextStream::append(const std::uint8_t*, std::size_t);
template void TextStream::append(const std::uint16_t*, std::size_t);
template void TextStream::append(const std::uint32_t*, std::size_t);

}  // namespace lumo
