// SSE2 lanes: two doubles per register, one amplitude per register. Include
// only from files built for SSE2 (the x86-64 baseline).
#pragma once

#include <emmintrin.h>

#include "math_core/complex_lanes.h"
#include "math_core/math_core.h"

namespace math_core {

struct Sse2 {
  static constexpr unsigned kComplexPerVector = 1;
  static constexpr unsigned kLanes = 2;
  using Packed = __m128d;

  /// One double per lane; every operator is the one IEEE operation per lane,
  /// + and * with the left operand first (lanes_scalar.h says why).
  struct V {
    __m128d v;
    V() = default;
    explicit V(__m128d x) : v(x) {}
    explicit V(double x) : v(_mm_set1_pd(x)) {}
    friend V operator+(V a, V b) {
      __asm__("addpd %1, %0" : "+x"(a.v) : "xm"(b.v));
      return a;
    }
    friend V operator-(V a, V b) { return V(_mm_sub_pd(a.v, b.v)); }
    friend V operator*(V a, V b) {
      __asm__("mulpd %1, %0" : "+x"(a.v) : "xm"(b.v));
      return a;
    }
    friend V operator-(V a) { return V(_mm_xor_pd(a.v, _mm_set1_pd(-0.0))); }
  };

  static Packed load(const Complex64* p) { return _mm_loadu_pd(&p->re); }
  static void store(Complex64* p, Packed r) { _mm_storeu_pd(&p->re, r); }

  static ComplexLanes<V> deinterleave(Packed r0, Packed r1) {
    return {V(_mm_unpacklo_pd(r0, r1)), V(_mm_unpackhi_pd(r0, r1))};
  }
  static void interleave(const ComplexLanes<V>& c, Packed& r0, Packed& r1) {
    r0 = _mm_unpacklo_pd(c.re.v, c.im.v);
    r1 = _mm_unpackhi_pd(c.re.v, c.im.v);
  }
  // One amplitude per register: no pair ever sits inside one.
  static void split(unsigned, Packed, Packed, Packed&, Packed&) {}
  static void merge(unsigned, Packed, Packed, Packed&, Packed&) {}
};

}  // namespace math_core
