// The Python glue velquin shares with its companion module (src/pyglue),
// brought into this module's namespace.
#pragma once

#include "pyglue/boundary.h"
#include "pyglue/call_error.h"
#include "pyglue/numpy_array.h"
#include "pyglue/py_ref.h"

namespace velquin::lib {
using namespace velquin::pyglue;  // NOLINT(google-build-using-namespace)
}  // namespace velquin::lib
