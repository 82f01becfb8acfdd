#include "engine/text_stream.h"

#include <algorithm>

#include "dict/text_units.h"
#include "dict/tuning.h"

namespace lumo {

template <typename Unit>
Unit* BasicTextStream<Unit>::grow(std::size_t count) {
  const std::size_t old_size = pending_.size();
  pending_.resize(old_size + count);  // the only step that can throw
  arrived_ += count;
  last_growth_ = count;
  return pending_.data() + old_size;
}

template <typename Unit>
void BasicTextStream<Unit>::append_units(const Unit* first, std::size_t first_count,
                                         const Unit* second, std::size_t second_count) {
  const std::size_t count = first_count + second_count;
  const std::size_t needed = pending_.size() + count;
  // The only step that can throw; doubling keeps many small appends linear.
  if (needed > pending_.capacity()) pending_.reserve(std::max(needed, 2 * pending_.capacity()));
  pending_.insert(pending_.end(), first, first + first_count);
  pending_.insert(pending_.end(), second, second + second_count);
  arrived_ += count;
  last_growth_ = count;
}

template <typename Unit>
StreamReadiness BasicTextStream<Unit>::ready(bool ended) {
  if (ended) return {pending_.size(), false};
  if (arrived_ == 0) return {};
  const std::size_t work = arrived_ * tuning::kStreamCutWork + tuning::kCutSearchUnits;
  arrived_ = 0;
  // Stretches no search near the end cuts (NULs, Latin text under a
  // converter whose keys start with ASCII) are segmented from the start;
  // while the scan finds quiet cuts there, it comes first.
  std::size_t cut = std::string::npos;
  for (int search = 0; search < 2 && cut == std::string::npos; ++search) {
    std::size_t budget = work;
    const bool scan = (search == 0) == scanning_;
    cut = scan ? last_run_cut(converter_, pending_.data(), pending_.size(), &scan_, &budget)
               : last_cut_so_far(converter_, pending_.data(), pending_.size(), &clear_, &budget);
    if (cut != std::string::npos) scanning_ = scan && scan_.found_quiet;
  }
  if (cut != std::string::npos) return {cut, false};
  return {0, pending_.size() > max_held_};
}

template <typename Unit>
void BasicTextStream<Unit>::take(std::size_t count) {
  pending_.erase(pending_.begin(), pending_.begin() + static_cast<std::ptrdiff_t>(count));
  clear_ = 0;
  scan_.drop(count);
  // A chunk far larger than the ones that follow leaves no lasting mark;
  // chunks of one size reuse the space (given back after each, it was
  // taken afresh from the system and its pages faulted in again).
  if (pending_.capacity() > 4 * (pending_.size() + last_growth_) + tuning::kCutSearchUnits) {
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
  // A character held back is completed by the chunk's first bytes, checked
  // with it in a copy of a few bytes: the chunk itself is not copied.
  const std::size_t held = held_.size();
  std::size_t completing = 0;  // bytes of the chunk checked with those held
  if (held != 0) {
    char joined[8];
    const std::size_t taken = std::min<std::size_t>(bytes.size(), 4);
    std::copy_n(held_.data(), held, joined);
    std::copy_n(bytes.data(), taken, joined + held);
    const Utf8Check head = check_utf8(joined, held + taken);
    // The held character cannot be judged without more bytes only when the
    // chunk is shorter than one character.
    if (head.valid == 0) {
      if (head.cut_short) held_.append(bytes);
      return head;
    }
    completing = head.valid - held;
  }
  Utf8Check check = check_utf8(bytes.data() + completing, bytes.size() - completing);
  check.valid += held + completing;
  if (check.valid < held + bytes.size() && !check.cut_short) return check;
  const std::size_t whole = check.valid - held;  // bytes of the chunk appended
  std::string rest(bytes.substr(whole));
  append_units(held_.data(), held, bytes.data(), whole);
  held_ = std::move(rest);
  return check;
}

template class BasicTextStream<std::uint16_t>;
template class BasicTextStream<char>;
template void TextStream::append(const std::uint8_t*, std::size_t);
template void TextStream::append(const std::uint16_t*, std::size_t);
template void TextStream::append(const std::uint32_t*, std::size_t);

}  // namespace lumo
