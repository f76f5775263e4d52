// General operations on a run of amplitudes: what one pass over the state
// does for a gate that is not one of the pair formulas (any matrix on a few
// qubits, diagonals, permutations, phases on a subspace, Pauli words and
// their rotations), each with any number of controls and control values.
//
// Every kind has one formula, fixed by the kind, never by the values in its
// coefficients; the scalar walk (op_scalar.h) is the reference and every
// vector walk computes, per amplitude, the same operations in the same order.
#pragma once

#include <array>
#include <bit>
#include <cstdint>

#include "base/complex64.h"
#include "math_core/pair_space.h"

namespace math_core {

using velquin::Complex64;

/// The most targets an enumerated kind (dense, diagonal, permutation,
/// two-level) may have: a dense matrix on 10 qubits is 16 MiB.
inline constexpr unsigned kMaxTargets = 10;

/// Amplitudes per tile: the vector walks take 2^kTileBits consecutive
/// amplitudes at a time, and work is split between threads in whole tiles.
inline constexpr unsigned kTileBits = 2;

enum class OpKind : std::uint8_t {
  /// out[r] = sum over c of M[r][c] x in[c], c from 0 up: acc = M[r][0] x in[0],
  /// then acc = acc + M[r][c] x in[c]; M row-major, 4^k coefficients.
  kDense,
  /// out[m] = in[m] x D[m]; 2^k coefficients.
  kDiagonal,
  /// out[m] = in[perm[m]]: amplitudes move, bits unchanged.
  kPermutation,
  /// The members m0 and m1 (coefficients 0-3: a 2x2 matrix) as kDense on k = 1;
  /// every other member unchanged.
  kTwoLevel,
  /// in x p (coefficient 0) where every target bit is 1; nothing else touched.
  kMaskPhase,
  /// in x P[parity of the target bits] (coefficients 0 and 1), every amplitude.
  kParityPhase,
  /// The Pauli word with flip mask x (X or Y) and sign mask z (Y or Z) and
  /// i^(number of Y) folded in: out[j] = s(j ^ x) in[j ^ x], s(i) in {1, i,
  /// -1, -i}: parts move and change sign, no rounding.
  kPauli,
  /// exp(-i theta/2 P) for a word with x != 0: out[j] = c in[j] + w(j) x
  /// in[j ^ x], c = coefficient 0 (real part), w(j) = coefficient 1 or 2 by
  /// the parity of (j ^ x) & z.
  kPauliRotation,
  /// out[m] = c[m] x in[perm[m]]: a permutation with a phase per member
  /// (iswap, Y); 2^k coefficients.
  kMonomial,
};

/// One operation placed on bit positions of the state it runs on.
struct OpShape {
  OpKind kind = OpKind::kDense;
  unsigned k = 0;                               // targets (enumerated kinds)
  std::array<unsigned, kMaxTargets> targets{};  // member bit i is state bit targets[i]
  std::uint64_t target_mask = 0;                // every target bit (all kinds)
  std::uint64_t control_mask = 0;
  std::uint64_t control_value = 0;             // within control_mask
  std::uint64_t flip = 0;                      // kPauli, kPauliRotation: x
  std::uint64_t sign = 0;                      // kPauli, kPauliRotation: z
  unsigned y_count = 0;                        // kPauli: number of Y
  std::uint32_t m0 = 0, m1 = 0;                // kTwoLevel
  const Complex64* coefficients = nullptr;     // as the kind says
  const std::uint32_t* permutation = nullptr;  // kPermutation, kMonomial: 2^k entries

  bool enumerated() const noexcept {
    return kind == OpKind::kDense || kind == OpKind::kDiagonal || kind == OpKind::kPermutation ||
           kind == OpKind::kTwoLevel || kind == OpKind::kMonomial;
  }
  std::uint64_t members() const noexcept { return std::uint64_t{1} << k; }
  /// The offset of member m from its group's first amplitude.
  std::uint64_t offset(std::uint64_t m) const noexcept {
    std::uint64_t at = 0;
    for (unsigned i = 0; i < k; ++i) at |= ((m >> i) & 1) << targets[i];
    return at;
  }
};

/// How a state of `size` amplitudes splits into units of work: a unit is a
/// tile group, the tiles that agree on every bit from kTileBits up except the
/// "free" positions an operation enumerates (enumerated kinds: its high
/// targets), with its high controls (and, for a phase on a subspace, its high
/// targets) at their values. A unit's amplitudes are independent of every
/// other unit's, so units may run in any order on any thread.
struct TileLayout {
  unsigned tile_bits = kTileBits;  // less only for a state smaller than a tile
  unsigned fixed_count = 0;        // positions >= tile_bits held per unit, ascending
  std::array<unsigned, 64> fixed{};
  std::uint64_t fixed_value = 0;  // their bits in every unit
  std::uint64_t units = 0;

  /// The first amplitude of unit o.
  std::uint64_t base(std::uint64_t o) const noexcept {
    std::uint64_t at = o << tile_bits;
    for (unsigned i = 0; i < fixed_count; ++i) at = insert_zero_bit(at, fixed[i]);
    return at | fixed_value;
  }

  /// The layout of `shape` on a state of `size` amplitudes (a power of two).
  static TileLayout of(const OpShape& shape, std::uint64_t size) noexcept {
    TileLayout layout;
    const unsigned n = static_cast<unsigned>(std::countr_zero(size));
    layout.tile_bits = n < kTileBits ? n : kTileBits;
    const std::uint64_t low = (std::uint64_t{1} << layout.tile_bits) - 1;
    std::uint64_t held = shape.control_mask, value = shape.control_value;
    if (shape.enumerated()) {
      held |= shape.target_mask;
    } else if (shape.kind == OpKind::kMaskPhase) {
      held |= shape.target_mask;
      value |= shape.target_mask;
    } else if (shape.kind == OpKind::kPauli || shape.kind == OpKind::kPauliRotation) {
      // Pairs (j, j ^ x) are taken from the member with x's lowest bit clear.
      if (shape.flip != 0) held |= shape.flip & (~shape.flip + 1);
    }
    held &= ~low;
    for (unsigned p = layout.tile_bits; p < 64; ++p) {
      if ((held >> p) & 1) layout.fixed[layout.fixed_count++] = p;
    }
    layout.fixed_value = value & held;
    layout.units = size >> (layout.tile_bits + layout.fixed_count);
    return layout;
  }
};

/// Parity of the set bits of v.
[[gnu::always_inline]] inline unsigned parity(std::uint64_t v) noexcept {
  return static_cast<unsigned>(std::popcount(v) & 1);
}

}  // namespace math_core
