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

/// Whether the walk should prefetch memory in address order ahead of itself.
/// When the two members of a pair lie 64 B to 64 KiB apart, the hardware
/// prefetchers see two interleaved streams in the same pages (or every other
/// line, for a phase gate) and fall behind; prefetching the region ahead in
/// plain address order restores the speed of a sequential pass. A two-qubit
/// space whose lower qubit leaves whole lines untouched is not prefetched
/// (that would fetch lines for nothing).
[[gnu::always_inline]] inline bool prefetch_linearly(const PairSpace& space, Touch touch) noexcept {
  if (space.bits == 1) return space.lo >= 2 && space.lo <= 12;
  return space.lo < 2 && space.hi >= 2 && space.hi <= 12 && touch != Touch::kSecondOnly;
}

/// How far ahead (in pairs) the address-order prefetch runs.
inline constexpr std::uint64_t kPrefetchPairs = 4096;

/// The walk when 2^space.lo >= C: every run of C consecutive k maps to C
/// consecutive indices, so each pair member is a whole register; a step takes
/// the runs at k and k + C.
template <class Lanes, bool kPrefetch, class Formula>
void traverse_whole_registers(Complex64* data, const PairSpace& space, const Formula formula,
                              std::uint64_t begin, std::uint64_t end) noexcept {
  using R = typename Lanes::Packed;
  constexpr unsigned kC = Lanes::kComplexPerVector;
  constexpr unsigned kL = Lanes::kLanes;
  for (std::uint64_t k = begin; k < end; k += kL) {
    if constexpr (kPrefetch) {
      // The pairs k .. k + L - 1 span about L << bits amplitudes of memory.
      const std::uint64_t target = std::min(k + kPrefetchPairs, space.count - kL);
      const char* ahead = reinterpret_cast<const char*>(data + (target << space.bits));
      const std::uint64_t bytes = (std::uint64_t{kL} * sizeof(Complex64)) << space.bits;
      for (std::uint64_t offset = 0; offset < bytes; offset += 64) {
        __builtin_prefetch(ahead + offset, 1, 3);
      }
    }
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
      ComplexLanes<typename Lanes::V> a1 = Lanes::deinterleave(Lanes::load(x10), Lanes::load(x11));
      formula(a1);
      R r10, r11;
      Lanes::interleave(a1, r10, r11);
      Lanes::store(x10, r10);
      Lanes::store(x11, r11);
    } else {
      ComplexLanes<typename Lanes::V> a0 = Lanes::deinterleave(Lanes::load(x00), Lanes::load(x01));
      ComplexLanes<typename Lanes::V> a1 = Lanes::deinterleave(Lanes::load(x10), Lanes::load(x11));
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

/// Applies `formula` to the pairs k in [begin, end) of `space`; begin and end
/// are multiples of Lanes::kLanes. For a two-qubit space, 2^space.lo must be at
/// least Lanes::kComplexPerVector (see isa_for). The formula is taken by value:
/// a copy no store to `data` can alias keeps its constants in registers.
template <class Lanes, class Formula>
void traverse_pairs_vector(Complex64* data, const PairSpace& space, const Formula formula,
                           std::uint64_t begin, std::uint64_t end) noexcept {
  using R = typename Lanes::Packed;
  constexpr unsigned kC = Lanes::kComplexPerVector;
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

  if (prefetch_linearly(space, Formula::kTouch)) {
    traverse_whole_registers<Lanes, true>(data, space, formula, begin, end);
  } else {
    traverse_whole_registers<Lanes, false>(data, space, formula, begin, end);
  }
}

}  // namespace math_core
