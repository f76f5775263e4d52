// How a pair formula meets memory: which amplitudes of each pair are read and
// written, and the scalar walk over a PairSpace that every other path must
// reproduce bit for bit.
#pragma once

#include <cstdint>

#include "math_core/complex_lanes.h"
#include "math_core/lanes_scalar.h"
#include "math_core/math_core.h"
#include "math_core/pair_space.h"

namespace math_core {

/// What a formula does to a pair (a0, a1) = (amplitude at base + first,
/// amplitude at base + second).
enum class Touch : std::uint8_t {
  kBoth,        // reads both, writes both: formula(a0, a1)
  kSecondOnly,  // a0 is neither read nor written: formula(a1)
  kExchange,    // the two amplitudes trade places, bits unchanged, no arithmetic
};

/// A formula with real coefficients only (`kPartwise`): it applies the same
/// operations, in the same order, to a real part as to the imaginary part of
/// the same amplitude and never mixes the two. Run on registers whose lanes
/// hold both kinds of part interleaved, as memory holds them, it computes per
/// double exactly what it computes on split parts, so a walk may skip the
/// (de)interleave.
template <class Formula>
concept PartwiseFormula = Formula::kPartwise;

/// A formula that only flips both sign bits of the second member
/// (`kSignFlip`): a walk may apply it as an exclusive or with the sign bits.
template <class Formula>
concept SignFlipFormula = requires {
  requires Formula::kSignFlip;
};

/// Applies `formula` (instantiated for Scalar::V) to the pairs k in
/// [begin, end) of `space`, one amplitude pair at a time. Pairs are
/// independent, so each is updated in place.
template <class Formula>
void traverse_pairs_scalar(Complex64* data, const PairSpace& space, const Formula& formula,
                           std::uint64_t begin, std::uint64_t end) noexcept {
  for (std::uint64_t k = begin; k < end; ++k) {
    const std::uint64_t base = space.base(k);
    Complex64& x0 = data[base + space.first];
    Complex64& x1 = data[base + space.second];
    if constexpr (Formula::kTouch == Touch::kExchange) {
      const Complex64 held = x0;
      x0 = x1;
      x1 = held;
    } else if constexpr (Formula::kTouch == Touch::kSecondOnly) {
      ComplexLanes<Scalar::V> a1{Scalar::V(x1.re), Scalar::V(x1.im)};
      formula(a1);
      x1 = Complex64{a1.re.v, a1.im.v};
    } else {
      ComplexLanes<Scalar::V> a0{Scalar::V(x0.re), Scalar::V(x0.im)};
      ComplexLanes<Scalar::V> a1{Scalar::V(x1.re), Scalar::V(x1.im)};
      formula(a0, a1);
      x0 = Complex64{a0.re.v, a0.im.v};
      x1 = Complex64{a1.re.v, a1.im.v};
    }
  }
}

}  // namespace math_core
