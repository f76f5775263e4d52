#include "math_core/math_core.h"

#include <cmath>
#include <utility>

namespace math_core {

void apply_h_cpp(ComplexView state, std::uint64_t q) noexcept {
  const std::uint64_t n = state.size();
  const std::uint64_t pow_q = std::uint64_t{1} << q;
  const std::uint64_t block = 2 * pow_q;
  const double s = 1.0 / std::sqrt(2.0);
  for (std::uint64_t base = 0; base < n; base += block) {
    for (std::uint64_t k = 0; k < pow_q; ++k) {
      const std::uint64_t i = base + k;
      const std::uint64_t j = i + pow_q;
      const Complex64 a0 = state[i];
      const Complex64 a1 = state[j];
      state[i].re = (a0.re + a1.re) * s;
      state[i].im = (a0.im + a1.im) * s;
      state[j].re = (a0.re - a1.re) * s;
      state[j].im = (a0.im - a1.im) * s;
    }
  }
}

void apply_x_cpp(ComplexView state, std::uint64_t q) noexcept {
  const std::uint64_t n = state.size();
  const std::uint64_t pow_q = std::uint64_t{1} << q;
  const std::uint64_t block = 2 * pow_q;
  for (std::uint64_t base = 0; base < n; base += block) {
    for (std::uint64_t k = 0; k < pow_q; ++k) {
      std::swap(state[base + k], state[base + k + pow_q]);
    }
  }
}

void apply_cx_cpp(ComplexView state, std::uint64_t c, std::uint64_t t) noexcept {
  const std::uint64_t n = state.size();
  const std::uint64_t c_mask = std::uint64_t{1} << c;
  const std::uint64_t t_mask = std::uint64_t{1} << t;
  for (std::uint64_t i = 0; i < n; ++i) {
    if ((i & c_mask) != 0 && (i & t_mask) == 0) std::swap(state[i], state[i | t_mask]);
  }
}

}  // namespace math_core
