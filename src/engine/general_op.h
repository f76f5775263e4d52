// A general operation on a register's qubits (math_core/op_shape.h): its kind,
// its targets and controls as qubit indices, and coefficients that live
// elsewhere (the program binding it owns them). Placed on bit positions it
// becomes the math_core shape its walks run.
#pragma once

#include <array>
#include <cstdint>
#include <span>

#include "engine/exec_policy.h"
#include "math_core/op_kernels.h"

namespace velquin::engine {

using math_core::Complex64;
using math_core::OpKind;

inline constexpr unsigned kMaxOpQubits = 32;

struct GeneralOp {
  OpKind kind = OpKind::kDense;
  unsigned target_count = 0;
  unsigned control_count = 0;
  /// Targets first (member bit i is target i), then controls.
  std::array<unsigned, kMaxOpQubits> qubits{};
  std::uint32_t control_values = 0;  // bit i: the value control i asks for
  std::uint32_t pauli_flip = 0;      // Pauli kinds, bit i: target i carries X or Y
  std::uint32_t pauli_sign = 0;      // Pauli kinds, bit i: target i carries Y or Z
  std::uint32_t m0 = 0, m1 = 0;      // two-level members
  const Complex64* coefficients = nullptr;
  const std::uint32_t* permutation = nullptr;

  unsigned qubit_count() const noexcept { return target_count + control_count; }

  /// The math_core shape with qubit i of this operation (targets, then
  /// controls) at bit `positions[i]`.
  math_core::OpShape shape_at(std::span<const unsigned> positions) const noexcept {
    math_core::OpShape shape;
    shape.kind = kind;
    shape.k = target_count;
    for (unsigned i = 0; i < target_count; ++i) {
      const std::uint64_t bit = std::uint64_t{1} << positions[i];
      if (i < math_core::kMaxTargets) shape.targets[i] = positions[i];
      shape.target_mask |= bit;
      if ((pauli_flip >> i) & 1) shape.flip |= bit;
      if ((pauli_sign >> i) & 1) shape.sign |= bit;
      shape.y_count += ((pauli_flip & pauli_sign) >> i) & 1;
    }
    for (unsigned i = 0; i < control_count; ++i) {
      const std::uint64_t bit = std::uint64_t{1} << positions[target_count + i];
      shape.control_mask |= bit;
      if ((control_values >> i) & 1) shape.control_value |= bit;
    }
    shape.m0 = m0;
    shape.m1 = m1;
    shape.coefficients = coefficients;
    shape.permutation = permutation;
    return shape;
  }
};

/// Runs a prepared operation over its units, spread over the policy's
/// threads as the state's size allows.
void run_prepared(const math_core::PreparedOp& op, std::span<Complex64> data,
                  const ExecPolicy& policy);

}  // namespace velquin::engine
