// The complex arithmetic of every gate. Each operation is one binary64
// operation per part, rounded on its own, in exactly the order written here;
// the whole project is compiled with -ffp-contract=off so no multiply and add
// fuse. std::complex is not used: its product adds NaN-recovery branches and
// its operand order is not ours to fix.
//
// V is a lane type (lanes_*.h): its + and * keep their left operand as the
// first source of the machine instruction, so where both operands are NaN the
// left one's NaN is the result on every path (see lanes_scalar.h).
#pragma once

#include "math_core/complex_lanes.h"

namespace math_core {

/// a × b with all four real products, also when a part is zero:
/// ((a.re·b.re) − (a.im·b.im), (a.re·b.im) + (a.im·b.re)).
template <class V>
[[gnu::always_inline]] inline ComplexLanes<V> mul(const ComplexLanes<V>& a,
                                                  const ComplexLanes<V>& b) {
  return {(a.re * b.re) - (a.im * b.im), (a.re * b.im) + (a.im * b.re)};
}

/// r·a: (r·a.re, r·a.im).
template <class V>
[[gnu::always_inline]] inline ComplexLanes<V> scale(const V& r, const ComplexLanes<V>& a) {
  return {r * a.re, r * a.im};
}

/// a + b, part by part.
template <class V>
[[gnu::always_inline]] inline ComplexLanes<V> add(const ComplexLanes<V>& a,
                                                  const ComplexLanes<V>& b) {
  return {a.re + b.re, a.im + b.im};
}

/// a − b, part by part.
template <class V>
[[gnu::always_inline]] inline ComplexLanes<V> sub(const ComplexLanes<V>& a,
                                                  const ComplexLanes<V>& b) {
  return {a.re - b.re, a.im - b.im};
}

/// −a: both sign bits flipped, no arithmetic (NaN and zero parts included).
template <class V>
[[gnu::always_inline]] inline ComplexLanes<V> neg(const ComplexLanes<V>& a) {
  return {-a.re, -a.im};
}

/// The constant (re, im) on every lane.
template <class V>
[[gnu::always_inline]] inline ComplexLanes<V> splat(double re, double im) {
  return {V(re), V(im)};
}

}  // namespace math_core
