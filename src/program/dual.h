// Numbers with a first derivative, for the exact derivatives of gate
// matrices: a gate library maker run on Dual angles computes, in its value
// parts, exactly the operations (and bits) it computes on doubles, and in its
// derivative parts d/d(angle) of every coefficient by the chain rule.
#pragma once

#include <cmath>

#include "base/complex64.h"

namespace velquin::program {

struct Dual {
  double v = 0.0;  // the value
  double d = 0.0;  // its derivative

  Dual() = default;
  Dual(double value) : v(value) {}  // NOLINT(google-explicit-constructor): a constant
  Dual(double value, double derivative) : v(value), d(derivative) {}

  friend Dual operator+(Dual a, Dual b) { return {a.v + b.v, a.d + b.d}; }
  friend Dual operator-(Dual a, Dual b) { return {a.v - b.v, a.d - b.d}; }
  friend Dual operator*(Dual a, Dual b) { return {a.v * b.v, a.d * b.v + a.v * b.d}; }
  friend Dual operator-(Dual a) { return {-a.v, -a.d}; }
};

inline double cos_of(double a) { return std::cos(a); }
inline double sin_of(double a) { return std::sin(a); }
inline Dual cos_of(Dual a) { return {std::cos(a.v), -(std::sin(a.v) * a.d)}; }
inline Dual sin_of(Dual a) { return {std::sin(a.v), std::cos(a.v) * a.d}; }

/// A complex number of T: Complex64 itself for doubles.
template <class T>
struct ComplexOf {
  struct type {
    T re, im;
  };
};
template <>
struct ComplexOf<double> {
  using type = Complex64;
};
template <class T>
using Cx = typename ComplexOf<T>::type;

}  // namespace velquin::program
