#include "math_core/boundary.h"

namespace math_core::boundary {

void apply_h_cpp(ComplexView state, std::uint64_t q) noexcept { math_core::apply_h_cpp(state, q); }

void apply_x_cpp(ComplexView state, std::uint64_t q) noexcept { math_core::apply_x_cpp(state, q); }

void apply_cx_cpp(ComplexView state, std::uint64_t c, std::uint64_t t) noexcept {
  math_core::apply_cx_cpp(state, c, t);
}

}  // namespace math_core::boundary
