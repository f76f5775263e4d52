// The library's entry: one forwarding function per kernel. Each passes the
// view and the indices through unchanged; it adds no checks, catches nothing
// and copies nothing. This is the only way the engine reaches the kernels.
#pragma once

#include <cstdint>

#include "math_core/variant_fit.h"
#include "math_core/math_core.h"

namespace math_core::forwarding {

/// Forwards to math_core::apply_h_cpp.
void apply_h_cpp(ComplexView state, std::uint64_t q) noexcept;

/// Forwards to math_core::apply_x_cpp.
void apply_x_cpp(ComplexView state, std::uint64_t q) noexcept;

/// Forwards to math_core::apply_cx_cpp.
void apply_cx_cpp(ComplexView state, std::uint64_t c, std::uint64_t t) noexcept;

/// Forwards to math_core::apply_h_cpp_range.
void apply_h_cpp_range(ComplexView state, std::uint64_t q, Isa isa, std::uint64_t begin,
                       std::uint64_t end) noexcept;

/// Forwards to math_core::apply_x_cpp_range.
void apply_x_cpp_range(ComplexView state, std::uint64_t q, Isa isa, std::uint64_t begin,
                       std::uint64_t end) noexcept;

/// Forwards to math_core::apply_cx_cpp_range.
void apply_cx_cpp_range(ComplexView state, std::uint64_t c, std::uint64_t t, Isa isa,
                        std::uint64_t begin, std::uint64_t end) noexcept;

}  // namespace math_core::forwarding
