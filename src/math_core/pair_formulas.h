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

template <class V>
struct HadamardFormula {
  static constexpr Arithmetic kArithmetic = Arithmetic::kHadamard;
  static constexpr Touch kTouch = Touch::kBoth;
  V r;
  explicit HadamardFormula(const FormulaConstants& c) : r(c.a) {}
  void operator()(ComplexLanes<V>& a0, ComplexLanes<V>& a1) const {
    const ComplexLanes<V> new0 = scale(r, add(a0, a1));
    const ComplexLanes<V> new1 = scale(r, sub(a0, a1));
    a0 = new0;
    a1 = new1;
  }
};

template <class V>
struct PauliYFormula {
  static constexpr Arithmetic kArithmetic = Arithmetic::kPauliY;
  static constexpr Touch kTouch = Touch::kBoth;
  ComplexLanes<V> u;
  ComplexLanes<V> minus_u;
  explicit PauliYFormula(const FormulaConstants&)
      : u(splat<V>(0.0, 1.0)), minus_u(neg(splat<V>(0.0, 1.0))) {}
  void operator()(ComplexLanes<V>& a0, ComplexLanes<V>& a1) const {
    const ComplexLanes<V> new0 = mul(minus_u, a1);
    const ComplexLanes<V> new1 = mul(u, a0);
    a0 = new0;
    a1 = new1;
  }
};

template <class V>
struct SqrtXFormula {
  static constexpr Arithmetic kArithmetic = Arithmetic::kSqrtX;
  static constexpr Touch kTouch = Touch::kBoth;
  ComplexLanes<V> p;
  ComplexLanes<V> p_bar;
  explicit SqrtXFormula(const FormulaConstants&)
      : p(splat<V>(0.5, 0.5)), p_bar(splat<V>(0.5, -0.5)) {}
  void operator()(ComplexLanes<V>& a0, ComplexLanes<V>& a1) const {
    const ComplexLanes<V> new0 = add(mul(p, a0), mul(p_bar, a1));
    const ComplexLanes<V> new1 = add(mul(p_bar, a0), mul(p, a1));
    a0 = new0;
    a1 = new1;
  }
};

template <class V>
struct RotationXFormula {
  static constexpr Arithmetic kArithmetic = Arithmetic::kRotationX;
  static constexpr Touch kTouch = Touch::kBoth;
  V co;
  ComplexLanes<V> w;
  explicit RotationXFormula(const FormulaConstants& c) : co(c.a), w{V(0.0), -V(c.b)} {}
  void operator()(ComplexLanes<V>& a0, ComplexLanes<V>& a1) const {
    const ComplexLanes<V> new0 = add(scale(co, a0), mul(w, a1));
    const ComplexLanes<V> new1 = add(mul(w, a0), scale(co, a1));
    a0 = new0;
    a1 = new1;
  }
};

template <class V>
struct RotationYFormula {
  static constexpr Arithmetic kArithmetic = Arithmetic::kRotationY;
  static constexpr Touch kTouch = Touch::kBoth;
  V co;
  V si;
  explicit RotationYFormula(const FormulaConstants& c) : co(c.a), si(c.b) {}
  void operator()(ComplexLanes<V>& a0, ComplexLanes<V>& a1) const {
    const ComplexLanes<V> new0 = sub(scale(co, a0), scale(si, a1));
    const ComplexLanes<V> new1 = add(scale(si, a0), scale(co, a1));
    a0 = new0;
    a1 = new1;
  }
};

template <class V>
struct RotationZFormula {
  static constexpr Arithmetic kArithmetic = Arithmetic::kRotationZ;
  static constexpr Touch kTouch = Touch::kBoth;
  ComplexLanes<V> p0;
  ComplexLanes<V> p1;
  explicit RotationZFormula(const FormulaConstants& c)
      : p0{V(c.a), -V(c.b)}, p1(splat<V>(c.a, c.b)) {}
  void operator()(ComplexLanes<V>& a0, ComplexLanes<V>& a1) const {
    a0 = mul(a0, p0);
    a1 = mul(a1, p1);
  }
};

template <class V>
struct PhaseFormula {
  static constexpr Arithmetic kArithmetic = Arithmetic::kPhase;
  static constexpr Touch kTouch = Touch::kSecondOnly;
  ComplexLanes<V> p;
  explicit PhaseFormula(const FormulaConstants& c) : p(splat<V>(c.a, c.b)) {}
  void operator()(ComplexLanes<V>& a1) const { a1 = mul(a1, p); }
};

template <class V>
struct NegateFormula {
  static constexpr Arithmetic kArithmetic = Arithmetic::kNegate;
  static constexpr Touch kTouch = Touch::kSecondOnly;
  explicit NegateFormula(const FormulaConstants&) {}
  void operator()(ComplexLanes<V>& a1) const { a1 = neg(a1); }
};

template <class V>
struct ExchangeFormula {
  static constexpr Arithmetic kArithmetic = Arithmetic::kExchange;
  static constexpr Touch kTouch = Touch::kExchange;
  explicit ExchangeFormula(const FormulaConstants&) {}
};

template <class V>
struct ControlledYFormula {
  static constexpr Arithmetic kArithmetic = Arithmetic::kControlledY;
  static constexpr Touch kTouch = Touch::kBoth;
  ComplexLanes<V> u;
  ComplexLanes<V> minus_u;
  explicit ControlledYFormula(const FormulaConstants&)
      : u(splat<V>(0.0, 1.0)), minus_u(neg(splat<V>(0.0, 1.0))) {}
  void operator()(ComplexLanes<V>& a0, ComplexLanes<V>& a1) const {
    const ComplexLanes<V> new0 = mul(a1, minus_u);
    const ComplexLanes<V> new1 = mul(a0, u);
    a0 = new0;
    a1 = new1;
  }
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
