// The two classes. Each is created once per process, on first need, from a
// PyType_Spec, and kept until the process ends.
#pragma once

#include <Python.h>

#include "lib/call_error.h"

namespace velquin::lib {

/// The class StateVecPy (a borrowed reference), creating it on first use.
PyResult<PyObject*> state_vec_class();
/// The class QuantumCircuit (a borrowed reference), creating it on first use.
PyResult<PyObject*> circuit_class();

/// `created` if already set, else a new class from `layout` stored there.
/// Its stored docstring holds only the text signature, so __doc__ is None.
PyResult<PyObject*> create_class_once(PyType_Spec& layout, PyObject*& created);

}  // namespace velquin::lib
