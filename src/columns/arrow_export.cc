#include "columns/arrow_export.h"

#include <cerrno>
#include <new>
#include <string>
#include <vector>

namespace lumo::columns {
namespace {

// A view layout's sizes buffer when it has no data buffer.
constexpr std::int64_t kNoSizes[1] = {0};

// What an exported schema owns: its strings, and its child's place.
struct SchemaData {
  std::string format;
  std::string name;
  ArrowSchema child{};
  ArrowSchema* children[1] = {nullptr};

  // Releases the child unless a consumer moved it out.
  ~SchemaData() {
    if (child.release != nullptr) child.release(&child);
  }
};

void release_schema(ArrowSchema* schema) {
  delete static_cast<SchemaData*>(schema->private_data);
  schema->release = nullptr;
}

// Fills `*out` as a schema of `format` named `name`, owning `data`.
void fill_schema(std::unique_ptr<SchemaData> data, const char* format, const std::string& name,
                 std::int64_t flags, ArrowSchema* out) {
  data->format = format;
  data->name = name;
  *out = ArrowSchema{};
  out->format = data->format.c_str();
  out->name = data->name.c_str();
  out->flags = flags;
  out->release = release_schema;
  out->private_data = data.release();
}

// What an exported array owns: a share of the column, the list of its
// buffers, and its child's place.
struct ArrayData {
  std::shared_ptr<const ConvertedColumn> column;
  std::vector<const void*> buffers;
  ArrowArray child{};
  ArrowArray* children[1] = {nullptr};

  // Releases the child unless a consumer moved it out.
  ~ArrayData() {
    if (child.release != nullptr) child.release(&child);
  }
};

void release_array(ArrowArray* array) {
  delete static_cast<ArrayData*>(array->private_data);
  array->release = nullptr;
}

void fill_array(std::unique_ptr<ArrayData> data, std::int64_t length, std::int64_t null_count,
                ArrowArray* out) {
  *out = ArrowArray{};
  out->length = length;
  out->null_count = null_count;
  out->n_buffers = static_cast<std::int64_t>(data->buffers.size());
  out->buffers = data->buffers.data();
  out->release = release_array;
  out->private_data = data.release();
}

// Fills `*out` with the strings of `chunk`.
void export_strings(const std::shared_ptr<const ConvertedColumn>& column,
                    const ConvertedChunk& chunk, ArrowArray* out) {
  auto data = std::make_unique<ArrayData>();
  data->column = column;
  data->buffers.push_back(chunk.validity.data());
  data->buffers.push_back(chunk.entries.data());
  for (const Buffer& buffer : chunk.data) data->buffers.push_back(buffer.data());
  if (chunk.layout == StringLayout::kStringView) {
    data->buffers.push_back(chunk.data_sizes.empty() ? kNoSizes : chunk.data_sizes.data());
  }
  fill_array(std::move(data), chunk.length, chunk.null_count, out);
}

struct StreamData {
  std::shared_ptr<const ConvertedColumn> column;
  std::size_t next = 0;
};

StreamData& stream_of(ArrowArrayStream* stream) {
  return *static_cast<StreamData*>(stream->private_data);
}

int stream_get_schema(ArrowArrayStream* stream, ArrowSchema* out) {
  try {
    export_schema(*stream_of(stream).column, out);
    return 0;
  } catch (const std::bad_alloc&) {
    return ENOMEM;
  }
}

int stream_get_next(ArrowArrayStream* stream, ArrowArray* out) {
  StreamData& data = stream_of(stream);
  if (data.next == data.column->chunks().size()) {
    *out = ArrowArray{};  // a released array: the end
    return 0;
  }
  try {
    export_chunk(data.column, data.next, out);
  } catch (const std::bad_alloc&) {
    return ENOMEM;
  }
  ++data.next;
  return 0;
}

const char* stream_get_last_error(ArrowArrayStream*) { return "out of memory"; }

void stream_release(ArrowArrayStream* stream) {
  delete static_cast<StreamData*>(stream->private_data);
  stream->release = nullptr;
}

}  // namespace

void export_schema(const ConvertedColumn& column, ArrowSchema* out) {
  const ColumnType& type = column.type();
  auto data = std::make_unique<SchemaData>();
  if (!type.nested) {
    fill_schema(std::move(data), layout_format(type.layout), type.name, type.flags, out);
    return;
  }
  fill_schema(std::make_unique<SchemaData>(), layout_format(type.layout), type.name, type.flags,
              &data->child);
  data->children[0] = &data->child;
  ArrowSchema** const children = data->children;
  fill_schema(std::move(data), "+s", type.struct_name, type.struct_flags, out);
  out->n_children = 1;
  out->children = children;
}

void export_chunk(const std::shared_ptr<const ConvertedColumn>& column, std::size_t chunk,
                  ArrowArray* out) {
  const ConvertedChunk& converted = column->chunks()[chunk];
  if (!column->type().nested) {
    export_strings(column, converted, out);
    return;
  }
  auto data = std::make_unique<ArrayData>();
  data->column = column;
  data->buffers.push_back(converted.struct_validity.data());
  export_strings(column, converted, &data->child);
  data->children[0] = &data->child;
  ArrowArray** const children = data->children;
  fill_array(std::move(data), converted.length, converted.struct_null_count, out);
  out->n_children = 1;
  out->children = children;
}

void export_stream(const std::shared_ptr<const ConvertedColumn>& column, ArrowArrayStream* out) {
  auto data = std::make_unique<StreamData>();
  data->column = column;
  *out = ArrowArrayStream{};
  out->get_schema = stream_get_schema;
  out->get_next = stream_get_next;
  out->get_last_error = stream_get_last_error;
  out->release = stream_release;
  out->private_data = data.release();
}

}  // namespace lumo::columns
