// Binding functions: the engine's only way into the math_core kernels. Each
// builds the view (first address, count) over the register's own storage and
// calls the kernel of the same name through its forwarding function (math_core/forwarding.h).
#pragma once

#include <cstdint>
#include <span>

#include "engine/exec_policy.h"
#include "math_core/math_core.h"

namespace velquin::engine::ffi {

using math_core::Complex64;

/// Hadamard on q in place. Requires state.size() == 2^m with q < m.
void apply_h_cpp(std::span<Complex64> state, std::uint64_t q, const ExecPolicy& policy) noexcept;

/// Pauli-X on q in place. Requires state.size() == 2^m with q < m.
void apply_x_cpp(std::span<Complex64> state, std::uint64_t q, const ExecPolicy& policy) noexcept;

/// CNOT in place. Requires state.size() == 2^m with c, t < m; c == t does nothing.
void apply_cx_cpp(std::span<Complex64> state, std::uint64_t c, std::uint64_t t,
                  const ExecPolicy& policy) noexcept;

}  // namespace velquin::engine::ffi
