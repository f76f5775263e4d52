// The two classes. Each is created once per process, on first need, from a
// PyType_Spec, and kept until the process ends.
#pragma once

#include <Python.h>

#include "base/member_text.h"
#include "lib/glue.h"

namespace velquin::lib {

/// The class StateVecPy (a borrowed reference), creating it on first use.
PyResult<PyObject*> state_vec_class();
/// The class QuantumCircuit (a borrowed reference), creating it on first use.
PyResult<PyObject*> circuit_class();

/// What makes a class: its texts (name, constructor parameters), its full
/// type name, its instance size, its constructor and deallocator slots and its
/// member tables, which must live until the process ends.
struct ClassParts {
  const MemberText& text;
  const char* type_name;
  int instance_size;
  void* new_slot;
  void* dealloc_slot;
  PyMethodDef* methods;
  PyGetSetDef* attributes = nullptr;
};

/// `created` if already set, else a new class made from `parts`, stored
/// there: base object, default flags only (no subclassing, no instance dict,
/// no cyclic collection). Its stored docstring holds only the text signature,
/// so __doc__ is None.
PyResult<PyObject*> create_class_once(const ClassParts& parts, PyObject*& created);

}  // namespace velquin::lib
