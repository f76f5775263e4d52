// AVX2 lanes: four doubles per register, two amplitudes per register. Include
// only from files built with -mavx2 (and never -mfma).
#pragma once

#include <immintrin.h>

#include "math_core/complex_lanes.h"
#include "math_core/math_core.h"

namespace math_core {

struct Avx2 {
  static constexpr unsigned kComplexPerVector = 2;
  static constexpr unsigned kLanes = 4;
  using Packed = __m256d;

  /// + and * with the left operand first (lanes_scalar.h says why).
  struct V {
    __m256d v;
    V() = default;
    explicit V(__m256d x) : v(x) {}
    explicit V(double x) : v(_mm256_set1_pd(x)) {}
    friend V operator+(V a, V b) {
      V r;
      __asm__("vaddpd %2, %1, %0" : "=x"(r.v) : "x"(a.v), "xm"(b.v));
      return r;
    }
    friend V operator-(V a, V b) { return V(_mm256_sub_pd(a.v, b.v)); }
    friend V operator*(V a, V b) {
      V r;
      __asm__("vmulpd %2, %1, %0" : "=x"(r.v) : "x"(a.v), "xm"(b.v));
      return r;
    }
    friend V operator-(V a) { return V(_mm256_xor_pd(a.v, _mm256_set1_pd(-0.0))); }
  };

  static Packed load(const Complex64* p) { return _mm256_loadu_pd(&p->re); }
  static void store(Complex64* p, Packed r) { _mm256_storeu_pd(&p->re, r); }

  // unpack works within 128-bit halves, so lanes come out in the order
  // (r0[0], r1[0], r0[1], r1[1]); interleave undoes exactly that.
  static ComplexLanes<V> deinterleave(Packed r0, Packed r1) {
    return {V(_mm256_unpacklo_pd(r0, r1)), V(_mm256_unpackhi_pd(r0, r1))};
  }
  static void interleave(const ComplexLanes<V>& c, Packed& r0, Packed& r1) {
    r0 = _mm256_unpacklo_pd(c.re.v, c.im.v);
    r1 = _mm256_unpackhi_pd(c.re.v, c.im.v);
  }

  /// Qubit 0 pairs neighbours: from (c0 c1), (c2 c3) make clear = (c0 c2),
  /// set = (c1 c3). merge is the inverse.
  static void split(unsigned, Packed r0, Packed r1, Packed& clear, Packed& set) {
    clear = _mm256_permute2f128_pd(r0, r1, 0x20);
    set = _mm256_permute2f128_pd(r0, r1, 0x31);
  }
  static void merge(unsigned, Packed clear, Packed set, Packed& r0, Packed& r1) {
    r0 = _mm256_permute2f128_pd(clear, set, 0x20);
    r1 = _mm256_permute2f128_pd(clear, set, 0x31);
  }
};

}  // namespace math_core
