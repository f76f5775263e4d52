// The module's entry point. Single-phase initialisation: the module is made
// once, in the first interpreter that imports it, and handed out again on
// every later initialisation there; other interpreters are refused.
#include <Python.h>

#include <atomic>
#include <cstdint>
#include <optional>

#include "base/member_text.h"
#include "base/messages.h"
#include "lib/glue.h"
#include "lib/types.h"

namespace velquin::lib {
namespace {

PyModuleDef module_def = {
    PyModuleDef_HEAD_INIT,
    text::kModuleName,
    "",  // an empty docstring, present rather than absent
    0,
    nullptr,
    nullptr,
    nullptr,
    nullptr,
    nullptr,
};

std::atomic<std::int64_t> interpreter{-1};
PyObject* module = nullptr;  // the module once made; never freed

// Adds a class to the module and its name to __all__.
std::optional<CallError> add_class(PyObject* target, const char* name, PyResult<PyObject*> cls) {
  if (!cls.ok()) return std::move(cls).error();
  PyRef all = PyRef::steal(PyObject_GetAttrString(target, "__all__"));
  if (!all) {
    if (!PyErr_ExceptionMatches(PyExc_AttributeError)) return CallError::fetch();
    PyErr_Clear();
    all = PyRef::steal(PyList_New(0));
    if (!all || PyObject_SetAttrString(target, "__all__", all.get()) < 0) {
      return CallError::fetch();
    }
  }
  PyRef text = PyRef::steal(PyUnicode_FromString(name));
  if (!text || PyList_Append(all.get(), text.get()) < 0) return CallError::fetch();
  if (PyModule_AddObjectRef(target, name, cls.value()) < 0) return CallError::fetch();
  return std::nullopt;
}

PyResult<PyRef> initialise() {
  PyInterpreterState* state = PyInterpreterState_Get();
  const std::int64_t id = PyInterpreterState_GetID(state);
  if (id == -1) return CallError::fetch();
  std::int64_t expected = -1;
  if (!interpreter.compare_exchange_strong(expected, id, std::memory_order_seq_cst) &&
      expected != id) {
    return Error{ErrorKind::kImportError, messages::kSubinterpreters};
  }
  if (module != nullptr) return PyRef::borrow(module);

  PyRef made = PyRef::steal(PyModule_Create2(&module_def, PYTHON_API_VERSION));
  if (!made) return CallError::fetch();
  if (auto error = add_class(made.get(), text::kRegisterClass.name.data(), state_vec_class())) {
    return std::move(*error);
  }
  if (auto error = add_class(made.get(), text::kCircuitClass.name.data(), circuit_class())) {
    return std::move(*error);
  }
  module = PyRef::borrow(made.get()).release();
  return made;
}

}  // namespace
}  // namespace velquin::lib

PyMODINIT_FUNC PyInit_velquin() {
  return velquin::lib::entry(velquin::text::kModuleInit, velquin::lib::initialise);
}
