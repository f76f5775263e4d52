// Binding functions: the engine's only way into the math_core kernels. They
// build the view (first address, count) over the register's own storage and
// call the kernel through its forwarding function (math_core/forwarding.h).
#pragma once

#include <cstdint>
#include <span>

#include "base/gate_table.h"
#include "engine/exec_policy.h"
#include "math_core/math_core.h"

namespace velquin::engine::ffi {

using math_core::Complex64;

/// The kernel `kernel` (kKernelH, kKernelX or kKernelCx) in place on qubit a,
/// or with control a and target b (a == b does nothing), its pairs split over
/// the policy's threads. Requires state.size() == 2^m with a, b < m.
void apply_kernel(Arithmetic kernel, std::span<Complex64> state, std::uint64_t a, std::uint64_t b,
                  const ExecPolicy& policy) noexcept;

}  // namespace velquin::engine::ffi
