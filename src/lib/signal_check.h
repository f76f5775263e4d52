// Ctrl-C during long calls. The engine asks an InterruptCheck between pieces
// of its work; the module's check runs the interpreter's pending signal
// handlers (PyErr_CheckSignals, on the calling thread, with the interpreter
// lock held as always) and, when one raises, keeps that exception. Once the
// engine has stopped, the call's error is that exception, unchanged:
// KeyboardInterrupt for Ctrl-C, or whatever another handler raised.
#pragma once

#include <Python.h>

#include <optional>
#include <utility>

#include "base/result.h"
#include "engine/interrupt.h"
#include "lib/call_error.h"
#include "lib/py_ref.h"

namespace velquin::lib {

class SignalCheck {
 public:
  SignalCheck() = default;
  SignalCheck(const SignalCheck&) = delete;
  SignalCheck& operator=(const SignalCheck&) = delete;

  /// The check to hand the engine; valid while this object lives.
  engine::InterruptCheck check() noexcept { return *this; }

  /// Runs pending signal handlers; true (stop) when one raised.
  bool operator()();

  /// The engine's result as the call's: the kept exception when it stopped.
  template <class T>
  PyResult<T> finish(Result<T> result) {
    if (raised_) return std::move(*raised_);
    if (result.ok()) return std::move(result).value();
    return unexpected_or(std::move(result).error());
  }

  /// The same for operations that return nothing: None or the error.
  PyResult<PyRef> finish(Status status);

 private:
  // An engine error as the call's; an interruption without a kept exception
  // is a broken invariant.
  static CallError unexpected_or(Error error);

  std::optional<CallError> raised_;
};

}  // namespace velquin::lib
