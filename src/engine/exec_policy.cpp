#include "engine/exec_policy.h"

#include <sched.h>

#include <algorithm>
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

ExecPolicy default_exec_policy() noexcept { return {chosen_isa(), default_thread_count()}; }

}  // namespace velquin::engine
