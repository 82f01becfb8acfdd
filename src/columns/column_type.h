// The types of Arrow columns lumo converts: values of one of the three
// string layouts, alone or as the one field of a struct (a table of one
// column), read from an ArrowSchema.
#ifndef LUMO_COLUMNS_COLUMN_TYPE_H_
#define LUMO_COLUMNS_COLUMN_TYPE_H_

#include <cstdint>
#include <optional>
#include <string>

#include "columns/arrow_c_interface.h"

namespace lumo::columns {

// How an array holds its strings: 32-bit offsets ("u"), 64-bit offsets
// ("U"), or 16-byte views of inline bytes or of data buffers ("vu").
enum class StringLayout { kString, kLargeString, kStringView };

// The format string of a layout.
const char* layout_format(StringLayout layout);

struct ColumnType {
  StringLayout layout = StringLayout::kString;
  // The strings' field: its name and flags.
  std::string name;
  std::int64_t flags = ARROW_FLAG_NULLABLE;
  // Whether the strings are the one field of a struct, and the struct's
  // own name and flags.
  bool nested = false;
  std::string struct_name;
  std::int64_t struct_flags = 0;
};

// The column type `schema` describes; or nullopt, with `*type_name` set to
// the name of the type it describes instead (its format string where the
// type has no short name). Throws std::bad_alloc.
std::optional<ColumnType> read_column_type(const ArrowSchema& schema, std::string* type_name);

}  // namespace lumo::columns

#endif  // LUMO_COLUMNS_COLUMN_TYPE_H_
