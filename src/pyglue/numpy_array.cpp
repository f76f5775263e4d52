// The only translation unit that includes NumPy's headers.
#include "pyglue/numpy_array.h"

#define PY_ARRAY_UNIQUE_SYMBOL velquin_ARRAY_API
#define NPY_NO_DEPRECATED_API NPY_1_25_API_VERSION
#define NPY_TARGET_VERSION NPY_1_25_API_VERSION
#include <numpy/arrayobject.h>

#include <optional>
#include <string>

#include "base/member_text.h"
#include "base/messages.h"

namespace velquin::pyglue {
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

PyResult<PyRef> copy_to_numpy(const engine::Register& sv, unsigned threads) {
  ensure_numpy_api();
  PyRef array;
  std::optional<CallError> failed;  // a failure other than lack of memory
  // NumPy makes the array only once the engine has found room for it.
  const Status copied = sv.copy_out(
      [&](std::uint64_t bytes) -> math_core::Complex64* {
        npy_intp dims[1] = {static_cast<npy_intp>(bytes / sizeof(math_core::Complex64))};
        npy_intp strides[1] = {static_cast<npy_intp>(sizeof(math_core::Complex64))};
        PyArray_Descr* descr = PyArray_DescrFromType(NPY_CDOUBLE);  // new reference, stolen below
        if (descr != nullptr) {
          array = PyRef::steal(
              PyArray_NewFromDescr(&PyArray_Type, descr, 1, dims, strides, nullptr, 0, nullptr));
        }
        if (array) {
          return static_cast<math_core::Complex64*>(
              PyArray_DATA(reinterpret_cast<PyArrayObject*>(array.get())));
        }
        // NumPy's own MemoryError text gives the size in MiB; the engine's
        // says it the way the check does.
        if (PyErr_ExceptionMatches(PyExc_MemoryError)) {
          PyErr_Clear();
        } else {
          failed = CallError::fetch();
        }
        return nullptr;
      },
      threads);
  if (failed) return std::move(*failed);
  if (!copied) return copied.error();
  return array;
}

namespace {

const char* const kCapsuleName = text::kAmplitudesCapsule;

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

PyResult<PyRef> new_array(ArrayType type, std::span<const std::int64_t> dims, void** data) {
  ensure_numpy_api();
  npy_intp shape[4];
  const int nd = static_cast<int>(dims.size());
  for (int i = 0; i < nd; ++i) shape[i] = static_cast<npy_intp>(dims[static_cast<std::size_t>(i)]);
  const int codes[] = {NPY_FLOAT64, NPY_CDOUBLE, NPY_UINT64, NPY_UINT8};
  PyRef array = PyRef::steal(PyArray_SimpleNew(nd, shape, codes[static_cast<int>(type)]));
  if (!array) return CallError::fetch();
  *data = PyArray_DATA(reinterpret_cast<PyArrayObject*>(array.get()));
  return array;
}

}  // namespace velquin::pyglue
