// A plain, obviously correct model of every gate, written straight from the
// formulas: each gate fills a fresh copy from the old array, one scalar
// operation at a time. The engine must match it bit for bit.
#pragma once

#include <bit>
#include <cmath>
#include <cstdint>
#include <random>
#include <vector>

#include "math_core/math_core.h"

namespace velquin::testing {

using math_core::Complex64;
using Amplitudes = std::vector<Complex64>;

inline Complex64 ref_mul(Complex64 a, Complex64 b) {
  return {a.re * b.re - a.im * b.im, a.re * b.im + a.im * b.re};
}
inline Complex64 ref_add(Complex64 a, Complex64 b) { return {a.re + b.re, a.im + b.im}; }
inline Complex64 ref_sub(Complex64 a, Complex64 b) { return {a.re - b.re, a.im - b.im}; }
inline Complex64 ref_scale(double r, Complex64 a) { return {r * a.re, r * a.im}; }
inline double flip_sign(double x) {
  return std::bit_cast<double>(std::bit_cast<std::uint64_t>(x) ^ (std::uint64_t{1} << 63));
}
inline Complex64 ref_neg(Complex64 a) { return {flip_sign(a.re), flip_sign(a.im)}; }

/// A single-qubit gate as its two formulas: (new0, new1) from (a0, a1).
struct RefPair {
  Complex64 new0;
  Complex64 new1;
};

/// Copy-then-replace paired update on qubit q: every i with bit q clear and
/// its partner i + 2^q get the formula's results in `out`.
template <class Formula>
Amplitudes ref_single(const Amplitudes& old, unsigned q, Formula formula) {
  Amplitudes out = old;
  const std::uint64_t m = std::uint64_t{1} << q;
  for (std::uint64_t i = 0; i < old.size(); ++i) {
    if (i & m) continue;
    const RefPair p = formula(old[i], old[i ^ m]);
    out[i] = p.new0;
    out[i ^ m] = p.new1;
  }
  return out;
}

inline double volatile_value(double x) {
  volatile double v = x;
  return v;
}

// The gates, each exactly as its formula table reads.
inline Amplitudes ref_h(const Amplitudes& a, unsigned q) {
  const double r = 1.0 / std::sqrt(volatile_value(2.0));
  return ref_single(a, q, [r](Complex64 a0, Complex64 a1) {
    return RefPair{ref_scale(r, ref_add(a0, a1)), ref_scale(r, ref_sub(a0, a1))};
  });
}
inline Amplitudes ref_x(const Amplitudes& a, unsigned q) {
  return ref_single(a, q, [](Complex64 a0, Complex64 a1) { return RefPair{a1, a0}; });
}
inline Amplitudes ref_y(const Amplitudes& a, unsigned q) {
  const Complex64 u{0.0, 1.0};
  const Complex64 minus_u = ref_neg(u);
  return ref_single(a, q, [=](Complex64 a0, Complex64 a1) {
    return RefPair{ref_mul(minus_u, a1), ref_mul(u, a0)};
  });
}
inline Amplitudes ref_sx(const Amplitudes& a, unsigned q) {
  const Complex64 p{0.5, 0.5};
  const Complex64 p_bar{0.5, -0.5};
  return ref_single(a, q, [=](Complex64 a0, Complex64 a1) {
    return RefPair{ref_add(ref_mul(p, a0), ref_mul(p_bar, a1)),
                   ref_add(ref_mul(p_bar, a0), ref_mul(p, a1))};
  });
}
inline Amplitudes ref_rx(const Amplitudes& a, unsigned q, double theta) {
  const double half = theta * 0.5;
  const double co = std::cos(half);
  const double si = std::sin(half);
  const Complex64 w{0.0, flip_sign(si)};
  return ref_single(a, q, [=](Complex64 a0, Complex64 a1) {
    return RefPair{ref_add(ref_scale(co, a0), ref_mul(w, a1)),
                   ref_add(ref_mul(w, a0), ref_scale(co, a1))};
  });
}
inline Amplitudes ref_ry(const Amplitudes& a, unsigned q, double theta) {
  const double half = theta * 0.5;
  const double co = std::cos(half);
  const double si = std::sin(half);
  return ref_single(a, q, [=](Complex64 a0, Complex64 a1) {
    return RefPair{ref_sub(ref_scale(co, a0), ref_scale(si, a1)),
                   ref_add(ref_scale(si, a0), ref_scale(co, a1))};
  });
}
inline Amplitudes ref_rz(const Amplitudes& a, unsigned q, double theta) {
  const double half = theta / 2.0;
  const double co = std::cos(half);
  const double si = std::sin(half);
  const Complex64 p0{co, flip_sign(si)};
  const Complex64 p1{co, si};
  return ref_single(a, q, [=](Complex64 a0, Complex64 a1) {
    return RefPair{ref_mul(a0, p0), ref_mul(a1, p1)};
  });
}
/// diag(1, p): only the bit-set member changes, a1 × p.
inline Amplitudes ref_phase(const Amplitudes& a, unsigned q, Complex64 p) {
  return ref_single(a, q, [=](Complex64 a0, Complex64 a1) { return RefPair{a0, ref_mul(a1, p)}; });
}
inline Amplitudes ref_z(const Amplitudes& a, unsigned q) {
  return ref_single(a, q, [](Complex64 a0, Complex64 a1) { return RefPair{a0, ref_neg(a1)}; });
}
inline Complex64 ref_t_phase(double sign) {
  const double phi = sign * volatile_value(0.7853981633974483);
  return {std::cos(phi), std::sin(phi)};
}

// Two-qubit gates: one pass over all indices, as the algorithms read.
inline Amplitudes ref_cx(const Amplitudes& old, unsigned c, unsigned t) {
  Amplitudes out = old;
  const std::uint64_t cm = std::uint64_t{1} << c, tm = std::uint64_t{1} << t;
  for (std::uint64_t i = 0; i < old.size(); ++i) {
    if ((i & cm) && !(i & tm)) std::swap(out[i], out[i ^ tm]);
  }
  return out;
}
inline Amplitudes ref_swap(const Amplitudes& old, unsigned q1, unsigned q2) {
  Amplitudes out = old;
  const std::uint64_t m1 = std::uint64_t{1} << q1, m2 = std::uint64_t{1} << q2;
  for (std::uint64_t i = 0; i < old.size(); ++i) {
    if ((i & m1) && !(i & m2)) std::swap(out[i], out[i ^ (m1 | m2)]);
  }
  return out;
}
inline Amplitudes ref_cz(const Amplitudes& old, unsigned c, unsigned t) {
  Amplitudes out = old;
  const std::uint64_t cm = std::uint64_t{1} << c, tm = std::uint64_t{1} << t;
  for (std::uint64_t i = 0; i < old.size(); ++i) {
    if ((i & cm) && (i & tm)) out[i] = ref_neg(old[i]);
  }
  return out;
}
inline Amplitudes ref_cy(const Amplitudes& old, unsigned c, unsigned t) {
  Amplitudes out = old;
  const std::uint64_t cm = std::uint64_t{1} << c, tm = std::uint64_t{1} << t;
  const Complex64 u{0.0, 1.0};
  const Complex64 minus_u = ref_neg(u);
  for (std::uint64_t i = 0; i < old.size(); ++i) {
    if (!(i & cm) || (i & tm)) continue;
    const std::uint64_t j = i ^ tm;
    out[j] = ref_mul(old[i], u);
    out[i] = ref_mul(old[j], minus_u);
  }
  return out;
}

/// Random amplitudes; about one part in eight is a special value (signed
/// zeros, infinities, NaN, subnormal, huge) so that sign and NaN rules show.
inline Amplitudes random_amplitudes(std::uint64_t count, std::mt19937_64& gen) {
  static constexpr double kSpecial[] = {0.0,  -0.0,   INFINITY, -INFINITY, NAN,
                                        -NAN, 4e-320, -1e300,   1e300,     1.0};
  std::uniform_real_distribution<double> uniform(-1.0, 1.0);
  std::uniform_int_distribution<int> pick(0, 79);
  auto part = [&] {
    const int k = pick(gen);
    return k < 10 ? kSpecial[k] : uniform(gen);
  };
  Amplitudes out(count);
  for (Complex64& c : out) c = {part(), part()};
  return out;
}

/// Same bits, or both NaN (IEEE fixes no NaN payload or sign).
inline bool same_double(double a, double b) {
  if (std::isnan(a) && std::isnan(b)) return true;
  return std::bit_cast<std::uint64_t>(a) == std::bit_cast<std::uint64_t>(b);
}

/// Index of the first element that differs, or -1 when all agree.
template <class A, class B>
std::int64_t first_difference(const A& got, const B& want) {
  if (got.size() != want.size()) return 0;
  for (std::size_t i = 0; i < got.size(); ++i) {
    if (!same_double(got[i].re, want[i].re) || !same_double(got[i].im, want[i].im)) {
      return static_cast<std::int64_t>(i);
    }
  }
  return -1;
}

/// Exact bits, NaN payloads included: for checks that nothing changed.
template <class A, class B>
bool identical_bits(const A& got, const B& want) {
  if (got.size() != want.size()) return false;
  for (std::size_t i = 0; i < got.size(); ++i) {
    if (std::bit_cast<std::uint64_t>(got[i].re) != std::bit_cast<std::uint64_t>(want[i].re) ||
        std::bit_cast<std::uint64_t>(got[i].im) != std::bit_cast<std::uint64_t>(want[i].im)) {
      return false;
    }
  }
  return true;
}

}  // namespace velquin::testing
