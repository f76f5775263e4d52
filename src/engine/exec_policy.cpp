#include "engine/exec_policy.h"

#include <sched.h>
#include <unistd.h>

#include <algorithm>
#include <bit>
#include <cstdlib>
#include <thread>

namespace velquin::engine {
namespace {

unsigned cpus_available() noexcept {
  cpu_set_t set;
  if (::sched_getaffinity(0, sizeof set, &set) == 0) {
    const int count = CPU_COUNT(&set);
    if (count > 0) return static_cast<unsigned>(count);
  }
  return std::max(1u, std::thread::hardware_concurrency());
}

// OMP_NUM_THREADS may be a list ("4,2"); its first entry is the outer level.
unsigned omp_cap() noexcept {
  const char* text = std::getenv("OMP_NUM_THREADS");
  if (text == nullptr) return 0;
  char* end = nullptr;
  const long value = std::strtol(text, &end, 10);
  return end != text && value > 0 ? static_cast<unsigned>(std::min(value, 1024L)) : 0;
}

}  // namespace

unsigned default_thread_count() noexcept {
  static const unsigned count = [] {
    const unsigned cpus = cpus_available();
    const unsigned cap = omp_cap();
    return cap > 0 ? std::min(cpus, cap) : cpus;
  }();
  return count;
}

std::uint64_t cache_amplitudes() noexcept {
  static const std::uint64_t amplitudes = [] {
    const long bytes = ::sysconf(_SC_LEVEL2_CACHE_SIZE);
    const std::uint64_t fit = bytes > 0 ? static_cast<std::uint64_t>(bytes) / 16 : 0;
    // Below 64 KiB or above 4 MiB the answer is not a per-core L2.
    if (fit < (std::uint64_t{1} << 12) || fit > (std::uint64_t{1} << 18)) {
      return ExecPolicy::kDefaultCacheAmplitudes;
    }
    return std::bit_floor(fit);
  }();
  return amplitudes;
}

ExecPolicy default_exec_policy() noexcept {
  return {chosen_isa(), default_thread_count(), math_core::kPrefetchFrom, cache_amplitudes()};
}

}  // namespace velquin::engine
