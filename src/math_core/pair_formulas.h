// Every gate as its constants and its two formulas, written once for every
// lane type V. A formula reads the old pair (a0, a1) and writes the new one;
// a0 is the amplitude with the gate's bit clear, a1 its partner.
#pragma once

#include <cstdint>

#include "base/gate_table.h"
#include "engine/complex_arith.h"
#include "math_core/pair_traversal.h"

namespace velquin::engine {

using math_core::Touch;

/// Constants made once per gate call; what `a` and `b` mean is the formula's:
/// a = r for Hadamard, (cos, sin) of the half angle for the rotations, the
/// phase (re, im) for Phase.
struct FormulaConstants {
  double a = 0.0;
  double b = 0.0;
};


template <class V>
struct HadamardFormula {
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
  static constexpr Touch kTouch = Touch::kSecondOnly;
  ComplexLanes<V> p;
  explicit PhaseFormula(const FormulaConstants& c) : p(splat<V>(c.a, c.b)) {}
  void operator()(ComplexLanes<V>& a1) const { a1 = mul(a1, p); }
};

template <class V>
struct NegateFormula {
  static constexpr Touch kTouch = Touch::kSecondOnly;
  explicit NegateFormula(const FormulaConstants&) {}
  void operator()(ComplexLanes<V>& a1) const { a1 = neg(a1); }
};

template <class V>
struct ExchangeFormula {
  static constexpr Touch kTouch = Touch::kExchange;
  explicit ExchangeFormula(const FormulaConstants&) {}
};

template <class V>
struct ControlledYFormula {
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

}  // namespace velquin::engine
