// A gate whose arguments have passed its register's checks and whose constants
// are made: what remains is arithmetic. It runs on the whole register, or on
// any block of amplitudes that holds every pair it mixes, with its qubits
// renumbered to their bit positions inside that block. Either way each pair
// gets the same formula with the same operands, so the bits are the same.
#pragma once

#include <array>
#include <cstdint>
#include <span>

#include "base/gate_table.h"
#include "engine/exec_policy.h"
#include "math_core/math_core.h"
#include "math_core/pair_formulas.h"

namespace velquin::engine {

using math_core::FormulaConstants;

class GateOp {
 public:
  /// The arithmetic of `info` on the qubits of `gate` (already checked), with
  /// `constants`: a one-qubit formula on the pairs (i, i + 2^a), a two-qubit
  /// formula on the pair members info.first and info.second of each group of
  /// four, or a math_core kernel (for CX, `b` is the target and may equal `a`).
  static GateOp of(const GateInfo& info, const Gate& gate, FormulaConstants constants) noexcept {
    GateOp op;
    op.arithmetic_ = info.arithmetic;
    op.constants_ = constants;
    const bool two = info.shape == GateShape::kTwoQubits;
    op.arity_ = two ? 2 : 1;
    op.first_ = info.first;
    op.second_ = info.second;
    op.qubits_ = {static_cast<unsigned>(gate.a), static_cast<unsigned>(two ? gate.b : gate.a)};
    return op;
  }

  /// The qubits the gate names: one, or two (possibly equal for the CX kernel).
  unsigned arity() const noexcept { return arity_; }
  unsigned qubit(unsigned i) const noexcept { return qubits_[i]; }

  /// Runs on `data` in place, the gate's qubit i sitting at bit `positions[i]`
  /// of the index into `data`; `data` must hold 2^m amplitudes with every
  /// position below m.
  void run(std::span<math_core::Complex64> data, std::array<unsigned, 2> positions,
           const ExecPolicy& policy) const;

  /// Runs on a whole register.
  void run(std::span<math_core::Complex64> data, const ExecPolicy& policy) const {
    run(data, qubits_, policy);
  }

 private:
  Arithmetic arithmetic_ = Arithmetic::kExchange;
  std::uint8_t arity_ = 1;
  std::uint8_t first_ = kPairNone;
  std::uint8_t second_ = kPairNone;
  std::array<unsigned, 2> qubits_{};
  FormulaConstants constants_{};
};

}  // namespace velquin::engine
