// The one place where C++ meets the interpreter's error indicator. Every
// entry point runs its body through `entry`, which raises an operation's
// error unchanged and contains every C++ exception: std::bad_alloc becomes
// MemoryError, anything else a PanicException after a diagnostic on stderr,
// as an error of kind kPanic does. Nothing unwinds into the interpreter.
#pragma once

#include <Python.h>

#include <exception>
#include <utility>

#include "pyglue/call_error.h"
#include "pyglue/py_ref.h"

namespace velquin::pyglue {

/// Reports the in-flight C++ exception as a Python exception (see above).
/// Aborts with "uncaught panic at ffi boundary" if that fails in turn.
void raise_contained_failure(const char* where, std::exception_ptr failure) noexcept;

/// Raises a call's error: a panic (with its diagnostic) for an error of kind
/// kPanic (or an interruption without a handler's exception, a broken
/// invariant), otherwise the error as it is.
void raise_error(const char* where, CallError error);

/// The process-wide PanicException type, made on first use.
PyObject* panic_exception_type();

/// Runs `body` (returning PyResult<PyRef>) and hands its object to the
/// interpreter, or raises its error; returns null when an exception is set.
template <class Body>
PyObject* entry(const char* where, Body&& body) noexcept {
  try {
    PyResult<PyRef> result = std::forward<Body>(body)();
    if (result.ok()) return std::move(result).value().release();
    raise_error(where, std::move(result).error());
  } catch (...) {
    raise_contained_failure(where, std::current_exception());
  }
  return nullptr;
}

/// For deallocation: there is no caller to report to, so failures go to the
/// interpreter's unraisable-error hook.
template <class Body>
void entry_unraisable(const char* where, Body&& body) noexcept {
  try {
    std::forward<Body>(body)();
  } catch (...) {
    raise_contained_failure(where, std::current_exception());
    PyErr_WriteUnraisable(nullptr);  // `object` may already be freed
  }
}

}  // namespace velquin::pyglue
