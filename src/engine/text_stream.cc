#include "engine/text_stream.h"

#include <string>

#include "dict/text_units.h"
#include "dict/tuning.h"
#include "engine/text_cuts.h"

namespace lumo {

template <typename CodePoint>
void TextStream::append(const CodePoint* chars, std::size_t count) {
  std::size_t wide = 0;
  if constexpr (sizeof(CodePoint) == 4) {
    for (std::size_t i = 0; i < count; ++i) wide += chars[i] > 0xFFFF;
  }
  const std::size_t old_size = pending_.size();
  pending_.resize(old_size + count + wide);  // the only step that can throw
  std::uint16_t* out = pending_.data() + old_size;
  if (wide == 0) {
    for (std::size_t i = 0; i < count; ++i) out[i] = static_cast<std::uint16_t>(chars[i]);
  } else {
    for (std::size_t i = 0; i < count; ++i) out = encode_char(char32_t(chars[i]), out);
  }
  arrived_ += count + wide;
}

std::size_t TextStream::ready(bool ended) {
  if (ended) return pending_.size();
  if (arrived_ == 0) return 0;
  std::size_t budget = arrived_ * tuning::kStreamCutWork + tuning::kCutSearchUnits;
  arrived_ = 0;
  const std::size_t cut =
      last_cut_so_far(converter_, pending_.data(), pending_.size(), &clear_, &budget);
  return cut == std::string::npos ? 0 : cut;
}

void TextStream::take(std::size_t count) {
  pending_.erase(pending_.begin(), pending_.begin() + static_cast<std::ptrdiff_t>(count));
  clear_ = 0;
  // A chunk far larger than the ones that follow leaves no lasting mark.
  if (pending_.capacity() > 4 * pending_.size() + tuning::kCutSearchUnits) {
    pending_.shrink_to_fit();
  }
}

template void TextStream::append(const std::uint8_t*, std::size_t);
template void TextStream::append(const std::uint16_t*, std::size_t);
template void TextStream::append(const std::uint32_t*, std::size_t);

}  // namespace lumo
