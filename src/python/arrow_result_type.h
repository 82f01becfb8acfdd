// The objects convert_arrow returns: a converted column that consumers
// read through the Arrow PyCapsule interface, without a copy. Both classes
// are final, made when the module initialises, and no attribute of the module.
// ConvertedColumn offers __arrow_c_stream__; ConvertedArray, a column of
// one array, offers __arrow_c_array__ too. Every export is independent and
// shares the column's buffers; capsules not consumed release what they
// hold.
#ifndef LUMO_PYTHON_ARROW_RESULT_TYPE_H_
#define LUMO_PYTHON_ARROW_RESULT_TYPE_H_

#include <memory>

#include "columns/converted_column.h"
#include "python/python.h"

namespace lumo::python {

// Creates both classes; the module's initialisation calls it once. False
// with an exception set.
bool create_converted_column_types();

// A new ConvertedColumn holding `column` (finished), or a ConvertedArray
// when `one_array` and the column has exactly one chunk; nullptr with an
// exception set.
PyObject* new_converted_column(std::shared_ptr<const columns::ConvertedColumn> column,
                               bool one_array);

}  // namespace lumo::python

#endif  // LUMO_PYTHON_ARROW_RESULT_TYPE_H_
