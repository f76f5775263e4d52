// Errors as values, for every library of velquin. An operation returns its
// result or an `Error` (the kind of Python exception it becomes plus a fixed
// message); only the module boundary turns errors into Python exceptions.
// A failure of a resource below (the entropy source, a sampler's guard) is an
// Error of kind kPanic. A broken invariant is an `InternalFailure` exception
// instead; the boundary reports both as a panic.
#pragma once

#include <stdexcept>
#include <string>
#include <utility>
#include <variant>

namespace velquin {

/// The Python exception an operation error maps to.
enum class ErrorKind {
  kTypeError,
  kValueError,
  kIndexError,
  kOverflowError,
  kRuntimeError,
  kMemoryError,
  kImportError,
  kInterrupted,  // stopped by the caller's InterruptCheck; no Python type of its own
  kPanic,        // an internal failure: PanicException after a diagnostic
};

struct Error {
  ErrorKind kind;
  std::string message;

  friend bool operator==(const Error&, const Error&) = default;
};

/// Either a value of type T or an Error.
template <class T>
class [[nodiscard]] Result {
 public:
  Result(T value) : state_(std::move(value)) {}      // NOLINT(google-explicit-constructor)
  Result(Error error) : state_(std::move(error)) {}  // NOLINT(google-explicit-constructor)

  bool ok() const noexcept { return state_.index() == 0; }
  explicit operator bool() const noexcept { return ok(); }

  T& value() & { return std::get<0>(state_); }
  const T& value() const& { return std::get<0>(state_); }
  T&& value() && { return std::get<0>(std::move(state_)); }
  const Error& error() const& { return std::get<1>(state_); }
  Error&& error() && { return std::get<1>(std::move(state_)); }

 private:
  std::variant<T, Error> state_;
};

/// Success or an Error, for operations that return nothing.
class [[nodiscard]] Status {
 public:
  Status() = default;
  Status(Error error)
      : error_(std::move(error)), failed_(true) {}  // NOLINT(google-explicit-constructor)

  static Status Ok() { return Status(); }

  bool ok() const noexcept { return !failed_; }
  explicit operator bool() const noexcept { return ok(); }
  const Error& error() const& { return error_; }
  Error&& error() && { return std::move(error_); }

 private:
  Error error_{ErrorKind::kRuntimeError, {}};
  bool failed_ = false;
};

/// A failure that is not an error of the caller's making: a broken invariant
/// or a missing process-wide resource. Reported to Python as a panic.
class InternalFailure : public std::runtime_error {
 public:
  using std::runtime_error::runtime_error;
};

}  // namespace velquin
