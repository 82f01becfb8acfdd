#include "columns/string_array.h"

#include <cstring>

namespace lumo::columns {
namespace {

constexpr std::size_t kViewBytes = 16;
// A view of at most this many bytes holds them itself.
constexpr std::int32_t kInlineBytes = 12;

std::int32_t view_field(const char* view, std::size_t at) {
  std::int32_t value = 0;
  std::memcpy(&value, view + at, sizeof value);
  return value;
}

// Checks that offsets[0, count] never decrease and start at zero or more;
// their last minus their first is `*bytes`.
template <typename Offset>
bool offsets_increase(const Offset* offsets, std::size_t count, std::size_t* bytes) {
  Offset previous = offsets[0];
  if (previous < 0) return false;
  bool increasing = true;
  for (std::size_t i = 1; i <= count; ++i) {
    increasing &= offsets[i] >= previous;
    previous = offsets[i];
  }
  if (!increasing) return false;
  *bytes = static_cast<std::size_t>(previous - offsets[0]);
  return true;
}

}  // namespace

LayoutFault StringArray::read(const ArrowArray& array, const ColumnType& type) {
  *this = StringArray();
  layout_ = type.layout;
  if (array.length < 0 || array.offset < 0) return LayoutFault::kNegativeLength;
  const ArrowArray* strings = &array;
  std::int64_t first = array.offset;
  if (type.nested) {
    if (array.n_children != 1 || array.children == nullptr || array.children[0] == nullptr) {
      return LayoutFault::kWrongStructShape;
    }
    if (array.n_buffers < 1 || array.buffers == nullptr) return LayoutFault::kMissingBuffer;
    if (array.null_count != 0 && array.buffers[0] != nullptr) {
      struct_validity_ = {static_cast<const std::uint8_t*>(array.buffers[0]), array.offset};
    }
    strings = array.children[0];
    if (strings->length < 0 || strings->offset < 0) return LayoutFault::kNegativeLength;
    // The struct's offset and length apply to its child on top of the
    // child's own.
    if (array.offset > INT64_MAX - array.length || strings->length < array.offset + array.length) {
      return LayoutFault::kWrongStructShape;
    }
    if (strings->offset > INT64_MAX - array.offset) return LayoutFault::kNegativeLength;
    first = strings->offset + array.offset;
  }
  if (first > INT64_MAX - array.length - 1) return LayoutFault::kNegativeLength;
  length_ = static_cast<std::size_t>(array.length);
  if (strings->n_buffers < 1 || strings->buffers == nullptr) return LayoutFault::kMissingBuffer;
  if (strings->null_count != 0 && strings->buffers[0] != nullptr) {
    validity_ = {static_cast<const std::uint8_t*>(strings->buffers[0]), first};
  }
  return layout_ == StringLayout::kStringView ? read_views(*strings, first)
                                              : read_strings(*strings, first);
}

LayoutFault StringArray::read_strings(const ArrowArray& array, std::int64_t first) {
  if (array.n_buffers != 3) return LayoutFault::kMissingBuffer;
  if (length_ == 0) return LayoutFault::kNone;
  const void* const offsets = array.buffers[1];
  if (offsets == nullptr) return LayoutFault::kMissingBuffer;
  bool increasing = false;
  if (layout_ == StringLayout::kString) {
    const auto* const own = static_cast<const std::int32_t*>(offsets) + first;
    increasing = offsets_increase(own, length_, &bytes_);
    entries_ = own;
  } else {
    const auto* const own = static_cast<const std::int64_t*>(offsets) + first;
    increasing = offsets_increase(own, length_, &bytes_);
    entries_ = own;
  }
  if (!increasing) return LayoutFault::kBadOffsets;
  data_ = static_cast<const char*>(array.buffers[2]);
  if (data_ == nullptr && bytes_ != 0) return LayoutFault::kMissingBuffer;
  return LayoutFault::kNone;
}

LayoutFault StringArray::read_views(const ArrowArray& array, std::int64_t first) {
  // The validity, the views, the data buffers and the data buffers' sizes.
  if (array.n_buffers < 3) return LayoutFault::kMissingBuffer;
  const std::int64_t data_buffers = array.n_buffers - 3;
  view_buffers_ = reinterpret_cast<const char* const*>(array.buffers + 2);
  const auto* const sizes = static_cast<const std::int64_t*>(array.buffers[array.n_buffers - 1]);
  if (data_buffers > 0 && sizes == nullptr) return LayoutFault::kMissingBuffer;
  if (length_ == 0) return LayoutFault::kNone;
  const auto* const views = static_cast<const char*>(array.buffers[1]);
  if (views == nullptr) return LayoutFault::kMissingBuffer;
  entries_ = views + static_cast<std::size_t>(first) * kViewBytes;
  for (std::size_t i = 0; i < length_; ++i) {
    // The views of missing rows may hold anything.
    if (!validity_.present(i) || !struct_validity_.present(i)) continue;
    const char* const view = static_cast<const char*>(entries_) + i * kViewBytes;
    const std::int32_t size = view_field(view, 0);
    if (size < 0) return LayoutFault::kViewOutOfBounds;
    bytes_ += static_cast<std::size_t>(size);
    if (size <= kInlineBytes) continue;
    const std::int32_t buffer = view_field(view, 8);
    const std::int32_t offset = view_field(view, 12);
    if (buffer < 0 || buffer >= data_buffers || offset < 0 ||
        std::int64_t{offset} + size > sizes[buffer]) {
      return LayoutFault::kViewOutOfBounds;
    }
    if (view_buffers_[buffer] == nullptr) return LayoutFault::kMissingBuffer;
  }
  return LayoutFault::kNone;
}

std::string_view StringArray::row(std::size_t index) const {
  if (!validity_.present(index) || !struct_validity_.present(index)) return {};
  switch (layout_) {
    case StringLayout::kString: {
      const auto* const offsets = static_cast<const std::int32_t*>(entries_);
      return {data_ + offsets[index],
              static_cast<std::size_t>(offsets[index + 1] - offsets[index])};
    }
    case StringLayout::kLargeString: {
      const auto* const offsets = static_cast<const std::int64_t*>(entries_);
      return {data_ + offsets[index],
              static_cast<std::size_t>(offsets[index + 1] - offsets[index])};
    }
    default: {
      const char* const view = static_cast<const char*>(entries_) + index * kViewBytes;
      const auto size = static_cast<std::size_t>(view_field(view, 0));
      if (size <= kInlineBytes) return {view + 4, size};
      return {view_buffers_[view_field(view, 8)] + view_field(view, 12), size};
    }
  }
}

template <typename Offset>
void StringArray::read_offset_rows(std::size_t begin, std::size_t end,
                                   std::string_view* out) const {
  const auto* const offsets = static_cast<const Offset*>(entries_);
  for (std::size_t i = begin; i < end; ++i) {
    out[i - begin] = {data_ + offsets[i], static_cast<std::size_t>(offsets[i + 1] - offsets[i])};
  }
}

void StringArray::read_rows(std::size_t begin, std::size_t end, std::string_view* out) const {
  const bool all_present = validity_.bits == nullptr && struct_validity_.bits == nullptr;
  if (all_present && layout_ == StringLayout::kString) {
    return read_offset_rows<std::int32_t>(begin, end, out);
  }
  if (all_present && layout_ == StringLayout::kLargeString) {
    return read_offset_rows<std::int64_t>(begin, end, out);
  }
  for (std::size_t i = begin; i < end; ++i) out[i - begin] = row(i);
}

std::string_view StringArray::span(std::size_t begin, std::size_t end) const {
  if (begin == end || data_ == nullptr) return {};
  std::int64_t first = 0;
  std::int64_t last = 0;
  if (layout_ == StringLayout::kString) {
    first = static_cast<const std::int32_t*>(entries_)[begin];
    last = static_cast<const std::int32_t*>(entries_)[end];
  } else if (layout_ == StringLayout::kLargeString) {
    first = static_cast<const std::int64_t*>(entries_)[begin];
    last = static_cast<const std::int64_t*>(entries_)[end];
  } else {
    return {};
  }
  return {data_ + first, static_cast<std::size_t>(last - first)};
}

}  // namespace lumo::columns
