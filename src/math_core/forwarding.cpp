#include "math_core/forwarding.h"

namespace math_core::forwarding {

void apply_h_cpp(ComplexView state, std::uint64_t q) noexcept { math_core::apply_h_cpp(state, q); }

void apply_x_cpp(ComplexView state, std::uint64_t q) noexcept { math_core::apply_x_cpp(state, q); }

void apply_cx_cpp(ComplexView state, std::uint64_t c, std::uint64_t t) noexcept {
  math_core::apply_cx_cpp(state, c, t);
}

void apply_h_cpp_range(ComplexView state, std::uint64_t q, Isa isa, std::uint64_t begin,
                       std::uint64_t end) noexcept {
  math_core::apply_h_cpp_range(state, q, isa, begin, end);
}

void apply_x_cpp_range(ComplexView state, std::uint64_t q, Isa isa, std::uint64_t begin,
                       std::uint64_t end) noexcept {
  math_core::apply_x_cpp_range(state, q, isa, begin, end);
}

void apply_cx_cpp_range(ComplexView state, std::uint64_t c, std::uint64_t t, Isa isa,
                        std::uint64_t begin, std::uint64_t end) noexcept {
  math_core::apply_cx_cpp_range(state, c, t, isa, begin, end);
}

}  // namespace math_core::forwarding
