// Every gate as its constants and its two formulas, written once for every
// lane type V. A formula reads the old pair (a0, a1) and writes the new one;
// a0 is the amplitude with the gate's bit clear, a1 its partner.
#pragma once

#include <cstdint>

#include "engine/complex_arith.h"
#include "math_core/pair_traversal.h"

namespace velquin::engine {

using math_core::Touch;

/// Constants made once per gate call; what `a` and `b` mean is the formula's.
struct GateConstants {
  double a = 0.0;
  double b = 0.0;
};

/// The distinct pair formulas. Gates that differ only in their constants
/// (s, sdg, t, tdg) or in which pairs they visit (x, cx, swap; z, cz) share one.
enum class PairFormula : std::uint8_t {
  kHadamard,     // a = r
  kPauliY,
  kSqrtX,
  kRotationX,    // a = cos(half), b = sin(half)
  kRotationY,    // a = cos(half), b = sin(half)
  kRotationZ,    // a = cos(half), b = sin(half)
  kPhase,        // a1 × (a, b)
  kNegate,       // -a1
  kExchange,     // a0 <-> a1
  kControlledY,  // cy on its control = 1 pairs
};
inline constexpr unsigned kPairFormulaCount = 10;

template <class V>
struct HadamardFormula {
  static constexpr Touch kTouch = Touch::kBoth;
  V r;
  explicit HadamardFormula(const GateConstants& c) : r(c.a) {}
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
  explicit PauliYFormula(const GateConstants&)
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
  explicit SqrtXFormula(const GateConstants&)
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
  explicit RotationXFormula(const GateConstants& c) : co(c.a), w{V(0.0), -V(c.b)} {}
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
  explicit RotationYFormula(const GateConstants& c) : co(c.a), si(c.b) {}
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
  explicit RotationZFormula(const GateConstants& c)
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
  explicit PhaseFormula(const GateConstants& c) : p(splat<V>(c.a, c.b)) {}
  void operator()(ComplexLanes<V>& a1) const { a1 = mul(a1, p); }
};

template <class V>
struct NegateFormula {
  static constexpr Touch kTouch = Touch::kSecondOnly;
  explicit NegateFormula(const GateConstants&) {}
  void operator()(ComplexLanes<V>& a1) const { a1 = neg(a1); }
};

template <class V>
struct ExchangeFormula {
  static constexpr Touch kTouch = Touch::kExchange;
  explicit ExchangeFormula(const GateConstants&) {}
};

template <class V>
struct ControlledYFormula {
  static constexpr Touch kTouch = Touch::kBoth;
  ComplexLanes<V> u;
  ComplexLanes<V> minus_u;
  explicit ControlledYFormula(const GateConstants&)
      : u(splat<V>(0.0, 1.0)), minus_u(neg(splat<V>(0.0, 1.0))) {}
  void operator()(ComplexLanes<V>& a0, ComplexLanes<V>& a1) const {
    const ComplexLanes<V> new0 = mul(a1, minus_u);
    const ComplexLanes<V> new1 = mul(a0, u);
    a0 = new0;
    a1 = new1;
  }
};

}  // namespace velquin::engine
