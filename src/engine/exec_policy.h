// How a call's gates run: which instruction-set variant, how many threads,
// how much one core's cache holds and from which size the loops prefetch. The
// top of every call decides it once (default_exec_policy, or a test's own
// choice) and hands it down; nothing below reads a global. No choice changes a
// result bit.
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
  /// Amplitudes one core's L2 cache holds (a power of two). A gate's pass over
  /// no more than half of this runs on the calling thread, from that core's
  /// cache: waking a second core costs more than it saves there (2 MiB L2,
  /// one thread against two: 1.05x at 2^16 amplitudes, 0.73x at 2^17).
  std::uint64_t cache_amplitudes = kDefaultCacheAmplitudes;

  static constexpr std::uint64_t kDefaultCacheAmplitudes = std::uint64_t{1} << 15;  // 512 KiB

  bool prefetches(std::uint64_t amplitudes) const noexcept { return amplitudes >= prefetch_from; }
  unsigned threads_for(std::uint64_t amplitudes) const noexcept {
    return 2 * amplitudes > cache_amplitudes ? threads : 1;
  }
};

/// CPUs in this process's affinity mask, capped by a positive OMP_NUM_THREADS;
/// fixed at first use.
unsigned default_thread_count() noexcept;

/// Amplitudes this CPU's per-core L2 cache holds, rounded down to a power of
/// two (ExecPolicy::kDefaultCacheAmplitudes where the system does not say);
/// fixed at first use.
std::uint64_t cache_amplitudes() noexcept;

/// The policy a call starts from: the variant in force (base/isa.h) on
/// default_thread_count() threads, with this CPU's cache_amplitudes().
ExecPolicy default_exec_policy() noexcept;

}  // namespace velquin::engine
