// NumPy arrays, through NumPy's C API. The API table is fetched on the first
// array result, never at import.
#pragma once

#include <span>

#include "engine/amplitude_array.h"
#include "engine/register.h"
#include "lib/call_error.h"
#include "lib/py_ref.h"
#include "math_core/math_core.h"

namespace velquin::lib {

/// A new, writable, contiguous 1-D complex128 array owning a copy of the
/// register's amplitudes, copied on up to `threads` threads. MemoryError up
/// front when the copy cannot fit in the memory still available; a panic
/// ("Failed to access NumPy array API capsule...") when NumPy cannot be loaded.
PyResult<PyRef> copy_to_numpy(const engine::Register& sv, unsigned threads);

/// A new, writable, contiguous 1-D complex128 array over `amplitudes` itself,
/// without a copy: the array keeps the block alive (through its base object)
/// and releases it when it is freed. For registers nobody else can reach.
PyResult<PyRef> adopt_into_numpy(engine::AmplitudeArray amplitudes);

}  // namespace velquin::lib
