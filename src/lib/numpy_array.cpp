// The only translation unit that includes NumPy's headers.
#include "lib/numpy_array.h"

#define PY_ARRAY_UNIQUE_SYMBOL velquin_ARRAY_API
#define NPY_NO_DEPRECATED_API NPY_1_25_API_VERSION
#define NPY_TARGET_VERSION NPY_1_25_API_VERSION
#include <numpy/arrayobject.h>

#include <cstring>
#include <string>

#include "engine/memory_budget.h"
#include "engine/messages.h"

namespace velquin::lib {
namespace {

bool api_loaded = false;  // set once, under the interpreter lock
constexpr const char* kWhat = "the state-vector copy";

// Loads NumPy's API table (modern location first, so NumPy 2 gives no
// deprecation warning). A failure is an internal failure, not ImportError.
void ensure_numpy_api() {
  if (api_loaded) return;
  if (_import_array() < 0) {
    std::string text = messages::kNumpyCapsule;
    PyRef error = PyRef::steal(PyErr_GetRaisedException());
    if (error) {
      PyRef description = PyRef::steal(PyObject_Str(error.get()));
      const char* utf8 = description ? PyUnicode_AsUTF8(description.get()) : nullptr;
      if (utf8 != nullptr) text += std::string(": ") + utf8;
      PyErr_Clear();
    }
    throw InternalFailure(text);
  }
  api_loaded = true;
}

}  // namespace

PyResult<PyRef> copy_to_numpy(std::span<const math_core::Complex64> amplitudes) {
  ensure_numpy_api();
  const std::size_t bytes = amplitudes.size_bytes();
  if (Status budget = engine::check_allocation(bytes, kWhat); !budget) {
    return std::move(budget).error();
  }
  npy_intp dims[1] = {static_cast<npy_intp>(amplitudes.size())};
  npy_intp strides[1] = {static_cast<npy_intp>(sizeof(math_core::Complex64))};
  PyArray_Descr* descr = PyArray_DescrFromType(NPY_CDOUBLE);  // new reference, stolen below
  if (descr == nullptr) return CallError::fetch();
  PyObject* array =
      PyArray_NewFromDescr(&PyArray_Type, descr, 1, dims, strides, nullptr, 0, nullptr);
  if (array == nullptr) {
    // NumPy's own text gives the size in MiB; say it the way the check does.
    if (!PyErr_ExceptionMatches(PyExc_MemoryError)) return CallError::fetch();
    PyErr_Clear();
    return Error{ErrorKind::kMemoryError, messages::allocation_failed(bytes, kWhat)};
  }
  PyRef owned = PyRef::steal(array);
  std::memcpy(PyArray_DATA(reinterpret_cast<PyArrayObject*>(array)), amplitudes.data(), bytes);
  return owned;
}

}  // namespace velquin::lib
