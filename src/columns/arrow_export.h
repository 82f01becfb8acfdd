// Handing a converted column to consumers through the Arrow C data and
// stream interfaces. Every export is independent: each ArrowSchema,
// ArrowArray or ArrowArrayStream made here has its own release callback
// and private data, and the column's buffers, shared by reference count,
// live until the column's owner and every exported array have let them go.
// The callbacks touch no interpreter and may run on any thread.
#ifndef LUMO_COLUMNS_ARROW_EXPORT_H_
#define LUMO_COLUMNS_ARROW_EXPORT_H_

#include <cstddef>
#include <memory>

#include "columns/arrow_c_interface.h"
#include "columns/converted_column.h"

namespace lumo::columns {

// Fills `*out` with the schema of `column`'s type. Throws std::bad_alloc,
// leaving `*out` untouched.
void export_schema(const ConvertedColumn& column, ArrowSchema* out);

// Fills `*out` with chunk `chunk` of a finished `column`, sharing its
// buffers. Throws std::bad_alloc, leaving `*out` untouched.
void export_chunk(const std::shared_ptr<const ConvertedColumn>& column, std::size_t chunk,
                  ArrowArray* out);

// Fills `*out` with a stream of a finished `column`'s chunks, in order.
// Throws std::bad_alloc, leaving `*out` untouched.
void export_stream(const std::shared_ptr<const ConvertedColumn>& column, ArrowArrayStream* out);

}  // namespace lumo::columns

#endif  // LUMO_COLUMNS_ARROW_EXPORT_H_
