// Every gate of the register, read off its row of the gate table: its checks
// (in the gate's order, with its texts), then its constants, then its
// arithmetic. The differences between the checks are deliberate and visible.
// Inline, so that a caller that knows the gate at compile time (each of the
// module's gate methods) gets its row folded into straight-line code.
#pragma once

#include <cstdint>

#include "base/gate_table.h"
#include "base/messages.h"
#include "base/result.h"
#include "engine/gate_constants.h"
#include "engine/gate_op.h"

namespace velquin::engine {

/// The register's shared index check: IndexError "qubit index out of range"
/// unless q < n_qubits.
inline Status check_qubit(std::uint64_t q, std::uint64_t n_qubits) {
  if (q < n_qubits) return Status::Ok();
  return Error{ErrorKind::kIndexError, messages::kQubitIndexRange};
}

/// cx and swap: one range test with the gate's own text, then equal indices.
inline Status check_distinct_in_range(const Gate& gate, std::uint64_t n_qubits, const char* range,
                                      const char* same) {
  if (gate.a >= n_qubits || gate.b >= n_qubits) return Error{ErrorKind::kIndexError, range};
  if (gate.a == gate.b) return Error{ErrorKind::kIndexError, same};
  return Status::Ok();
}

/// The checks of `info` on `gate` against a register of `n_qubits`.
[[gnu::always_inline]] inline Status check_gate(const GateInfo& info, const Gate& gate,
                                                std::uint64_t n_qubits) {
  switch (info.checks) {
    case GateChecks::kCx:
      return check_distinct_in_range(gate, n_qubits, messages::kControlTargetRange,
                                     messages::kControlTargetSame);
    case GateChecks::kSwap:
      return check_distinct_in_range(gate, n_qubits, messages::kSwapIndexRange,
                                     messages::kSwapIndicesSame);
    case GateChecks::kEachQubit:
    case GateChecks::kControlled:
      break;
  }
  if (Status checked = check_qubit(gate.a, n_qubits); !checked) return checked;
  if (info.shape != GateShape::kTwoQubits) return Status::Ok();
  if (Status checked = check_qubit(gate.b, n_qubits); !checked) return checked;
  if (info.checks == GateChecks::kControlled && gate.a == gate.b) {
    return Error{ErrorKind::kValueError, messages::kControlTargetDiffer};
  }
  return Status::Ok();
}

/// `gate` checked against a register of `n_qubits` and made ready to run.
/// Constants only once the indices passed: rotations and t, tdg call the math
/// library there.
[[gnu::always_inline]] inline Result<GateOp> prepare_gate(const GateInfo& info, const Gate& gate,
                                                          std::uint64_t n_qubits) {
  if (Status checked = check_gate(info, gate, n_qubits); !checked) {
    return std::move(checked).error();
  }
  const FormulaConstants constants = info.constants == GateConstants::kNone
                                         ? FormulaConstants{}
                                         : make_constants(info.constants, gate.theta);
  return GateOp::of(info, gate, constants);
}

}  // namespace velquin::engine
