// The vector walks for two-qubit groups whose lower qubit (on AVX-512 perhaps
// both) lies inside one register (vector_traversal.h chooses them). Include
// only from files built for the lane type's instruction set.
#pragma once

#include <algorithm>
#include <cstdint>

#include "math_core/pair_space.h"
#include "math_core/vector_step.h"

namespace math_core {

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

}  // namespace math_core
