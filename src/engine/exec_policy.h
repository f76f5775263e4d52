// How a call's gates run: which instruction-set variant and how many threads.
// The top of every call decides it once (default_exec_policy, or a test's own
// choice) and hands it down; nothing below reads a global. No choice changes
// a result bit.
#pragma once

#include "base/isa.h"

namespace velquin::engine {

struct ExecPolicy {
  Isa isa;
  unsigned threads;
};

/// CPUs in this process's affinity mask, capped by a positive OMP_NUM_THREADS;
/// fixed at first use.
unsigned default_thread_count() noexcept;

/// The policy a call starts from: the variant in force (base/isa.h) on
/// default_thread_count() threads.
ExecPolicy default_exec_policy() noexcept;

}  // namespace velquin::engine
