#include "columns/column_type.h"

#include <cstring>
#include <string_view>

namespace lumo::columns {
namespace {

struct FormatName {
  std::string_view format;
  std::string_view name;
};

// The names of the types whose format strings are fixed.
constexpr FormatName kFormatNames[] = {
    {"n", "null"},
    {"b", "bool"},
    {"c", "int8"},
    {"C", "uint8"},
    {"s", "int16"},
    {"S", "uint16"},
    {"i", "int32"},
    {"I", "uint32"},
    {"l", "int64"},
    {"L", "uint64"},
    {"e", "float16"},
    {"f", "float32"},
    {"g", "float64"},
    {"z", "binary"},
    {"Z", "large_binary"},
    {"vz", "binary_view"},
    {"u", "string"},
    {"U", "large_string"},
    {"vu", "string_view"},
    {"tdD", "date32"},
    {"tdm", "date64"},
    {"+l", "list"},
    {"+L", "large_list"},
    {"+vl", "list_view"},
    {"+s", "struct"},
    {"+m", "map"},
    {"+ud", "dense_union"},
    {"+us", "sparse_union"},
    {"+r", "run_end_encoded"},
};

std::string name_of(const ArrowSchema& schema) {
  if (schema.dictionary != nullptr) return "dictionary";
  const std::string_view format = schema.format == nullptr ? "" : schema.format;
  for (const FormatName& known : kFormatNames) {
    if (known.format == format) return std::string(known.name);
  }
  // Parametrized types by their family: "d:19,10" decimal, "w:16"
  // fixed-size binary, "tsu:UTC" timestamp, "+w:4" fixed-size list.
  if (format.starts_with("d:")) return "decimal";
  if (format.starts_with("w:")) return "fixed_size_binary";
  if (format.starts_with("ts")) return "timestamp";
  if (format.starts_with("tt")) return "time";
  if (format.starts_with("tD")) return "duration";
  if (format.starts_with("ti")) return "interval";
  if (format.starts_with("+w:")) return "fixed_size_list";
  return std::string(format);
}

std::optional<StringLayout> layout_of(const ArrowSchema& schema) {
  if (schema.format == nullptr || schema.dictionary != nullptr) return std::nullopt;
  const std::string_view format = schema.format;
  if (format == "u") return StringLayout::kString;
  if (format == "U") return StringLayout::kLargeString;
  if (format == "vu") return StringLayout::kStringView;
  return std::nullopt;
}

}  // namespace

const char* layout_format(StringLayout layout) {
  switch (layout) {
    case StringLayout::kString:
      return "u";
    case StringLayout::kLargeString:
      return "U";
    default:
      return "vu";
  }
}

std::optional<ColumnType> read_column_type(const ArrowSchema& schema, std::string* type_name) {
  ColumnType type;
  const ArrowSchema* strings = &schema;
  if (schema.format != nullptr && std::strcmp(schema.format, "+s") == 0 &&
      schema.dictionary == nullptr && schema.n_children == 1 && schema.children != nullptr &&
      schema.children[0] != nullptr) {
    type.nested = true;
    type.struct_name = schema.name == nullptr ? "" : schema.name;
    type.struct_flags = schema.flags;
    strings = schema.children[0];
  }
  const std::optional<StringLayout> layout = layout_of(*strings);
  if (!layout) {
    *type_name = name_of(*strings);
    return std::nullopt;
  }
  type.layout = *layout;
  type.name = strings->name == nullptr ? "" : strings->name;
  type.flags = strings->flags;
  return type;
}

}  // namespace lumo::columns
