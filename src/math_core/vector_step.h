// One step of the vector walk (vector_traversal.h): a pair formula applied to
// the members of L pairs held in registers, and the address-order prefetch.
// Include only from files built for the lane type's instruction set.
#pragma once

#include <algorithm>
#include <cstdint>
#include <utility>

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

/// Prefetches, in address order, the memory of the pairs kPrefetchPairs
/// ahead of pair k; the pairs k .. k + L - 1 span about L << bits amplitudes.
template <unsigned kL>
[[gnu::always_inline]] inline void prefetch_ahead(const Complex64* data, const PairSpace& space,
                                                  std::uint64_t k) noexcept {
  const std::uint64_t target = std::min(k + kPrefetchPairs, space.count - kL);
  const char* ahead = reinterpret_cast<const char*>(data + (target << space.bits));
  const std::uint64_t bytes = (std::uint64_t{kL} * sizeof(Complex64)) << space.bits;
  for (std::uint64_t offset = 0; offset < bytes; offset += 64) {
    __builtin_prefetch(ahead + offset, 1, 3);
  }
}

/// The formula on L pairs held in registers: the first members in f0 and f1,
/// their partners in s0 and s1, lane for lane, each register as memory holds
/// amplitudes (re, im interleaved). A part-wise formula takes them as they
/// are; any other gets the parts split and joined again around it.
template <class Lanes, class Formula>
[[gnu::always_inline]] inline void apply_to_second(typename Lanes::Packed& s0,
                                                   typename Lanes::Packed& s1,
                                                   const Formula& formula) {
  using V = typename Lanes::V;
  if constexpr (PartwiseFormula<Formula>) {
    ComplexLanes<V> a1{V(s0), V(s1)};
    formula(a1);
    s0 = a1.re.v, s1 = a1.im.v;
  } else {
    ComplexLanes<V> a1 = Lanes::deinterleave(s0, s1);
    formula(a1);
    Lanes::interleave(a1, s0, s1);
  }
}

template <class Lanes, class Formula>
[[gnu::always_inline]] inline void apply_to_pairs(typename Lanes::Packed& f0,
                                                  typename Lanes::Packed& f1,
                                                  typename Lanes::Packed& s0,
                                                  typename Lanes::Packed& s1,
                                                  const Formula& formula) {
  using V = typename Lanes::V;
  if constexpr (Formula::kTouch == Touch::kExchange) {
    std::swap(f0, s0);
    std::swap(f1, s1);
  } else if constexpr (Formula::kTouch == Touch::kSecondOnly) {
    apply_to_second<Lanes>(s0, s1, formula);
  } else if constexpr (PartwiseFormula<Formula>) {
    ComplexLanes<V> a0{V(f0), V(f1)};
    ComplexLanes<V> a1{V(s0), V(s1)};
    formula(a0, a1);
    f0 = a0.re.v, f1 = a0.im.v, s0 = a1.re.v, s1 = a1.im.v;
  } else {
    ComplexLanes<V> a0 = Lanes::deinterleave(f0, f1);
    ComplexLanes<V> a1 = Lanes::deinterleave(s0, s1);
    formula(a0, a1);
    Lanes::interleave(a0, f0, f1);
    Lanes::interleave(a1, s0, s1);
  }
}

/// One step over L pairs whose first members fill the registers at x0 and
/// x0b and their partners those at x1 and x1b.
template <class Lanes, class Formula>
[[gnu::always_inline]] inline void step_registers(Complex64* x0, Complex64* x0b, Complex64* x1,
                                                  Complex64* x1b, const Formula& formula) {
  using R = typename Lanes::Packed;
  R s0 = Lanes::load(x1), s1 = Lanes::load(x1b);
  if constexpr (Formula::kTouch == Touch::kSecondOnly) {
    apply_to_second<Lanes>(s0, s1, formula);
  } else {
    R f0 = Lanes::load(x0), f1 = Lanes::load(x0b);
    apply_to_pairs<Lanes>(f0, f1, s0, s1, formula);
    Lanes::store(x0, f0);
    Lanes::store(x0b, f1);
  }
  Lanes::store(x1, s0);
  Lanes::store(x1b, s1);
}

}  // namespace math_core
