// A circuit: a declared qubit count and an append-only list of gate records.
// Recording checks nothing; every check happens when the circuit executes.
#pragma once

#include <cstdint>
#include <optional>
#include <vector>

#include "circuit/gate.h"
#include "engine/register.h"

namespace velquin::circuit {

class QuantumCircuit {
 public:
  explicit QuantumCircuit(std::uint64_t n_qubits) noexcept : n_qubits_(n_qubits) {}

  std::uint64_t n_qubits() const noexcept { return n_qubits_; }
  const std::vector<Gate>& gates() const noexcept { return gates_; }

  /// Appends one record; a record is stored exactly as given.
  void append(const Gate& gate) { gates_.push_back(gate); }

  /// Plays every record onto `sv` in order. The first failing record stops
  /// execution with its error; records before it stay applied. Stopped by
  /// `interrupt`, it fails with `interrupted()`, a whole prefix applied.
  Status apply_gates(engine::Register& sv,
                     engine::InterruptCheck interrupt = engine::kNeverInterrupt) const;

  /// A fresh register (no seed) with every record applied.
  Result<engine::Register> execute_fresh(
      std::optional<std::uint64_t> seed,
      engine::InterruptCheck interrupt = engine::kNeverInterrupt) const;

  /// Counts from a fresh register seeded with `seed`, measured with `seed`.
  Result<engine::MeasurementCounts> run(
      std::uint64_t shots, std::optional<std::uint64_t> seed,
      engine::InterruptCheck interrupt = engine::kNeverInterrupt) const;

 private:
  std::uint64_t n_qubits_;
  std::vector<Gate> gates_;
};

}  // namespace velquin::circuit
