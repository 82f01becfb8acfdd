#include "engine/whole/text_stream.h"

#include <algorithm>
#include <cstring>
#include <new>
#include <utility>

#include "dict/text_units.h"
#include "engine/core/conversion.h"
#include "engine/whole/tuning.h"

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
void BasicTextStream<Unit>::measure_prefix(std::size_t start, std::size_t end) {
  BasicTextBuffer<Unit> converted;
  bool done = false;
  if constexpr (sizeof(Unit) == 1) {
    done = convert_text_to(converter_, {pending_.data() + start, end - start}, converted);
  } else {
    done = convert_units_to(converter_, pending_.data() + start, end - start, converted);
  }
  if (!done) throw std::bad_alloc();
  next_points_ = 0;
  next_bytes_ = 0;
  for (const Unit unit : converted.view()) {
    next_points_ += starts_character(unit);
    if constexpr (sizeof(Unit) == 1) {
      ++next_bytes_;
    } else {
      // Each half of a surrogate pair stands for two of its character's four bytes.
      next_bytes_ += unit < 0x80 ? 1 : unit < 0x800 || is_surrogate(unit) ? 2 : 3;
    }
  }
}

template <typename Unit>
StreamReadiness BasicTextStream<Unit>::ready(bool ended) {
  cut_prefixed_ = false;
  if (ended) {
    // A kept prefix alone converts to nothing the caller keeps.
    if (pending_.size() == prefix_units_) {
      pending_.clear();
      prefix_units_ = dropped_points_ = dropped_bytes_ = 0;
      return {};
    }
    return {pending_.size(), false};
  }
  if (arrived_ == 0) return {};
  const std::size_t work = arrived_ * tuning::kStreamCutWork + tuning::kCutSearchUnits;
  const std::size_t growth = std::exchange(arrived_, 0);
  // Stretches no search near the end cuts (NULs, Latin text under a
  // converter whose keys start with ASCII) are segmented from the start;
  // while the scan finds plain quiet cuts there, it comes first. A prefixed
  // one leaves the search near the end first: in running text that search
  // finds a cut without segmenting the whole chunk again.
  std::size_t cut = std::string::npos;
  bool scanned = false;
  for (int search = 0; search < 2 && cut == std::string::npos; ++search) {
    std::size_t budget = work;
    scanned = (search == 0) == scanning_;
    cut = scanned ? last_run_cut(converter_, pending_.data(), pending_.size(), &scan_, &budget)
                  : last_cut_so_far(converter_, pending_.data(), pending_.size(), &clear_, &budget);
    // A cut inside the kept prefix, or just after it, gives nothing.
    if (cut != std::string::npos && cut <= prefix_units_) cut = std::string::npos;
    if (cut != std::string::npos) scanning_ = scanned && plain_quiet_found();
  }
  // A prefixed scan reaches the last character no key holds, a line feed
  // ending what arrived most often. After a short chunk (from a pipe or a
  // terminal, where waiting for more text delays what has arrived), that
  // cut is worth a scan when the usual search found an earlier one; after a
  // long chunk the usual cut is near enough the end. The usual cut is a
  // segment cut (the plan has neither line nor plain quiet cuts), so the
  // scan may start there: it walks only the few characters after it.
  if (scan_.prefixed && !converter_.plan.quiet_cuts && !scanned && cut != std::string::npos &&
      cut < pending_.size() && growth <= tuning::kCutSearchUnits) {
    std::size_t last = pending_.size() - 1;
    while (last > 0 && !starts_character(pending_[last])) --last;
    std::size_t length = 0;
    if (converter_.plan.is_quiet(decode_char(pending_.data() + last, &length))) {
      if (scan_.pos < cut) {
        scan_ = RunScan{};
        scan_.prefixed = true;
        scan_.pos = cut;
      }
      std::size_t budget = work;
      const std::size_t later =
          last_run_cut(converter_, pending_.data(), pending_.size(), &scan_, &budget);
      if (later != std::string::npos && later > cut) {
        cut = later;
        scanned = true;
        scanning_ = plain_quiet_found();
      }
    }
  }
  if (cut == std::string::npos) return {0, pending_.size() > max_held_};
  if (scanned && scan_.prefix_start != std::string::npos) {
    measure_prefix(scan_.prefix_start, scan_.prefix_end);
    cut_prefixed_ = true;
  }
  return {cut, false};
}

template <typename Unit>
void BasicTextStream<Unit>::take(std::size_t count) {
  if (count == 0) return;
  std::size_t keep = 0;  // units of a prefix kept in front of the rest
  if (cut_prefixed_) {
    const std::size_t start = scan_.prefix_start;
    keep = scan_.prefix_end - start;
    std::memmove(pending_.data() + count - keep, pending_.data() + start, keep * sizeof(Unit));
    scan_.drop_keeping_prefix(count);
    dropped_points_ = next_points_;
    dropped_bytes_ = next_bytes_;
    cut_prefixed_ = false;
  } else {
    scan_.drop(count);
    dropped_points_ = dropped_bytes_ = 0;
  }
  pending_.erase(pending_.begin(), pending_.begin() + static_cast<std::ptrdiff_t>(count - keep));
  prefix_units_ = keep;
  clear_ = keep;
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
