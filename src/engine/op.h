// One prepared operation of any kind, as the gate player runs them: a gate
// of the register (its own pair formula or a math_core kernel, GateOp) or a
// general operation (GeneralOp). Either names its qubits; placed on bit
// positions of a block (or of the whole register) it runs there.
#pragma once

#include <array>
#include <cstdint>
#include <span>
#include <variant>

#include "engine/exec_policy.h"
#include "engine/gate_op.h"
#include "engine/general_op.h"

namespace velquin::engine {

class Op {
 public:
  Op(GateOp gate) noexcept : op_(gate) {}           // NOLINT(google-explicit-constructor)
  Op(GeneralOp general) noexcept : op_(general) {}  // NOLINT(google-explicit-constructor)

  /// The qubits it names (a gate's one or two; a general operation's
  /// targets, then controls).
  unsigned qubit_count() const noexcept {
    if (const GateOp* gate = std::get_if<GateOp>(&op_)) return gate->arity();
    return std::get<GeneralOp>(op_).qubit_count();
  }
  unsigned qubit(unsigned i) const noexcept {
    if (const GateOp* gate = std::get_if<GateOp>(&op_)) return gate->qubit(i);
    return std::get<GeneralOp>(op_).qubits[i];
  }

  const GateOp* gate() const noexcept { return std::get_if<GateOp>(&op_); }
  const GeneralOp* general() const noexcept { return std::get_if<GeneralOp>(&op_); }

  /// Runs on the whole register, on the policy's threads.
  void run(std::span<Complex64> data, const ExecPolicy& policy) const;

 private:
  std::variant<GateOp, GeneralOp> op_;
};

/// An operation placed on the bit positions of the blocks it will run on
/// (qubit i at positions[i]), with whatever its walk works out once per
/// placement; then run on any block of that size.
class PlacedOp {
 public:
  PlacedOp(const Op& op, std::span<const unsigned> positions, std::uint64_t block_size,
           const ExecPolicy& policy);

  /// Runs on `block` (the size it was placed for), on the policy's threads.
  void run(std::span<Complex64> block, const ExecPolicy& policy) const;

 private:
  const GateOp* gate_ = nullptr;
  std::array<unsigned, 2> gate_positions_{};
  math_core::PreparedOp prepared_;
};

}  // namespace velquin::engine
