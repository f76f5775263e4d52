#include "base/messages.h"
#include "circuit/blocked_runner.h"
#include "circuit/quantum_circuit.h"

namespace velquin::circuit {
namespace {

// The record's register operation, up to its arithmetic: its checks and its
// constants, against `sv`.
Result<engine::GateOp> prepare(const engine::Register& sv, const Gate& gate) {
  const GateKindInfo& row = info(gate.kind);
  switch (row.shape) {
    case Shape::kSingle:
      return (sv.*row.single)(gate.a);
    case Shape::kRotation:
      return (sv.*row.rotation)(gate.a, gate.theta);
    case Shape::kPair:
      return (sv.*row.pair)(gate.a, gate.b);
  }
  throw InternalFailure(messages::kUnknownGateRecord);
}

}  // namespace

Status QuantumCircuit::apply_gates(engine::Register& sv, engine::InterruptCheck interrupt) const {
  // Every record is checked first; the first failing one ends the list, and
  // the records before it are applied before its error is returned.
  std::vector<engine::GateOp> ops;
  ops.reserve(gates_.size());
  Status failure;
  for (const Gate& gate : gates_) {
    Result<engine::GateOp> op = prepare(sv, gate);
    if (!op) {
      failure = std::move(op).error();
      break;
    }
    ops.push_back(op.value());
  }
  if (!run_blocked(sv.mutable_amplitudes(), static_cast<unsigned>(sv.n_qubits()), ops,
                   engine::current_exec_policy(), {}, interrupt)) {
    return engine::interrupted();
  }
  return failure;
}

Result<engine::Register> QuantumCircuit::execute_fresh(std::optional<std::uint64_t> seed,
                                                         engine::InterruptCheck interrupt) const {
  Result<engine::Register> sv = engine::Register::create(n_qubits_, seed);
  if (!sv) return sv;
  if (Status status = apply_gates(sv.value(), interrupt); !status) return std::move(status).error();
  return sv;
}

Result<engine::MeasurementCounts> QuantumCircuit::run(std::uint64_t shots,
                                                      std::optional<std::uint64_t> seed,
                                                      engine::InterruptCheck interrupt) const {
  Result<engine::Register> sv = execute_fresh(seed, interrupt);
  if (!sv) return std::move(sv).error();
  return sv.value().measure_counts(shots, seed, interrupt);
}

}  // namespace velquin::circuit
