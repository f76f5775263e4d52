// How a call's gates run: which instruction-set variant, how many threads and
// from which size the loops prefetch. The top of every call decides it once
// (default_exec_policy, or a test's own choice) and hands it down; nothing
// below reads a global. No choice changes a result bit.
#pragma once

#include <cstdint>

#include "base/isa.h"
#include "math_core/math_core.h"

namespace velquin::engine {

struct ExecPolicy {
  Isa isa;
  unsigned threads;
  /// Amplitude count from which a register (or block) is taken to lie beyond
  /// the caches and the loops prefetch (math_core::kPrefetchFrom).
  std::uint64_t prefetch_from = math_core::kPrefetchFrom;

  bool prefetches(std::uint64_t amplitudes) const noexcept { return amplitudes >= prefetch_from; }
};

/// CPUs in this process's affinity mask, capped by a positive OMP_NUM_THREADS;
/// fixed at first use.
unsigned default_thread_count() noexcept;

/// The policy a call starts from: the variant in force (base/isa.h) on
/// default_thread_count() threads.
ExecPolicy default_exec_policy() noexcept;

}  // namespace velquin::engine
