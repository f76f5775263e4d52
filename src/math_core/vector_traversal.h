// The vector walk over a PairSpace, for any lane type (Sse2, Avx2, Avx512).
// It loads whole registers, hands the formula the members of L pairs as
// ComplexLanes (lane k of a0 and lane k of a1 always form one pair), and
// stores the results where they came from. Include only from files built for
// the lane type's instruction set.
#pragma once

#include <algorithm>
#include <cstdint>

#include "math_core/group_traversal.h"
#include "math_core/pair_traversal.h"
#include "math_core/vector_step.h"

namespace math_core {

/// The walk when 2^space.lo >= C: the pairs come in runs of 2^lo consecutive
/// k whose members are consecutive in memory, so each pair member is a whole
/// register. A run's base index is computed once and pointers advance inside
/// it; runs of exactly C pairs are taken two to a step. The space and formula
/// are copied to locals: the loop's vector stores may alias anything reached
/// through a reference and would otherwise force a reload after every store.
template <class Lanes, bool kPrefetch, class Formula>
void traverse_whole_registers(Complex64* data, const PairSpace& space_ref,
                              const Formula& formula_ref, std::uint64_t begin,
                              std::uint64_t end) noexcept {
  constexpr unsigned kC = Lanes::kComplexPerVector;
  constexpr unsigned kL = Lanes::kLanes;
  const PairSpace space = space_ref;
  const Formula formula = formula_ref;
  const std::uint64_t first = space.first, second = space.second;
  const std::uint64_t run = std::uint64_t{1} << space.lo;
  if (run == kC) {
    // The pairs k + C .. k + L - 1 start base(C) after the pairs k .. k + C - 1.
    const std::uint64_t next = space.base(kC);
    for (std::uint64_t k = begin; k < end; k += kL) {
      if constexpr (kPrefetch) prefetch_ahead<kL>(data, space, k);
      const std::uint64_t base = space.base(k);
      Complex64* x0 = data + base + first;
      Complex64* x1 = data + base + second;
      step_registers<Lanes>(x0, x0 + next, x1, x1 + next, formula);
    }
    return;
  }
  for (std::uint64_t k = begin; k < end;) {
    const std::uint64_t run_end = std::min(end, (k | (run - 1)) + 1);
    const std::uint64_t base = space.base(k);
    Complex64* x0 = data + base + first;
    Complex64* x1 = data + base + second;
    for (; k < run_end; k += kL, x0 += kL, x1 += kL) {
      if constexpr (kPrefetch) prefetch_ahead<kL>(data, space, k);
      step_registers<Lanes>(x0, x0 + kC, x1, x1 + kC, formula);
    }
  }
}

/// The walk when 2^space.lo < C for a single-qubit space: the pairs sit
/// inside registers. A step covers the 2L consecutive amplitudes from index
/// 2k, four registers, split into members with bit lo clear and their
/// partners, lane for lane.
template <class Lanes, class Formula>
void traverse_inside_registers(Complex64* data, unsigned q, const Formula& formula_ref,
                               std::uint64_t begin, std::uint64_t end) noexcept {
  using R = typename Lanes::Packed;
  constexpr unsigned kC = Lanes::kComplexPerVector;
  constexpr unsigned kL = Lanes::kLanes;
  const Formula formula = formula_ref;
  for (std::uint64_t k = begin; k < end; k += kL) {
    Complex64* p = data + 2 * k;
    R clear0, set0, clear1, set1;
    Lanes::split(q, Lanes::load(p), Lanes::load(p + kC), clear0, set0);
    Lanes::split(q, Lanes::load(p + 2 * kC), Lanes::load(p + 3 * kC), clear1, set1);
    apply_to_pairs<Lanes>(clear0, clear1, set0, set1, formula);
    R out0, out1, out2, out3;
    Lanes::merge(q, clear0, set0, out0, out1);
    Lanes::merge(q, clear1, set1, out2, out3);
    Lanes::store(p, out0);
    Lanes::store(p + kC, out1);
    Lanes::store(p + 2 * kC, out2);
    Lanes::store(p + 3 * kC, out3);
  }
}

/// Applies `formula` to the pairs k in [begin, end) of `space`; begin and end
/// are multiples of Lanes::kLanes. `prefetch`: the state is too large for the
/// caches, so prefetch where the pairs' layout needs it.
template <class Lanes, class Formula>
void traverse_pairs_vector(Complex64* data, const PairSpace& space, const Formula& formula,
                           std::uint64_t begin, std::uint64_t end, bool prefetch) noexcept {
  static_assert(Lanes::kLanes == 2 * Lanes::kComplexPerVector,
                "a step covers two registers per pair member");
  const bool inside = (std::uint64_t{1} << space.lo) < Lanes::kComplexPerVector;
  const bool ahead = prefetch_linearly(space, Formula::kTouch, prefetch);
  if (inside && space.bits == 1) {
    traverse_inside_registers<Lanes>(data, space.lo, formula, begin, end);
  } else if (inside) {
    if constexpr (requires { typename Lanes::Index; } &&
                  (Formula::kTouch == Touch::kExchange || SignFlipFormula<Formula>)) {
      if (ahead) {
        traverse_groups_by_lanes<Lanes, true, Formula>(data, space, begin, end);
      } else {
        traverse_groups_by_lanes<Lanes, false, Formula>(data, space, begin, end);
      }
    } else if constexpr (Lanes::kComplexPerVector > 1) {
      if (ahead) {
        traverse_groups_in_registers<Lanes, true>(data, space, formula, begin, end);
      } else {
        traverse_groups_in_registers<Lanes, false>(data, space, formula, begin, end);
      }
    }
  } else if (ahead) {
    traverse_whole_registers<Lanes, true>(data, space, formula, begin, end);
  } else {
    traverse_whole_registers<Lanes, false>(data, space, formula, begin, end);
  }
}

}  // namespace math_core
