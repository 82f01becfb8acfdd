// A converted string column: the chunks of a column converted one by one,
// each in buffers of its own laid out as the Arrow C data interface wants
// them (arrow_export.h hands them out), in the input's type.
//
// A string chunk whose result would pass 2^31 - 1 bytes takes 64-bit
// offsets, and finish() then gives every other string chunk 64-bit offsets
// too, since a column has one type: such a column comes out large_string.
// A string_view chunk keeps rows of up to 12 bytes in their views and the
// rest in data buffers of at most 2^31 - 1 bytes each. Validity bitmaps
// are copied to start at bit 0. Immutable once finished; then any number
// of threads may read it.
#ifndef LUMO_COLUMNS_CONVERTED_COLUMN_H_
#define LUMO_COLUMNS_CONVERTED_COLUMN_H_

#include <cstddef>
#include <cstdint>
#include <utility>
#include <vector>

#include "columns/column_type.h"
#include "columns/string_array.h"
#include "engine/whole/column_conversion.h"

namespace lumo::columns {

// Bytes from malloc, freed with the object. Movable, not copyable.
class Buffer {
 public:
  Buffer() = default;
  Buffer(Buffer&& other) noexcept;
  Buffer& operator=(Buffer&& other) noexcept;
  ~Buffer();

  // Makes room for `capacity` bytes in all, keeping what the buffer holds;
  // `zeroed` clears new bytes. False when memory runs short.
  bool reserve(std::size_t capacity, bool zeroed = false);
  // Room for `count` more bytes past size(), growing by half again at
  // least; nullptr when memory runs short.
  char* room_for(std::size_t count);

  char* data() const { return data_; }
  std::size_t size() const { return size_; }
  void resize(std::size_t size) { size_ = size; }

 private:
  char* data_ = nullptr;
  std::size_t size_ = 0;
  std::size_t capacity_ = 0;
};

struct ConvertedChunk {
  StringLayout layout = StringLayout::kString;
  std::int64_t length = 0;
  // The strings' validity (no data when no row is missing) and a struct's.
  std::int64_t null_count = 0;
  Buffer validity;
  std::int64_t struct_null_count = 0;
  Buffer struct_validity;
  // Offsets (length + 1 of them), or views (length of them).
  Buffer entries;
  // The data: one buffer for offsets, the views' data buffers and their
  // sizes for views.
  std::vector<Buffer> data;
  std::vector<std::int64_t> data_sizes;
};

class ConvertedColumn {
 public:
  explicit ConvertedColumn(ColumnType type) : type_(std::move(type)) {}

  // Converts `array`, a chunk of the column's type, on at most `threads`
  // threads and appends its result as the next chunk. A row's index in a
  // ColumnResult counts from the array's first row. Throws nothing.
  ColumnResult append(const Converter& converter, const StringArray& array, std::size_t threads);
  // After the last chunk: gives every chunk the column's one type. False
  // when memory runs short.
  bool finish();

  // The type of the result.
  const ColumnType& type() const { return type_; }
  const std::vector<ConvertedChunk>& chunks() const { return chunks_; }

 private:
  ColumnType type_;
  std::vector<ConvertedChunk> chunks_;
};

}  // namespace lumo::columns

#endif  // LUMO_COLUMNS_CONVERTED_COLUMN_H_
