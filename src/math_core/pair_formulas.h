// Every pair formula of every gate, written once for every lane type V: the
// engine's gate loops and the math_core kernels (h_cpp, x_cpp, cx_cpp) take
// them from here, so a gate and its kernel-backed twin give the same bits. A
// formula reads the old pair (a0, a1) and writes the new one; a0 is the
// amplitude with the gate's bit clear (or the pair's first member), a1 its
// partner.
#pragma once

#include <cstddef>

#include "base/gate_table.h"
#include "math_core/complex_arith.h"
#include "math_core/pair_traversal.h"

namespace math_core {

using velquin::Arithmetic;

/// Constants made once per gate call; what `a` and `b` mean is the formula's:
/// a = r for Hadamard, (cos, sin) of the half angle for the rotations, the
/// phase (re, im) for Phase.
struct FormulaConstants {
  double a = 0.0;
  double b = 0.0;
};

/// What every formula declares: which Arithmetic value it is, how it touches
/// a pair and whether it is part-wise (pair_traversal.h).
template <Arithmetic A, Touch T, bool kIsPartwise = false>
struct PairFormula {
  static constexpr Arithmetic kArithmetic = A;
  static constexpr Touch kTouch = T;
  static constexpr bool kPartwise = kIsPartwise;
};

/// The new pair, both members computed from the old one before either is
/// written.
template <class V>
[[gnu::always_inline]] inline void assign_pair(ComplexLanes<V>& a0, ComplexLanes<V>& a1,
                                               const ComplexLanes<V>& new0,
                                               const ComplexLanes<V>& new1) {
  a0 = new0;
  a1 = new1;
}

/// (r·(a0 + a1), r·(a0 − a1)) with r = 1 / sqrt(2).
template <class V>
struct HadamardFormula : PairFormula<Arithmetic::kHadamard, Touch::kBoth, true> {
  V r;
  explicit HadamardFormula(const FormulaConstants& c) : r(c.a) {}
  void operator()(ComplexLanes<V>& a0, ComplexLanes<V>& a1) const {
    assign_pair(a0, a1, scale(r, add(a0, a1)), scale(r, sub(a0, a1)));
  }
};

/// Y as y has it, ((−u) × a1, u × a0), or as cy has it, (a1 × (−u), a0 × u),
/// u = (0, 1): the same values, but which operand comes first decides the
/// bits of a NaN.
template <class V, bool kConstantFirst>
struct YFormula
    : PairFormula<kConstantFirst ? Arithmetic::kPauliY : Arithmetic::kControlledY, Touch::kBoth> {
  ComplexLanes<V> u;
  ComplexLanes<V> minus_u;
  explicit YFormula(const FormulaConstants&)
      : u(splat<V>(0.0, 1.0)), minus_u(neg(splat<V>(0.0, 1.0))) {}
  void operator()(ComplexLanes<V>& a0, ComplexLanes<V>& a1) const {
    if constexpr (kConstantFirst) {
      assign_pair(a0, a1, mul(minus_u, a1), mul(u, a0));
    } else {
      assign_pair(a0, a1, mul(a1, minus_u), mul(a0, u));
    }
  }
};
template <class V>
using PauliYFormula = YFormula<V, true>;
template <class V>
using ControlledYFormula = YFormula<V, false>;

/// ((p × a0) + (p̄ × a1), (p̄ × a0) + (p × a1)), p = (0.5, 0.5), p̄ = (0.5, −0.5).
template <class V>
struct SqrtXFormula : PairFormula<Arithmetic::kSqrtX, Touch::kBoth> {
  ComplexLanes<V> p;
  ComplexLanes<V> p_bar;
  explicit SqrtXFormula(const FormulaConstants&)
      : p(splat<V>(0.5, 0.5)), p_bar(splat<V>(0.5, -0.5)) {}
  void operator()(ComplexLanes<V>& a0, ComplexLanes<V>& a1) const {
    assign_pair(a0, a1, add(mul(p, a0), mul(p_bar, a1)), add(mul(p_bar, a0), mul(p, a1)));
  }
};

/// ((co·a0) + (w × a1), (w × a0) + (co·a1)), w = (0, −si).
template <class V>
struct RotationXFormula : PairFormula<Arithmetic::kRotationX, Touch::kBoth> {
  V co;
  ComplexLanes<V> w;
  explicit RotationXFormula(const FormulaConstants& c) : co(c.a), w{V(0.0), -V(c.b)} {}
  void operator()(ComplexLanes<V>& a0, ComplexLanes<V>& a1) const {
    assign_pair(a0, a1, add(scale(co, a0), mul(w, a1)), add(mul(w, a0), scale(co, a1)));
  }
};

/// ((co·a0) − (si·a1), (si·a0) + (co·a1)).
template <class V>
struct RotationYFormula : PairFormula<Arithmetic::kRotationY, Touch::kBoth, true> {
  V co;
  V si;
  explicit RotationYFormula(const FormulaConstants& c) : co(c.a), si(c.b) {}
  void operator()(ComplexLanes<V>& a0, ComplexLanes<V>& a1) const {
    assign_pair(a0, a1, sub(scale(co, a0), scale(si, a1)), add(scale(si, a0), scale(co, a1)));
  }
};

/// (a0 × (co, −si), a1 × (co, si)).
template <class V>
struct RotationZFormula : PairFormula<Arithmetic::kRotationZ, Touch::kBoth> {
  ComplexLanes<V> p0;
  ComplexLanes<V> p1;
  explicit RotationZFormula(const FormulaConstants& c)
      : p0{V(c.a), -V(c.b)}, p1(splat<V>(c.a, c.b)) {}
  void operator()(ComplexLanes<V>& a0, ComplexLanes<V>& a1) const {
    assign_pair(a0, a1, mul(a0, p0), mul(a1, p1));
  }
};

/// a1 × (a, b); a0 is not touched.
template <class V>
struct PhaseFormula : PairFormula<Arithmetic::kPhase, Touch::kSecondOnly> {
  ComplexLanes<V> p;
  explicit PhaseFormula(const FormulaConstants& c) : p(splat<V>(c.a, c.b)) {}
  void operator()(ComplexLanes<V>& a1) const { a1 = mul(a1, p); }
};

/// −a1: both sign bits flipped; a0 is not touched.
template <class V>
struct NegateFormula : PairFormula<Arithmetic::kNegate, Touch::kSecondOnly, true> {
  static constexpr bool kSignFlip = true;
  explicit NegateFormula(const FormulaConstants&) {}
  void operator()(ComplexLanes<V>& a1) const { a1 = neg(a1); }
};

/// a0 and a1 trade places, bits unchanged (the traversal moves them).
template <class V>
struct ExchangeFormula : PairFormula<Arithmetic::kExchange, Touch::kExchange> {
  explicit ExchangeFormula(const FormulaConstants&) {}
};

/// Every pair formula, in Arithmetic order: a new formula joins this list and
/// takes the next Arithmetic value, and every variant's table has it.
template <template <class> class... Formulas>
struct FormulaList {};
using PairFormulas =
    FormulaList<HadamardFormula, PauliYFormula, SqrtXFormula, RotationXFormula, RotationYFormula,
                RotationZFormula, PhaseFormula, NegateFormula, ExchangeFormula, ControlledYFormula>;

template <template <class> class... Formulas>
constexpr bool in_arithmetic_order(FormulaList<Formulas...>) {
  std::size_t i = 0;
  return ((static_cast<std::size_t>(Formulas<double>::kArithmetic) == i++) && ...) &&
         i == velquin::kPairFormulaCount;
}
static_assert(in_arithmetic_order(PairFormulas{}),
              "PairFormulas lists every pair formula in Arithmetic order");

}  // namespace math_core
