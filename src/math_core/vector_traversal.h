// The vector walk over a PairSpace, for any lane type (Sse2, Avx2, Avx512).
// It loads whole registers, hands the formula the members of L pairs as
// ComplexLanes (lane k of a0 and lane k of a1 always form one pair), and
// stores the results where they came from. Include only from files built for
// the lane type's instruction set.
#pragma once

#include <algorithm>
#include <cstdint>

#include "math_core/pair_traversal.h"

namespace math_core {

/// Whether the walk should prefetch memory in address order ahead of itself,
/// for a state the caches cannot hold (the caller says so: `prefetch`). When
/// the two members of a pair lie 64 B to 64 KiB apart, the hardware
/// prefetchers see two interleaved streams in the same pages (or every other
/// line, for a phase gate) and fall behind on memory; prefetching the region
/// ahead in plain address order restores the speed of a sequential pass. On a
/// state in cache the prefetches are pure cost. A two-qubit space whose lower
/// qubit leaves whole lines untouched is not prefetched (that would fetch
/// lines for nothing).
[[gnu::always_inline]] inline bool prefetch_linearly(const PairSpace& space, Touch touch,
                                                     bool prefetch) noexcept {
  if (!prefetch) return false;
  if (space.bits == 1) return space.lo >= 2 && space.lo <= 12;
  return space.lo < 2 && space.hi >= 2 && space.hi <= 12 && touch != Touch::kSecondOnly;
}

/// How far ahead (in pairs) the address-order prefetch runs.
inline constexpr std::uint64_t kPrefetchPairs = 4096;

/// One step over 2L amplitudes per pair member: the first members of L pairs
/// fill the registers at x0 and x0b, their partners those at x1 and x1b, lane
/// for lane. A part-wise formula gets the registers as they lie in memory.
template <class Lanes, class Formula>
[[gnu::always_inline]] inline void step_registers(Complex64* x0, Complex64* x0b, Complex64* x1,
                                                  Complex64* x1b, const Formula& formula) {
  using R = typename Lanes::Packed;
  using V = typename Lanes::V;
  if constexpr (Formula::kTouch == Touch::kExchange) {
    const R r00 = Lanes::load(x0), r01 = Lanes::load(x0b);
    const R r10 = Lanes::load(x1), r11 = Lanes::load(x1b);
    Lanes::store(x0, r10);
    Lanes::store(x0b, r11);
    Lanes::store(x1, r00);
    Lanes::store(x1b, r01);
  } else if constexpr (PartwiseFormula<Formula> && Formula::kTouch == Touch::kSecondOnly) {
    ComplexLanes<V> a1{V(Lanes::load(x1)), V(Lanes::load(x1b))};
    formula(a1);
    Lanes::store(x1, a1.re.v);
    Lanes::store(x1b, a1.im.v);
  } else if constexpr (PartwiseFormula<Formula>) {
    ComplexLanes<V> a0{V(Lanes::load(x0)), V(Lanes::load(x0b))};
    ComplexLanes<V> a1{V(Lanes::load(x1)), V(Lanes::load(x1b))};
    formula(a0, a1);
    Lanes::store(x0, a0.re.v);
    Lanes::store(x0b, a0.im.v);
    Lanes::store(x1, a1.re.v);
    Lanes::store(x1b, a1.im.v);
  } else if constexpr (Formula::kTouch == Touch::kSecondOnly) {
    ComplexLanes<V> a1 = Lanes::deinterleave(Lanes::load(x1), Lanes::load(x1b));
    formula(a1);
    R r10, r11;
    Lanes::interleave(a1, r10, r11);
    Lanes::store(x1, r10);
    Lanes::store(x1b, r11);
  } else {
    ComplexLanes<V> a0 = Lanes::deinterleave(Lanes::load(x0), Lanes::load(x0b));
    ComplexLanes<V> a1 = Lanes::deinterleave(Lanes::load(x1), Lanes::load(x1b));
    formula(a0, a1);
    R r00, r01, r10, r11;
    Lanes::interleave(a0, r00, r01);
    Lanes::interleave(a1, r10, r11);
    Lanes::store(x0, r00);
    Lanes::store(x0b, r01);
    Lanes::store(x1, r10);
    Lanes::store(x1b, r11);
  }
}

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
  auto prefetch_ahead = [&](std::uint64_t k) {
    if constexpr (kPrefetch) {
      // The pairs k .. k + L - 1 span about L << bits amplitudes of memory.
      const std::uint64_t target = std::min(k + kPrefetchPairs, space.count - kL);
      const char* ahead = reinterpret_cast<const char*>(data + (target << space.bits));
      const std::uint64_t bytes = (std::uint64_t{kL} * sizeof(Complex64)) << space.bits;
      for (std::uint64_t offset = 0; offset < bytes; offset += 64) {
        __builtin_prefetch(ahead + offset, 1, 3);
      }
    } else {
      (void)k;
    }
  };
  const std::uint64_t run = std::uint64_t{1} << space.lo;
  if (run == kC) {
    // The pairs k + C .. k + L - 1 start base(C) after the pairs k .. k + C - 1.
    const std::uint64_t next = space.base(kC);
    for (std::uint64_t k = begin; k < end; k += kL) {
      prefetch_ahead(k);
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
      prefetch_ahead(k);
      step_registers<Lanes>(x0, x0 + kC, x1, x1 + kC, formula);
    }
  }
}

/// The walk when 2^space.lo < C (a single-qubit space): the pairs sit inside
/// registers. A step covers the 2L consecutive amplitudes from index 2k, four
/// registers, split into members with bit lo clear and their partners, lane
/// for lane.
template <class Lanes, class Formula>
void traverse_inside_registers(Complex64* data, unsigned q, const Formula& formula_ref,
                               std::uint64_t begin, std::uint64_t end) noexcept {
  using R = typename Lanes::Packed;
  using V = typename Lanes::V;
  constexpr unsigned kC = Lanes::kComplexPerVector;
  constexpr unsigned kL = Lanes::kLanes;
  const Formula formula = formula_ref;
  for (std::uint64_t k = begin; k < end; k += kL) {
    Complex64* p = data + 2 * k;
    R clear0, set0, clear1, set1;
    Lanes::split(q, Lanes::load(p), Lanes::load(p + kC), clear0, set0);
    Lanes::split(q, Lanes::load(p + 2 * kC), Lanes::load(p + 3 * kC), clear1, set1);
    if constexpr (Formula::kTouch == Touch::kExchange) {
      const R held0 = clear0, held1 = clear1;
      clear0 = set0, clear1 = set1, set0 = held0, set1 = held1;
    } else if constexpr (PartwiseFormula<Formula> && Formula::kTouch == Touch::kSecondOnly) {
      ComplexLanes<V> a1{V(set0), V(set1)};
      formula(a1);
      set0 = a1.re.v, set1 = a1.im.v;
    } else if constexpr (PartwiseFormula<Formula>) {
      ComplexLanes<V> a0{V(clear0), V(clear1)};
      ComplexLanes<V> a1{V(set0), V(set1)};
      formula(a0, a1);
      clear0 = a0.re.v, clear1 = a0.im.v, set0 = a1.re.v, set1 = a1.im.v;
    } else if constexpr (Formula::kTouch == Touch::kSecondOnly) {
      ComplexLanes<V> a1 = Lanes::deinterleave(set0, set1);
      formula(a1);
      Lanes::interleave(a1, set0, set1);
    } else {
      ComplexLanes<V> a0 = Lanes::deinterleave(clear0, clear1);
      ComplexLanes<V> a1 = Lanes::deinterleave(set0, set1);
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
}

/// Applies `formula` to the pairs k in [begin, end) of `space`; begin and end
/// are multiples of Lanes::kLanes. For a two-qubit space, 2^space.lo must be at
/// least Lanes::kComplexPerVector (see isa_for). `prefetch`: the state is too
/// large for the caches, so prefetch where the pairs' layout needs it.
template <class Lanes, class Formula>
void traverse_pairs_vector(Complex64* data, const PairSpace& space, const Formula& formula,
                           std::uint64_t begin, std::uint64_t end, bool prefetch) noexcept {
  static_assert(Lanes::kLanes == 2 * Lanes::kComplexPerVector,
                "a step covers two registers per pair member");
  if ((std::uint64_t{1} << space.lo) < Lanes::kComplexPerVector) {
    traverse_inside_registers<Lanes>(data, space.lo, formula, begin, end);
  } else if (prefetch_linearly(space, Formula::kTouch, prefetch)) {
    traverse_whole_registers<Lanes, true>(data, space, formula, begin, end);
  } else {
    traverse_whole_registers<Lanes, false>(data, space, formula, begin, end);
  }
}

}  // namespace math_core
