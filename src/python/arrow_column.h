// Converting an Arrow string column handed over through the Arrow PyCapsule
// interface. The binding takes the producer's stream or array (moving the
// structures out of their capsules), and for each array asks the columns
// room to read and convert it with the interpreter lock released (on
// threads across rows when the array is long, LUMO_THREADS respected);
// every array is converted before anything is returned.
#ifndef LUMO_PYTHON_ARROW_COLUMN_H_
#define LUMO_PYTHON_ARROW_COLUMN_H_

#include "engine/whole/whole_conversion.h"
#include "python/python.h"

namespace lumo::python {

// A new ConvertedColumn or ConvertedArray (arrow_result_type.h) holding the
// conversion of the column `data` offers through __arrow_c_stream__ or
// __arrow_c_array__; or nullptr with an exception set: TypeError for an
// object offering neither or for values that are not strings, ValueError
// naming the row for invalid UTF-8 and for an array whose layout is
// broken, OSError with the producer's text when its stream fails,
// MemoryError. May throw std::bad_alloc: call it inside guarded().
PyObject* converted_arrow(const Converter& converter, PyObject* data);

}  // namespace lumo::python

#endif  // LUMO_PYTHON_ARROW_COLUMN_H_
