// The two classes. Each is created once per process, on first need, from a
// type specification, and kept until the process ends.
#pragma once

#include <Python.h>

#include "lib/call_error.h"

namespace velquin::lib {

/// The class StateVecPy (a borrowed reference), creating it on first use.
PyResult<PyObject*> state_vec_class();
/// The class QuantumCircuit (a borrowed reference), creating it on first use.
PyResult<PyObject*> circuit_class();

}  // namespace velquin::lib
