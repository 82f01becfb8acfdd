// One array of a string column as a producer hands it over (an ArrowArray
// of a ColumnType), checked and then read in place, row by row.
//
// read() checks everything the array's own fields let it check before any
// row is read: lengths and offsets not negative, the buffers a layout needs
// present, offsets that never decrease, views whose bytes lie inside the
// data buffer they name (by its size, which the array states). The sizes
// of the validity, offsets and views buffers are not stated by the
// interface; they are taken to hold the array's length, as the interface
// requires.
#ifndef LUMO_COLUMNS_STRING_ARRAY_H_
#define LUMO_COLUMNS_STRING_ARRAY_H_

#include <cstddef>
#include <cstdint>
#include <string_view>

#include "columns/arrow_c_interface.h"
#include "columns/column_type.h"
#include "engine/whole/column_conversion.h"

namespace lumo::columns {

// What makes an array unreadable.
enum class LayoutFault {
  kNone,
  kNegativeLength,    // a negative length or offset
  kMissingBuffer,     // a buffer the layout needs is absent
  kBadOffsets,        // offsets that decrease or are negative
  kViewOutOfBounds,   // a view's bytes lie outside its data buffer
  kWrongStructShape,  // a struct without exactly one child of its length
};

// Bits of a validity bitmap: bit `offset + i` tells whether row i is
// present; no bits means every row is.
struct Validity {
  const std::uint8_t* bits = nullptr;
  std::int64_t offset = 0;

  bool present(std::size_t row) const {
    if (bits == nullptr) return true;
    const auto bit = static_cast<std::uint64_t>(offset) + row;
    return (bits[bit >> 3] >> (bit & 7)) & 1;
  }
};

class StringArray final : public ColumnRows {
 public:
  // Reads `array`, of `type`; the array must stay alive and unchanged
  // while this is used. Throws nothing.
  LayoutFault read(const ArrowArray& array, const ColumnType& type);

  // Its rows, and the bytes they hold (an estimate of the result's size).
  std::size_t size() const { return length_; }
  std::size_t bytes() const { return bytes_; }
  StringLayout layout() const { return layout_; }
  // The strings' validity; and, for a struct, the struct's.
  const Validity& validity() const { return validity_; }
  const Validity& struct_validity() const { return struct_validity_; }

  std::string_view row(std::size_t index) const override;
  // row() for each, with the layout and the validity tested once.
  void read_rows(std::size_t begin, std::size_t end, std::string_view* out) const override;
  // The rows of the offset layouts lie one after another in the data.
  std::string_view span(std::size_t begin, std::size_t end) const override;

 private:
  LayoutFault read_strings(const ArrowArray& array, std::int64_t first);
  LayoutFault read_views(const ArrowArray& array, std::int64_t first);
  template <typename Offset>
  void read_offset_rows(std::size_t begin, std::size_t end, std::string_view* out) const;

  StringLayout layout_ = StringLayout::kString;
  std::size_t length_ = 0;
  std::size_t bytes_ = 0;
  Validity validity_;
  Validity struct_validity_;
  // The offsets or views of row 0, and the data: one buffer, or the view
  // data buffers.
  const void* entries_ = nullptr;
  const char* data_ = nullptr;
  const char* const* view_buffers_ = nullptr;
};

}  // namespace lumo::columns

#endif  // LUMO_COLUMNS_STRING_ARRAY_H_
