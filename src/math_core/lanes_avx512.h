// AVX-512 lanes: eight doubles per register, four amplitudes per register.
// Include only from files built with -mavx512f (and never -mfma).
#pragma once

#include <immintrin.h>

#include "math_core/complex_lanes.h"
#include "math_core/math_core.h"

namespace math_core {

struct Avx512 {
  static constexpr unsigned kComplexPerVector = 4;
  static constexpr unsigned kLanes = 8;
  using Packed = __m512d;

  /// + and * with the left operand first (lanes_scalar.h says why).
  struct V {
    __m512d v;
    V() = default;
    explicit V(__m512d x) : v(x) {}
    explicit V(double x) : v(_mm512_set1_pd(x)) {}
    friend V operator+(V a, V b) {
      V r;
      __asm__("vaddpd %2, %1, %0" : "=v"(r.v) : "v"(a.v), "vm"(b.v));
      return r;
    }
    friend V operator-(V a, V b) { return V(_mm512_sub_pd(a.v, b.v)); }
    friend V operator*(V a, V b) {
      V r;
      __asm__("vmulpd %2, %1, %0" : "=v"(r.v) : "v"(a.v), "vm"(b.v));
      return r;
    }
    friend V operator-(V a) {
      const __m512i sign = _mm512_set1_epi64(static_cast<long long>(0x8000000000000000ull));
      return V(_mm512_castsi512_pd(_mm512_xor_si512(_mm512_castpd_si512(a.v), sign)));
    }
  };

  /// Lane moves for groups of four inside a pair of registers (see
  /// traverse_groups_by_lanes): lane d of pick(a, index, b) is lane index[d]
  /// of a (0-7) or of b (8-15), of pick_own(a, index) lane index[d] mod 8 of
  /// a; flip(a, signs) toggles the bits set in signs.
  using Index = __m512i;
  static Index index(const std::uint64_t* lanes) { return _mm512_loadu_si512(lanes); }
  static Packed pick(Packed a, Index index, Packed b) {
    return _mm512_permutex2var_pd(a, index, b);
  }
  static Packed pick_own(Packed a, Index index) { return _mm512_permutexvar_pd(index, a); }
  static Packed flip(Packed a, Index signs) {
    return _mm512_castsi512_pd(_mm512_xor_si512(_mm512_castpd_si512(a), signs));
  }

  static Packed load(const Complex64* p) { return _mm512_loadu_pd(&p->re); }
  static void store(Complex64* p, Packed r) { _mm512_storeu_pd(&p->re, r); }

  static ComplexLanes<V> deinterleave(Packed r0, Packed r1) {
    return {V(_mm512_unpacklo_pd(r0, r1)), V(_mm512_unpackhi_pd(r0, r1))};
  }
  static void interleave(const ComplexLanes<V>& c, Packed& r0, Packed& r1) {
    r0 = _mm512_unpacklo_pd(c.re.v, c.im.v);
    r1 = _mm512_unpackhi_pd(c.re.v, c.im.v);
  }

  /// Qubits 0 and 1 pair amplitudes inside a register. From r0 = (c0 c1 c2 c3)
  /// and r1 = (c4 c5 c6 c7), `clear` gets the members with bit q clear and
  /// `set` their partners, lane for lane:
  ///   q = 0: clear = (c0 c2 c4 c6), set = (c1 c3 c5 c7)
  ///   q = 1: clear = (c0 c1 c4 c5), set = (c2 c3 c6 c7)
  static void split(unsigned q, Packed r0, Packed r1, Packed& clear, Packed& set) {
    if (q == 0) {
      clear = _mm512_shuffle_f64x2(r0, r1, _MM_SHUFFLE(2, 0, 2, 0));
      set = _mm512_shuffle_f64x2(r0, r1, _MM_SHUFFLE(3, 1, 3, 1));
    } else {
      clear = _mm512_shuffle_f64x2(r0, r1, _MM_SHUFFLE(1, 0, 1, 0));
      set = _mm512_shuffle_f64x2(r0, r1, _MM_SHUFFLE(3, 2, 3, 2));
    }
  }
  static void merge(unsigned q, Packed clear, Packed set, Packed& r0, Packed& r1) {
    if (q == 0) {
      // r0 = (clear0 set0 clear1 set1), r1 = (clear2 set2 clear3 set3), in doubles.
      const __m512i lo = _mm512_set_epi64(11, 10, 3, 2, 9, 8, 1, 0);
      const __m512i hi = _mm512_set_epi64(15, 14, 7, 6, 13, 12, 5, 4);
      r0 = _mm512_permutex2var_pd(clear, lo, set);
      r1 = _mm512_permutex2var_pd(clear, hi, set);
    } else {
      r0 = _mm512_shuffle_f64x2(clear, set, _MM_SHUFFLE(1, 0, 1, 0));
      r1 = _mm512_shuffle_f64x2(clear, set, _MM_SHUFFLE(3, 2, 3, 2));
    }
  }
};

}  // namespace math_core
