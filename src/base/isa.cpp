#include "base/isa.h"

#include <atomic>

namespace velquin {
namespace {

Isa probe() noexcept {
#if defined(__x86_64__) || defined(__i386__)
  __builtin_cpu_init();
  // libgcc also checks that the operating system saves the wider registers.
  if (__builtin_cpu_supports("avx512f")) return Isa::kAvx512;
  if (__builtin_cpu_supports("avx2")) return Isa::kAvx2;
  return Isa::kSse2;
#else
  return Isa::kScalar;
#endif
}

constexpr int kNoOverride = -1;
std::atomic<int> g_override{kNoOverride};

}  // namespace

Isa detected_isa() noexcept {
  static const Isa detected = probe();
  return detected;
}

bool isa_supported(Isa isa) noexcept {
  return static_cast<unsigned>(isa) <= static_cast<unsigned>(detected_isa());
}

Isa chosen_isa() noexcept {
  const int forced = g_override.load(std::memory_order_relaxed);
  return forced == kNoOverride ? detected_isa() : static_cast<Isa>(forced);
}

IsaOverride::IsaOverride(Isa isa) noexcept
    : previous_(g_override.exchange(static_cast<int>(isa_supported(isa) ? isa : detected_isa()),
                                    std::memory_order_relaxed)) {}

IsaOverride::~IsaOverride() { g_override.store(previous_, std::memory_order_relaxed); }

const char* isa_name(Isa isa) noexcept {
  switch (isa) {
    case Isa::kScalar:
      return "scalar";
    case Isa::kSse2:
      return "sse2";
    case Isa::kAvx2:
      return "avx2";
    case Isa::kAvx512:
      return "avx512";
  }
  return "unknown";
}

}  // namespace velquin
