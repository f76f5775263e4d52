// The companion module `_velquin_native`: the engine the framework adapters
// run on (programs, observables, per-shot sampling). Private by convention:
// velquin's own API is the `velquin` module; this one may change with any
// release.
#include <Python.h>

#include "native/run_context.h"
#include "native/types.h"
#include "program/gate_library.h"
#include "pyglue/boundary.h"

namespace velquin::native {
namespace {

using pyglue::CallError;
using pyglue::PyRef;
using pyglue::PyResult;

const char* payload_name(program::Payload payload) {
  switch (payload) {
    case program::Payload::kMatrix:
      return "matrix";
    case program::Payload::kDiagonal:
      return "diagonal";
    case program::Payload::kPermutation:
      return "permutation";
    case program::Payload::kWord:
      return "word";
    case program::Payload::kNone:
      break;
  }
  return "none";
}

// operations(): {name: (targets or None, leading controls, params or None, payload)}.
PyObject* operations(PyObject*, PyObject*) {
  return pyglue::entry("operations()", []() -> PyResult<PyRef> {
    PyRef table = PyRef::steal(PyDict_New());
    if (!table) return CallError::fetch();
    for (const program::OperationInfo& info : program::operations()) {
      auto count = [](unsigned n) -> PyObject* {
        if (n == program::kAnyTargets) Py_RETURN_NONE;
        return PyLong_FromUnsignedLong(n);
      };
      PyRef row = PyRef::steal(Py_BuildValue("(NINs)", count(info.targets), info.leading_controls,
                                             count(info.params), payload_name(info.payload)));
      if (!row) return CallError::fetch();
      PyRef name = PyRef::steal(
          PyUnicode_FromStringAndSize(info.name.data(), static_cast<Py_ssize_t>(info.name.size())));
      if (!name || PyDict_SetItem(table.get(), name.get(), row.get()) < 0)
        return CallError::fetch();
    }
    return table;
  });
}

PyMethodDef functions[] = {
    {"operations", operations, METH_NOARGS,
     "operations()\n--\n\nEvery operation a program may name: {name: (targets or None for any "
     "number, leading controls, parameters or None for one per member, payload)}."},
    {nullptr, nullptr, 0, nullptr},
};

PyModuleDef module_def = {
    PyModuleDef_HEAD_INIT,
    "_velquin_native",
    "velquin's companion engine for the framework adapters: whole programs in one call, "
    "general operations, observables, adjoint gradients and seeded per-shot trajectories. "
    "Unlike velquin, it renormalises: a measured, reset or Kraus step multiplies the state it "
    "keeps by 1 / sqrt of that outcome's probability (the only rescaling). Private: its API may "
    "change with any release.",
    -1,
    functions,
    nullptr,
    nullptr,
    nullptr,
    nullptr,
};

PyObject* module = nullptr;  // made once, never freed

PyResult<PyRef> initialise() {
  if (module != nullptr) return PyRef::borrow(module);
  PyRef made = PyRef::steal(PyModule_Create(&module_def));
  if (!made) return CallError::fetch();
  remember_main_thread();
  PyResult<PyObject*> program = program_class(made.get());
  if (!program.ok()) return std::move(program).error();
  if (PyModule_AddObjectRef(made.get(), "Program", program.value()) < 0) return CallError::fetch();
  PyResult<PyObject*> cancel = cancel_class(made.get());
  if (!cancel.ok()) return std::move(cancel).error();
  if (PyModule_AddObjectRef(made.get(), "Cancel", cancel.value()) < 0) return CallError::fetch();
  module = PyRef::borrow(made.get()).release();
  return made;
}

}  // namespace
}  // namespace velquin::native

PyMODINIT_FUNC PyInit__velquin_native() {
  return velquin::pyglue::entry("PyInit__velquin_native", velquin::native::initialise);
}
