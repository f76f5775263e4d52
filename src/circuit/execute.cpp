#include "circuit/quantum_circuit.h"
#include "engine/blocked_runner.h"

namespace velquin::circuit {

Status QuantumCircuit::apply_gates(engine::Register& sv, const engine::ExecPolicy& policy,
                                   engine::InterruptCheck interrupt) const {
  // Every record is checked first; the first failing one ends the list, and
  // the records before it are applied before its error is returned.
  std::vector<engine::Op> ops;
  ops.reserve(gates_.size());
  Status failure;
  for (const Gate& gate : gates_) {
    Result<engine::GateOp> op =
        sv.prepare(Gate{gate_info(gate.kind).played_as, gate.a, gate.b, gate.theta});
    if (!op) {
      failure = std::move(op).error();
      break;
    }
    ops.push_back(op.value());
  }
  if (!engine::run_blocked(sv.mutable_amplitudes(), static_cast<unsigned>(sv.n_qubits()), ops,
                           policy, engine::BlockShape::for_cache(policy.cache_amplitudes),
                           interrupt)) {
    return engine::interrupted();
  }
  return failure;
}

Result<engine::Register> QuantumCircuit::execute_fresh(std::optional<std::uint64_t> seed,
                                                       const engine::ExecPolicy& policy,
                                                       engine::InterruptCheck interrupt) const {
  Result<engine::Register> sv = engine::Register::create(n_qubits_, seed, policy.threads);
  if (!sv) return sv;
  if (Status status = apply_gates(sv.value(), policy, interrupt); !status) {
    return std::move(status).error();
  }
  return sv;
}

Result<engine::MeasurementCounts> QuantumCircuit::run(std::uint64_t shots,
                                                      std::optional<std::uint64_t> seed,
                                                      const engine::ExecPolicy& policy,
                                                      engine::InterruptCheck interrupt) const {
  Result<engine::Register> sv = execute_fresh(seed, policy, interrupt);
  if (!sv) return std::move(sv).error();
  return sv.value().measure_counts(shots, seed, interrupt);
}

}  // namespace velquin::circuit
