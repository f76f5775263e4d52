// The vector walk over a PairSpace, for any lane type (Sse2, Avx2, Avx512).
// It loads whole registers, hands the formula the members of L pairs as
// ComplexLanes (lane k of a0 and lane k of a1 always form one pair), and
// stores the results where they came from. Include only from files built for
// the lane type's instruction set.
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

/// Register r (0-3) of half h of the step over the groups k .. k + L - 1 of a
/// two-qubit space whose lower qubit lies inside a register (both qubits if
/// `both_inside`). Registers 0 and 1, and 2 and 3, are pairs that hold whole
/// groups: the second 2^hi after the first (C after it if both_inside).
template <unsigned kC>
[[gnu::always_inline]] inline Complex64* group_register(Complex64* data, std::uint64_t k,
                                                        unsigned h, unsigned r, bool both_inside,
                                                        unsigned hi) noexcept {
  if (both_inside) return data + 4 * k + (4 * h + r) * kC;
  // Groups k .. k + L - 1 cover the indices 2k .. 2k + 4C - 1 once bit lo is
  // inserted; each C of them are consecutive once bit hi is.
  const std::uint64_t j = 2 * k + (2 * h + r / 2) * kC;
  return data + insert_zero_bit(j, hi) + (r % 2) * (std::uint64_t{1} << hi);
}

/// The walk when 2^space.lo < C for a two-qubit space: each group of four
/// has its lower qubit, and on AVX-512 perhaps both, inside one register. A
/// step takes the groups k .. k + L - 1: eight registers, split by the
/// in-register bits into four registers per half-step, one per member of the
/// group (index: lower bit + 2 * higher bit), lane i of each holding the same
/// group. The formula runs on the two members the space pairs, as on any other
/// path; splitting and merging only move bits.
template <class Lanes, bool kPrefetch, class Formula>
void traverse_groups_in_registers(Complex64* data, const PairSpace& space_ref,
                                  const Formula& formula_ref, std::uint64_t begin,
                                  std::uint64_t end) noexcept {
  using R = typename Lanes::Packed;
  constexpr unsigned kC = Lanes::kComplexPerVector;
  constexpr unsigned kL = Lanes::kLanes;
  const PairSpace space = space_ref;
  const Formula formula = formula_ref;
  const unsigned lo = space.lo, hi = space.hi;
  auto member = [&](std::uint64_t offset) {
    return static_cast<unsigned>(((offset >> lo) & 1) | (((offset >> hi) & 1) << 1));
  };
  const unsigned f = member(space.first), s = member(space.second);
  const bool both_inside = (std::uint64_t{1} << hi) < kC;
  if (!both_inside && f >= 2 && s >= 2) {
    // Both members have bit hi set (a gate on the lower qubit controlled by
    // the higher): only the registers with bit hi set are read and written.
    const bool f_clear = f == 2;  // the first member has bit lo clear
    for (std::uint64_t k = begin; k < end; k += kL) {
      if constexpr (kPrefetch) prefetch_ahead<kL>(data, space, k);
      Complex64* p[2][2];
      R in[2][2];  // [half][bit lo]
      for (unsigned h = 0; h < 2; ++h) {
        p[h][0] = group_register<kC>(data, k, h, 1, false, hi);
        p[h][1] = group_register<kC>(data, k, h, 3, false, hi);
        Lanes::split(lo, Lanes::load(p[h][0]), Lanes::load(p[h][1]), in[h][0], in[h][1]);
      }
      if (f_clear) {
        apply_to_pairs<Lanes>(in[0][0], in[1][0], in[0][1], in[1][1], formula);
      } else {
        apply_to_pairs<Lanes>(in[0][1], in[1][1], in[0][0], in[1][0], formula);
      }
      for (unsigned h = 0; h < 2; ++h) {
        R o0, o1;
        Lanes::merge(lo, in[h][0], in[h][1], o0, o1);
        Lanes::store(p[h][0], o0);
        Lanes::store(p[h][1], o1);
      }
    }
    return;
  }
  for (std::uint64_t k = begin; k < end; k += kL) {
    if constexpr (kPrefetch) prefetch_ahead<kL>(data, space, k);
    // The registers of the step, four per half; in[h][m] holds member m.
    Complex64* p[2][4];
    R in[2][4];
    for (unsigned h = 0; h < 2; ++h) {
      for (unsigned r = 0; r < 4; ++r) p[h][r] = group_register<kC>(data, k, h, r, both_inside, hi);
      if (both_inside) {
        R c0, s0, c1, s1;
        Lanes::split(hi, Lanes::load(p[h][0]), Lanes::load(p[h][1]), c0, s0);
        Lanes::split(hi, Lanes::load(p[h][2]), Lanes::load(p[h][3]), c1, s1);
        Lanes::split(lo, c0, c1, in[h][0], in[h][1]);
        Lanes::split(lo, s0, s1, in[h][2], in[h][3]);
      } else {
        Lanes::split(lo, Lanes::load(p[h][0]), Lanes::load(p[h][2]), in[h][0], in[h][1]);
        Lanes::split(lo, Lanes::load(p[h][1]), Lanes::load(p[h][3]), in[h][2], in[h][3]);
      }
    }
    apply_to_pairs<Lanes>(in[0][f], in[1][f], in[0][s], in[1][s], formula);
    for (unsigned h = 0; h < 2; ++h) {
      R o0, o1, o2, o3;
      if (both_inside) {
        R c0, s0, c1, s1;
        Lanes::merge(lo, in[h][0], in[h][1], c0, c1);
        Lanes::merge(lo, in[h][2], in[h][3], s0, s1);
        Lanes::merge(hi, c0, s0, o0, o1);
        Lanes::merge(hi, c1, s1, o2, o3);
      } else {
        Lanes::merge(lo, in[h][0], in[h][1], o0, o2);
        Lanes::merge(lo, in[h][2], in[h][3], o1, o3);
      }
      Lanes::store(p[h][0], o0);
      Lanes::store(p[h][1], o1);
      Lanes::store(p[h][2], o2);
      Lanes::store(p[h][3], o3);
    }
  }
}

/// The walk of traverse_groups_in_registers for an exchange or a sign flip,
/// where the lane type can pick any lane of two registers (Lanes::pick): no
/// arithmetic, so each pair of registers holding whole groups is rewritten by
/// one lane permutation (or sign mask) per register, worked out once per call
/// from which members the space pairs. Registers the gate leaves alone are
/// not written.
template <class Lanes, bool kPrefetch, class Formula>
void traverse_groups_by_lanes(Complex64* data, const PairSpace& space_ref, std::uint64_t begin,
                              std::uint64_t end) noexcept {
  using R = typename Lanes::Packed;
  constexpr unsigned kC = Lanes::kComplexPerVector;
  constexpr unsigned kL = Lanes::kLanes;
  constexpr bool kExchange = Formula::kTouch == Touch::kExchange;
  const PairSpace space = space_ref;
  const unsigned hi = space.hi;
  const bool both_inside = (std::uint64_t{1} << hi) < kC;
  // Slot u (0 .. 2C - 1) of a pair of registers, as an index relative to the
  // pair's first amplitude (whose bits lo and hi are clear), and back.
  const std::uint64_t other = both_inside ? kC : std::uint64_t{1} << hi;
  const std::uint64_t bits = (std::uint64_t{1} << space.lo) | (std::uint64_t{1} << hi);
  auto relative = [&](std::uint64_t u) { return u < kC ? u : other + (u - kC); };
  auto slot = [&](std::uint64_t rel) { return rel < kC ? rel : rel - other + kC; };
  std::uint64_t lanes[2][kL];
  bool touched[2] = {false, false};
  bool own[2] = {true, true};  // every new lane of the register comes from itself
  for (std::uint64_t u = 0; u < 2 * kC; ++u) {
    const std::uint64_t rel = relative(u), member = rel & bits, group = rel & ~bits;
    std::uint64_t source = rel, sign = 0;
    if (kExchange && member == space.first) source = group | space.second;
    if (kExchange && member == space.second) source = group | space.first;
    if (!kExchange && member == space.second) sign = std::uint64_t{1} << 63;
    for (unsigned part = 0; part < 2; ++part) {
      lanes[u / kC][2 * (u % kC) + part] = kExchange ? 2 * slot(source) + part : sign;
    }
    touched[u / kC] = touched[u / kC] || source != rel || sign != 0;
    own[u / kC] = own[u / kC] && slot(source) / kC == u / kC;
  }
  const typename Lanes::Index index0 = Lanes::index(lanes[0]), index1 = Lanes::index(lanes[1]);
  // Every pair of registers (x, x + other) holding the groups [begin, end):
  // consecutive pairs if both qubits are inside, else one pair per C indices
  // j of 2 begin .. 2 end - 1 (bit lo inserted), in runs of 2^hi that bit hi
  // leaves consecutive.
  auto each_pair = [&](auto&& step) {
    if (both_inside) {
      for (Complex64* x = data + 4 * begin; x < data + 4 * end; x += 2 * kC) step(x, x + kC);
      return;
    }
    for (std::uint64_t j = 2 * begin; j < 2 * end;) {
      const std::uint64_t run_end = std::min(2 * end, (j | (other - 1)) + 1);
      Complex64* x = data + insert_zero_bit(j, hi);
      for (; j < run_end; j += kC, x += kC) {
        if constexpr (kPrefetch) prefetch_ahead<kC / 2>(data, space, j / 2);
        step(x, x + other);
      }
    }
  };
  if constexpr (kExchange) {
    if (touched[0] && touched[1]) {
      each_pair([&](Complex64* x0, Complex64* x1) {
        const R a = Lanes::load(x0), b = Lanes::load(x1);
        Lanes::store(x0, Lanes::pick(a, index0, b));
        Lanes::store(x1, Lanes::pick(a, index1, b));
      });
    } else if (touched[0] && own[0]) {
      each_pair([&](Complex64* x0, Complex64*) {
        Lanes::store(x0, Lanes::pick_own(Lanes::load(x0), index0));
      });
    } else if (touched[1] && own[1]) {
      each_pair([&](Complex64*, Complex64* x1) {
        Lanes::store(x1, Lanes::pick_own(Lanes::load(x1), index1));
      });
    } else if (touched[0]) {
      each_pair([&](Complex64* x0, Complex64* x1) {
        Lanes::store(x0, Lanes::pick(Lanes::load(x0), index0, Lanes::load(x1)));
      });
    } else {
      each_pair([&](Complex64* x0, Complex64* x1) {
        Lanes::store(x1, Lanes::pick(Lanes::load(x0), index1, Lanes::load(x1)));
      });
    }
  } else if (touched[0] && touched[1]) {
    each_pair([&](Complex64* x0, Complex64* x1) {
      Lanes::store(x0, Lanes::flip(Lanes::load(x0), index0));
      Lanes::store(x1, Lanes::flip(Lanes::load(x1), index1));
    });
  } else if (touched[0]) {
    each_pair(
        [&](Complex64* x0, Complex64*) { Lanes::store(x0, Lanes::flip(Lanes::load(x0), index0)); });
  } else {
    each_pair(
        [&](Complex64*, Complex64* x1) { Lanes::store(x1, Lanes::flip(Lanes::load(x1), index1)); });
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
