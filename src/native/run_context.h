// How the companion module runs C++ work: the interpreter lock is released
// for the whole of it (other Python threads run meanwhile, and may run
// programs of their own), and the work's interrupt checks, asked only on the
// calling thread and only where its state is whole, stop it when its cancel
// token is set or, on the main thread, when a pending signal handler raises
// (the lock is taken back just for that).
#pragma once

#include <Python.h>

#include <atomic>
#include <memory>
#include <optional>

#include "engine/exec_policy.h"
#include "engine/interrupt.h"
#include "pyglue/call_error.h"

namespace velquin::native {

using pyglue::CallError;

/// A flag another thread may set to stop work in progress.
using CancelFlag = std::shared_ptr<std::atomic<bool>>;

/// The execution policy and the cancel flag a call asks for.
struct RunOptions {
  engine::ExecPolicy policy = engine::default_exec_policy();
  CancelFlag cancel;
};

class Released {
 public:
  /// Releases the interpreter lock (held by the caller).
  explicit Released(const RunOptions& options);
  ~Released();  // takes the lock back
  Released(const Released&) = delete;
  Released& operator=(const Released&) = delete;

  engine::InterruptCheck interrupt() noexcept { return *this; }
  /// True: stop. The flag first, then (main thread) the signal handlers.
  bool operator()();

  /// Takes the lock back (the destructor does too) and says why the work
  /// stopped, if it was stopped: the handler's exception, or KeyboardInterrupt
  /// "cancelled" for a cancel flag.
  std::optional<CallError> finish();

 private:
  CancelFlag cancel_;
  bool main_thread_;
  PyThreadState* saved_;
  bool cancelled_ = false;
  std::optional<CallError> raised_;
};

/// Records the main thread's identity; called once when the module loads.
void remember_main_thread();

}  // namespace velquin::native
