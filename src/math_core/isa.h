// The instruction-set variants of the pair loops, and the one place that picks
// among them. Every variant computes the same formulas lane by lane, so the
// choice changes speed, never bits.
#pragma once

#include <cstdint>

#include "math_core/pair_space.h"

namespace math_core {

/// Ordered from narrowest to widest.
enum class Isa : std::uint8_t { kScalar, kSse2, kAvx2, kAvx512 };
inline constexpr unsigned kIsaCount = 4;

/// Amplitudes per vector register of each variant (1 for scalar and SSE2).
constexpr unsigned complex_per_register(Isa isa) noexcept {
  return isa == Isa::kAvx512 ? 4 : isa == Isa::kAvx2 ? 2 : 1;
}

/// Pairs handled together by one step of each variant's loop.
constexpr unsigned pairs_per_step(Isa isa) noexcept {
  return isa == Isa::kScalar ? 1 : 2 * complex_per_register(isa);
}

/// Pair ranges handed to the ranged entry points start and end on multiples
/// of this (or end at the pair count).
inline constexpr std::uint64_t kRangeAlign = 64;

/// The widest variant this CPU and operating system run, detected once.
Isa best_isa() noexcept;

/// Whether this CPU runs `isa`.
bool isa_supported(Isa isa) noexcept;

/// The variant to use for `space` when `wanted` is asked for: narrower when
/// the space has too few pairs for a full step, or when a two-qubit space has
/// a qubit inside one register (those pairs do not fill whole registers).
constexpr Isa isa_for(Isa wanted, const PairSpace& space) noexcept {
  Isa isa = wanted;
  while (isa != Isa::kScalar) {
    const bool enough = space.count >= kRangeAlign;
    const bool whole_registers =
        space.bits == 1 || (std::uint64_t{1} << space.lo) >= complex_per_register(isa);
    if (enough && whole_registers) break;
    isa = static_cast<Isa>(static_cast<unsigned>(isa) - 1);
  }
  return isa;
}

/// Lower-case name ("scalar", "sse2", "avx2", "avx512"), for tests and benchmarks.
const char* isa_name(Isa isa) noexcept;

}  // namespace math_core
