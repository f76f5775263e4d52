#include "random/chacha_dispatch.h"

#include <atomic>

#include "random/chacha_block.h"

namespace velquin::random {
namespace {

bool cpu_runs_avx2() noexcept {
#if defined(VELQUIN_CHACHA_AVX2)
  static const bool has_avx2 = [] {
    __builtin_cpu_init();
    return __builtin_cpu_supports("avx2") != 0;
  }();
  return has_avx2;
#else
  return false;
#endif
}

ChaChaVariant best_variant() noexcept {
  return cpu_runs_avx2() ? ChaChaVariant::kAvx2 : ChaChaVariant::kScalar;
}

constexpr int kAutomatic = -1;
std::atomic<int> g_forced{kAutomatic};

}  // namespace

bool chacha_variant_available(ChaChaVariant variant) noexcept {
  return variant == ChaChaVariant::kScalar || cpu_runs_avx2();
}

ChaChaVariant active_chacha_variant() noexcept {
  const int forced = g_forced.load(std::memory_order_relaxed);
  return forced == kAutomatic ? best_variant() : static_cast<ChaChaVariant>(forced);
}

bool force_chacha_variant(ChaChaVariant variant) noexcept {
  if (!chacha_variant_available(variant)) return false;
  g_forced.store(static_cast<int>(variant), std::memory_order_relaxed);
  return true;
}

void reset_chacha_variant() noexcept { g_forced.store(kAutomatic, std::memory_order_relaxed); }

void chacha_four_blocks(const std::uint32_t* rows, int double_rounds, std::uint8_t* out) noexcept {
#if defined(VELQUIN_CHACHA_AVX2)
  if (active_chacha_variant() == ChaChaVariant::kAvx2) {
    chacha_four_blocks_avx2(rows, double_rounds, out);
    return;
  }
#endif
  chacha_four_blocks_scalar(rows, double_rounds, out);
}

}  // namespace velquin::random
