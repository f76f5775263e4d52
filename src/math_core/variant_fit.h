// Which instruction-set variant a pair space can take. The variant wanted
// comes from base/isa.h; a space too small for a whole step of it, or a
// two-qubit space with a qubit inside one vector, takes a narrower one.
#pragma once

#include <cstdint>

#include "base/isa.h"
#include "math_core/pair_space.h"

namespace math_core {

using velquin::Isa;

/// Amplitudes per vector of each variant (1 for scalar and SSE2).
constexpr unsigned complex_per_vector(Isa isa) noexcept {
  return isa == Isa::kAvx512 ? 4 : isa == Isa::kAvx2 ? 2 : 1;
}

/// Pairs handled together by one step of each variant's loop.
constexpr unsigned pairs_per_step(Isa isa) noexcept {
  return isa == Isa::kScalar ? 1 : 2 * complex_per_vector(isa);
}

/// Pair ranges handed to the ranged entry points start and end on multiples
/// of this (or end at the pair count).
inline constexpr std::uint64_t kRangeAlign = 64;

/// The variant to use for `space` when `wanted` is asked for: narrower when
/// the space has too few pairs for a full step, or when a two-qubit space has
/// a qubit inside one vector (those pairs do not fill whole vectors).
constexpr Isa isa_for(Isa wanted, const PairSpace& space) noexcept {
  Isa isa = wanted;
  while (isa != Isa::kScalar) {
    const bool enough = space.count >= kRangeAlign;
    const bool whole_vectors =
        space.bits == 1 || (std::uint64_t{1} << space.lo) >= complex_per_vector(isa);
    if (enough && whole_vectors) break;
    isa = static_cast<Isa>(static_cast<unsigned>(isa) - 1);
  }
  return isa;
}

}  // namespace math_core
