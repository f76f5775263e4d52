#include "math_core/isa.h"

namespace math_core {
namespace {

Isa detect() noexcept {
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

}  // namespace

Isa best_isa() noexcept {
  static const Isa best = detect();
  return best;
}

bool isa_supported(Isa isa) noexcept {
  return static_cast<unsigned>(isa) <= static_cast<unsigned>(best_isa());
}

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

}  // namespace math_core
