// How gates run: which instruction-set variant and how many threads. Chosen
// once per process (widest variant the CPU has; the CPUs this process may run
// on, capped by OMP_NUM_THREADS when set); tests and benchmarks may override
// it for a scope. No choice changes a result bit.
#pragma once

#include "base/isa.h"

namespace velquin::engine {

struct ExecPolicy {
  Isa isa;
  unsigned threads;
};

/// CPUs in this process's affinity mask, capped by a positive OMP_NUM_THREADS.
unsigned default_thread_count() noexcept;

/// The policy in force: the innermost ScopedExecPolicy, else the default.
ExecPolicy current_exec_policy() noexcept;

/// Forces a policy until destroyed (for tests and benchmarks). A variant the
/// CPU lacks is replaced by the widest it has.
class ScopedExecPolicy {
 public:
  explicit ScopedExecPolicy(ExecPolicy policy) noexcept;
  ~ScopedExecPolicy();
  ScopedExecPolicy(const ScopedExecPolicy&) = delete;
  ScopedExecPolicy& operator=(const ScopedExecPolicy&) = delete;

 private:
  const ExecPolicy* previous_;
  ExecPolicy policy_;
};

}  // namespace velquin::engine
