// A circuit: a declared qubit count and an append-only list of gate records.
// Recording checks nothing; every check happens when the circuit executes.
#pragma once

#include <cstdint>
#include <optional>
#include <vector>

#include "base/gate_table.h"
#include "engine/exec_policy.h"
#include "engine/interrupt.h"
#include "engine/register.h"

namespace velquin::circuit {

class QuantumCircuit {
 public:
  explicit QuantumCircuit(std::uint64_t n_qubits) noexcept : n_qubits_(n_qubits) {}

  std::uint64_t n_qubits() const noexcept { return n_qubits_; }
  const std::vector<Gate>& gates() const noexcept { return gates_; }

  /// Appends one record of a recorded kind; a record is stored exactly as given.
  void append(const Gate& gate) { gates_.push_back(gate); }

  /// Plays every record onto `sv` in order, each as the register gate its
  /// kind is played as (base/gate_table.h). The first failing record stops
  /// execution with its error; records before it stay applied. Stopped by
  /// `interrupt`, it fails with `interrupted()`, a whole prefix applied.
  Status apply_gates(engine::Register& sv, const engine::ExecPolicy& policy,
                     engine::InterruptCheck interrupt = engine::kNeverInterrupt) const;

  /// A fresh register (seeded with `seed`, or from the system) with every
  /// record applied.
  Result<engine::Register> execute_fresh(
      std::optional<std::uint64_t> seed, const engine::ExecPolicy& policy,
      engine::InterruptCheck interrupt = engine::kNeverInterrupt) const;

  /// Counts from a fresh register seeded with `seed`, measured with `seed`.
  Result<engine::MeasurementCounts> run(
      std::uint64_t shots, std::optional<std::uint64_t> seed, const engine::ExecPolicy& policy,
      engine::InterruptCheck interrupt = engine::kNeverInterrupt) const;

 private:
  std::uint64_t n_qubits_;
  std::vector<Gate> gates_;
};

}  // namespace velquin::circuit
