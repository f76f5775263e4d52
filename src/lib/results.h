// Conversion of an operation's value into a new Python object.
#pragma once

#include <Python.h>

#include <cstdint>
#include <span>
#include <utility>

#include "base/result.h"
#include "engine/register.h"
#include "lib/glue.h"

namespace velquin::lib {

/// None for success, or the operation's error.
inline PyResult<PyRef> to_python(Status status) {
  if (!status.ok()) return std::move(status).error();
  return PyRef::borrow(Py_None);
}

inline PyResult<PyRef> checked(PyObject* object) {
  if (object == nullptr) return CallError::fetch();
  return PyRef::steal(object);
}

inline PyResult<PyRef> to_python(std::uint64_t value) {
  return checked(PyLong_FromUnsignedLongLong(value));
}

/// (re, im) as two floats carrying the exact stored doubles.
inline PyResult<PyRef> to_python(std::pair<double, double> value) {
  return checked(Py_BuildValue("(dd)", value.first, value.second));
}

/// A dict from outcome bitstrings (qubit 0 rightmost) to counts.
PyResult<PyRef> to_python(const engine::MeasurementCounts& counts);

inline PyResult<PyRef> to_python(PyRef object) { return object; }

template <class T>
PyResult<PyRef> to_python(Result<T> result) {
  if (!result.ok()) return std::move(result).error();
  return to_python(std::move(result).value());
}

template <class T>
PyResult<PyRef> to_python(PyResult<T> result) {
  if (!result.ok()) return std::move(result).error();
  return to_python(std::move(result).value());
}

}  // namespace velquin::lib
