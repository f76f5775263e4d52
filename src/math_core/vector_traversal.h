// The vector walk over a PairSpace, for any lane type (Sse2, Avx2, Avx512).
// It loads whole registers, hands the formula the members of L pairs as
// ComplexLanes (lane k of a0 and lane k of a1 always form one pair), and
// stores the results where they came from. Include only from files built for
// the lane type's instruction set.
#pragma once

#include <cstdint>

#include "math_core/pair_traversal.h"

namespace math_core {

/// Applies `formula` to the pairs k in [begin, end) of `space`; begin and end
/// are multiples of Lanes::kLanes. For a two-qubit space, 2^space.lo must be at
/// least Lanes::kComplexPerRegister (see isa_for).
template <class Lanes, class Formula>
void traverse_pairs_vector(Complex64* data, const PairSpace& space, const Formula& formula,
                           std::uint64_t begin, std::uint64_t end) noexcept {
  using R = typename Lanes::Register;
  constexpr unsigned kC = Lanes::kComplexPerRegister;
  constexpr unsigned kL = Lanes::kLanes;
  static_assert(kL == 2 * kC, "a step covers two registers per pair member");

  if ((std::uint64_t{1} << space.lo) < kC) {
    // The pairs sit inside registers (single-qubit space only): a step covers
    // the 2L consecutive amplitudes from index 2k, four registers; split them
    // into members with bit q clear and their partners, lane for lane.
    const unsigned q = space.lo;
    for (std::uint64_t k = begin; k < end; k += kL) {
      Complex64* p = data + 2 * k;
      R clear0, set0, clear1, set1;
      Lanes::split(q, Lanes::load(p), Lanes::load(p + kC), clear0, set0);
      Lanes::split(q, Lanes::load(p + 2 * kC), Lanes::load(p + 3 * kC), clear1, set1);
      if constexpr (Formula::kTouch == Touch::kExchange) {
        const R held0 = clear0, held1 = clear1;
        clear0 = set0, clear1 = set1, set0 = held0, set1 = held1;
      } else if constexpr (Formula::kTouch == Touch::kSecondOnly) {
        ComplexLanes<typename Lanes::V> a1 = Lanes::deinterleave(set0, set1);
        formula(a1);
        Lanes::interleave(a1, set0, set1);
      } else {
        ComplexLanes<typename Lanes::V> a0 = Lanes::deinterleave(clear0, clear1);
        ComplexLanes<typename Lanes::V> a1 = Lanes::deinterleave(set0, set1);
        formula(a0, a1);
        Lanes::interleave(a0, clear0, clear1);
        Lanes::interleave(a1, set0, set1);
      }
      R out0, out1, out2, out3;
      Lanes::merge(q, clear0, set0, out0, out1);
      Lanes::merge(q, clear1, set1, out2, out3);
      Lanes::store(p, out0);
      Lanes::store(p + kC, out1);
      Lanes::store(p + 2 * kC, out2);
      Lanes::store(p + 3 * kC, out3);
    }
    return;
  }

  // Every run of C consecutive k maps to C consecutive indices, so each pair
  // member is a whole register; a step takes the runs at k and k + C.
  for (std::uint64_t k = begin; k < end; k += kL) {
    const std::uint64_t base0 = space.base(k);
    const std::uint64_t base1 = space.base(k + kC);
    Complex64* x00 = data + base0 + space.first;
    Complex64* x01 = data + base1 + space.first;
    Complex64* x10 = data + base0 + space.second;
    Complex64* x11 = data + base1 + space.second;
    if constexpr (Formula::kTouch == Touch::kExchange) {
      const R r00 = Lanes::load(x00), r01 = Lanes::load(x01);
      const R r10 = Lanes::load(x10), r11 = Lanes::load(x11);
      Lanes::store(x00, r10);
      Lanes::store(x01, r11);
      Lanes::store(x10, r00);
      Lanes::store(x11, r01);
    } else if constexpr (Formula::kTouch == Touch::kSecondOnly) {
      ComplexLanes<typename Lanes::V> a1 =
          Lanes::deinterleave(Lanes::load(x10), Lanes::load(x11));
      formula(a1);
      R r10, r11;
      Lanes::interleave(a1, r10, r11);
      Lanes::store(x10, r10);
      Lanes::store(x11, r11);
    } else {
      ComplexLanes<typename Lanes::V> a0 =
          Lanes::deinterleave(Lanes::load(x00), Lanes::load(x01));
      ComplexLanes<typename Lanes::V> a1 =
          Lanes::deinterleave(Lanes::load(x10), Lanes::load(x11));
      formula(a0, a1);
      R r00, r01, r10, r11;
      Lanes::interleave(a0, r00, r01);
      Lanes::interleave(a1, r10, r11);
      Lanes::store(x00, r00);
      Lanes::store(x01, r01);
      Lanes::store(x10, r10);
      Lanes::store(x11, r11);
    }
  }
}

}  // namespace math_core
