#include "engine/ffi.h"

#include "math_core/boundary.h"

namespace velquin::engine::ffi {
namespace {

math_core::ComplexView view_of(std::span<Complex64> state) noexcept {
  return {state.data(), state.size()};
}

}  // namespace

void apply_h_cpp(std::span<Complex64> state, std::uint64_t q) noexcept {
  math_core::boundary::apply_h_cpp(view_of(state), q);
}

void apply_x_cpp(std::span<Complex64> state, std::uint64_t q) noexcept {
  math_core::boundary::apply_x_cpp(view_of(state), q);
}

void apply_cx_cpp(std::span<Complex64> state, std::uint64_t c, std::uint64_t t) noexcept {
  math_core::boundary::apply_cx_cpp(view_of(state), c, t);
}

}  // namespace velquin::engine::ffi
