// The companion module's classes: Program (a compiled circuit) and Cancel (a
// flag that stops work running on another thread).
#pragma once

#include <Python.h>

#include "native/run_context.h"
#include "pyglue/call_error.h"

namespace velquin::native {

/// The classes, made once when the module loads.
pyglue::PyResult<PyObject*> program_class(PyObject* module);
pyglue::PyResult<PyObject*> cancel_class(PyObject* module);

/// The flag of a Cancel instance, or null when `object` is none.
CancelFlag cancel_flag_of(PyObject* object);

}  // namespace velquin::native
