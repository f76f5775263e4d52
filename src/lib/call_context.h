// What every call hands an operation besides its Python arguments, decided
// once at the top of the call: the execution policy (variant and threads) and
// the interrupt check for long work. The check runs the interpreter's pending
// signal handlers (PyErr_CheckSignals, on the calling thread, the interpreter
// lock held as always) and, when one raises, keeps that exception; once the
// operation has stopped, the call's error is that exception, unchanged.
#pragma once

#include <Python.h>

#include <optional>
#include <utility>

#include "engine/exec_policy.h"
#include "engine/interrupt.h"
#include "lib/glue.h"
#include "lib/results.h"

namespace velquin::lib {

class CallContext {
 public:
  CallContext() noexcept : policy_(engine::default_exec_policy()) {}
  CallContext(const CallContext&) = delete;
  CallContext& operator=(const CallContext&) = delete;

  const engine::ExecPolicy& policy() const noexcept { return policy_; }

  /// The interrupt check to hand the engine; valid while this object lives.
  engine::InterruptCheck interrupt() noexcept { return *this; }

  /// Runs pending signal handlers; true (stop) when one raised.
  bool operator()();

  /// The operation's result as the call's Python result: the kept exception
  /// when a handler raised, otherwise the result converted.
  template <class T>
  PyResult<PyRef> finish(T&& result) {
    if (raised_) return std::move(*raised_);
    return to_python(std::forward<T>(result));
  }
  PyResult<PyRef> finish(Status&& status) {
    if (status.ok() && !raised_) return PyRef::borrow(Py_None);  // every gate call
    if (raised_) return std::move(*raised_);
    return std::move(status).error();
  }

 private:
  engine::ExecPolicy policy_;
  std::optional<CallError> raised_;
};

}  // namespace velquin::lib
