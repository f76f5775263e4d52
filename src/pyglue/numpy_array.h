// NumPy arrays, through NumPy's C API. The API table is fetched on the first
// array result, never at import.
#pragma once

#include <cstdint>
#include <span>

#include "engine/amplitude_array.h"
#include "engine/register.h"
#include "math_core/math_core.h"
#include "pyglue/call_error.h"
#include "pyglue/py_ref.h"

namespace velquin::pyglue {

/// A new, writable, contiguous 1-D complex128 array owning a copy of the
/// register's amplitudes, copied on up to `threads` threads. MemoryError up
/// front when the copy cannot fit in the memory still available; a panic
/// ("Failed to access NumPy array API capsule...") when NumPy cannot be loaded.
PyResult<PyRef> copy_to_numpy(const engine::Register& sv, unsigned threads);

/// A new, writable, contiguous 1-D complex128 array over `amplitudes` itself,
/// without a copy: the array keeps the block alive (through its base object)
/// and releases it when it is freed. For registers nobody else can reach.
PyResult<PyRef> adopt_into_numpy(engine::AmplitudeArray amplitudes);

/// Element types of the arrays new_array makes.
enum class ArrayType { kFloat64, kComplex128, kUint64, kUint8 };

/// A new, writable, C-contiguous array of `dims` (at most 4) elements of
/// `type`, uninitialised; `data` receives its first element's address.
PyResult<PyRef> new_array(ArrayType type, std::span<const std::int64_t> dims, void** data);

}  // namespace velquin::pyglue
