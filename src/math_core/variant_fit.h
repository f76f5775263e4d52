// Which instruction-set variant a pair space can take. The variant wanted
// comes from base/isa.h; a space too small for a whole step of it takes the
// scalar one.
#pragma once

#include <cstdint>

#include "base/isa.h"
#include "math_core/pair_space.h"

namespace math_core {

using velquin::Isa;

/// Pair ranges handed to the ranged entry points start and end on multiples
/// of this (or end at the pair count).
inline constexpr std::uint64_t kRangeAlign = 64;

/// The variant to use for `space` when `wanted` is asked for: narrower when
/// the space has too few pairs for a full step. (Pairs with a qubit inside one
/// vector take the in-register walks of vector_traversal.h.)
constexpr Isa isa_for(Isa wanted, const PairSpace& space) noexcept {
  return space.count >= kRangeAlign ? wanted : Isa::kScalar;
}

}  // namespace math_core
