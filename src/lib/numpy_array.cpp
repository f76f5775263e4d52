// The only translation unit that includes NumPy's headers.
#include "lib/numpy_array.h"

#define PY_ARRAY_UNIQUE_SYMBOL velquin_ARRAY_API
#define NPY_NO_DEPRECATED_API NPY_1_25_API_VERSION
#define NPY_TARGET_VERSION NPY_1_25_API_VERSION
#include <numpy/arrayobject.h>

#include <cstring>
#include <string>

#include "engine/exec_policy.h"
#include "engine/memory_budget.h"
#include "engine/thread_pool.h"
#include "base/messages.h"

namespace velquin::lib {
namespace {

bool api_loaded = false;  // set once, under the interpreter lock

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
      if (utf8 != nullptr) text += std::string(messages::kCauseSeparator) + utf8;
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
  if (Status budget = engine::check_allocation(bytes, messages::kForStateVectorCopy); !budget) {
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
    return Error{ErrorKind::kMemoryError, messages::allocation_failed(bytes, messages::kForStateVectorCopy)};
  }
  PyRef owned = PyRef::steal(array);
  // The copy also faults in NumPy's fresh pages: spread it over the threads.
  auto* target = static_cast<unsigned char*>(PyArray_DATA(reinterpret_cast<PyArrayObject*>(array)));
  const auto* source = reinterpret_cast<const unsigned char*>(amplitudes.data());
  constexpr std::uint64_t kPiece = std::uint64_t{1} << 22;  // bytes
  engine::parallel_for(engine::current_exec_policy().threads, bytes, kPiece, 4 * kPiece,
                       [&](std::uint64_t begin, std::uint64_t end) {
                         std::memcpy(target + begin, source + begin, end - begin);
                       });
  return owned;
}

namespace {

const char* const kCapsuleName = "velquin.amplitudes";

void release_block(PyObject* capsule) {
  delete static_cast<engine::AmplitudeArray*>(PyCapsule_GetPointer(capsule, kCapsuleName));
}

}  // namespace

PyResult<PyRef> adopt_into_numpy(engine::AmplitudeArray amplitudes) {
  ensure_numpy_api();
  auto* block = new engine::AmplitudeArray(std::move(amplitudes));
  PyRef capsule = PyRef::steal(PyCapsule_New(block, kCapsuleName, release_block));
  if (!capsule) {
    delete block;
    return CallError::fetch();
  }
  npy_intp dims[1] = {static_cast<npy_intp>(block->size())};
  npy_intp strides[1] = {static_cast<npy_intp>(sizeof(math_core::Complex64))};
  PyArray_Descr* descr = PyArray_DescrFromType(NPY_CDOUBLE);  // new reference, stolen below
  if (descr == nullptr) return CallError::fetch();
  PyRef array = PyRef::steal(PyArray_NewFromDescr(&PyArray_Type, descr, 1, dims, strides,
                                                  block->data(), NPY_ARRAY_CARRAY, nullptr));
  if (!array) return CallError::fetch();
  // SetBaseObject steals the capsule's reference even when it fails.
  if (PyArray_SetBaseObject(reinterpret_cast<PyArrayObject*>(array.get()), capsule.release()) < 0) {
    return CallError::fetch();
  }
  return array;
}

}  // namespace velquin::lib
