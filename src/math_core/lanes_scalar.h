// Scalar lanes: one double per lane, the reference every vector variant
// matches bit for bit, NaNs included.
//
// Where both operands of an addition or a product are NaN, x86 returns the
// first source operand's NaN (quieted). The compiler treats + and * as
// commutative and may swap their operands, and it swaps them differently on
// the scalar path and in each vector variant, so the sign of a NaN result
// would depend on the path. Every lane type therefore does + and * in a
// single instruction whose first source is the left operand. (- and unary -
// cannot be swapped, so the compiler already keeps their order.)
#pragma once

namespace math_core {

/// a + b and a * b with `a` as the instruction's first source. The SSE2
/// encoding: the scalar path is built for the baseline instruction set.
[[gnu::always_inline]] inline double add_left_first(double a, double b) {
#if defined(__x86_64__)
  __asm__("addsd %1, %0" : "+x"(a) : "x"(b));
  return a;
#else
  return a + b;
#endif
}

[[gnu::always_inline]] inline double mul_left_first(double a, double b) {
#if defined(__x86_64__)
  __asm__("mulsd %1, %0" : "+x"(a) : "x"(b));
  return a;
#else
  return a * b;
#endif
}

struct Scalar {
  /// One double per lane; every operator is the one IEEE operation.
  struct V {
    double v;
    V() = default;
    explicit V(double x) : v(x) {}
    friend V operator+(V a, V b) { return V(add_left_first(a.v, b.v)); }
    friend V operator-(V a, V b) { return V(a.v - b.v); }
    friend V operator*(V a, V b) { return V(mul_left_first(a.v, b.v)); }
    friend V operator-(V a) { return V(-a.v); }
  };
};

}  // namespace math_core
