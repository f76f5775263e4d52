// A gate whose arguments have passed its register's checks and whose constants
// are made: what remains is arithmetic. It runs on the whole register, or on
// any block of amplitudes that holds every pair it mixes, with its qubits
// renumbered to their bit positions inside that block. Either way each pair
// gets the same formula with the same operands, so the bits are the same.
#pragma once

#include <array>
#include <cstdint>
#include <span>

#include "engine/exec_policy.h"
#include "engine/gate_formulas.h"
#include "math_core/math_core.h"

namespace velquin::engine {

class GateOp {
 public:
  /// Which code does the arithmetic: one of the engine's pair formulas, or a
  /// math_core kernel (h_cpp, x_cpp, cx_cpp).
  enum class Path : std::uint8_t { kFormula, kKernelH, kKernelX, kKernelCX };

  /// A one-qubit formula on the pairs (i, i + 2^q).
  static GateOp single(PairFormula formula, GateConstants constants, std::uint64_t q) noexcept;
  /// A two-qubit formula on qubits a != b. Within each group of four, the pair
  /// members are base + first and base + second, where bit 0 of a selector
  /// adds 2^a and bit 1 adds 2^b.
  static GateOp pair(PairFormula formula, std::uint64_t a, std::uint64_t b,
                     std::uint8_t first_selector, std::uint8_t second_selector) noexcept;
  /// A math_core kernel; `b` is the target of kKernelCX (it may equal `a`).
  static GateOp kernel(Path path, std::uint64_t a, std::uint64_t b = 0) noexcept;

  /// The qubits the gate names: one, or two (possibly equal for kKernelCX).
  unsigned arity() const noexcept { return arity_; }
  unsigned qubit(unsigned i) const noexcept { return qubits_[i]; }

  /// Runs on `data` in place, the gate's qubit i sitting at bit `positions[i]`
  /// of the index into `data`; `data` must hold 2^m amplitudes with every
  /// position below m.
  void run(std::span<math_core::Complex64> data, std::array<unsigned, 2> positions,
           const ExecPolicy& policy) const;

  /// Runs on a whole register with the policy in force.
  void run(std::span<math_core::Complex64> data) const {
    run(data, qubits_, current_exec_policy());
  }

 private:
  Path path_ = Path::kFormula;
  PairFormula formula_ = PairFormula::kExchange;
  std::uint8_t arity_ = 1;
  std::uint8_t first_selector_ = 0;
  std::uint8_t second_selector_ = 0;
  std::array<unsigned, 2> qubits_{};
  GateConstants constants_{};
};

}  // namespace velquin::engine
