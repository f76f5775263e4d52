// The library's entry: how the engine reaches the kernels. It passes the
// kernel, the view and the indices through unchanged; it adds no checks,
// catches nothing and copies nothing. This is the only way the engine
// reaches the kernels.
#pragma once

#include <cstdint>

#include "math_core/math_core.h"

namespace math_core::forwarding {

/// Forwards to math_core::apply_kernel_range.
void apply_kernel_range(Kernel kernel, ComplexView state, std::uint64_t a, std::uint64_t b, Isa isa,
                        std::uint64_t begin, std::uint64_t end, bool prefetch) noexcept;

}  // namespace math_core::forwarding
