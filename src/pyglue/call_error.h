// The error of one Python call: either an engine error (exception kind plus
// message) or an exception object the interpreter already made (argument
// conversion, dict insertion). Raising happens only at the boundary.
#pragma once

#include <Python.h>

#include <utility>
#include <variant>

#include "base/result.h"
#include "pyglue/py_ref.h"

namespace velquin::pyglue {

class CallError {
 public:
  CallError(Error error) : state_(std::move(error)) {}  // NOLINT(google-explicit-constructor)

  /// Wraps an exception object (a new reference, never null).
  static CallError from_exception(PyRef exception) { return CallError(std::move(exception)); }
  /// Takes the interpreter's pending exception, which must be set.
  static CallError fetch();
  /// A new exception of `type` with the single argument `message`, made now.
  static CallError make(PyObject* type, PyObject* message);

  /// The error value, when this is one (not an exception object).
  const Error* value() const noexcept { return std::get_if<Error>(&state_); }

  /// Sets the interpreter's error indicator to this error.
  void raise() &&;

  /// The exception object, made on demand for engine errors.
  PyRef into_exception() &&;

 private:
  explicit CallError(PyRef exception) : state_(std::move(exception)) {}
  std::variant<Error, PyRef> state_;
};

/// Either a value or a CallError.
template <class T>
class [[nodiscard]] PyResult {
 public:
  PyResult(T value) : state_(std::move(value)) {}          // NOLINT(google-explicit-constructor)
  PyResult(CallError error) : state_(std::move(error)) {}  // NOLINT(google-explicit-constructor)
  PyResult(Error error)
      : state_(CallError(std::move(error))) {}  // NOLINT(google-explicit-constructor)

  bool ok() const noexcept { return state_.index() == 0; }
  T& value() & { return std::get<0>(state_); }
  T&& value() && { return std::get<0>(std::move(state_)); }
  CallError&& error() && { return std::get<1>(std::move(state_)); }

 private:
  std::variant<T, CallError> state_;
};

/// The Python exception type of an engine error kind.
PyObject* exception_type(ErrorKind kind) noexcept;

}  // namespace velquin::pyglue
