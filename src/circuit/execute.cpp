#include "circuit/quantum_circuit.h"

namespace velquin::circuit {
namespace {

Status apply_one(engine::StateVecPy& sv, const Gate& gate) {
  const GateKindInfo& row = info(gate.kind);
  switch (row.shape) {
    case Shape::kSingle:
      return (sv.*row.single)(gate.a);
    case Shape::kRotation:
      return (sv.*row.rotation)(gate.a, gate.theta);
    case Shape::kPair:
      return (sv.*row.pair)(gate.a, gate.b);
  }
  throw InternalFailure("gate record of unknown shape");
}

}  // namespace

Status QuantumCircuit::apply_gates(engine::StateVecPy& sv) const {
  for (const Gate& gate : gates_) {
    if (Status status = apply_one(sv, gate); !status) return status;
  }
  return Status::Ok();
}

Result<engine::StateVecPy> QuantumCircuit::execute_fresh(std::optional<std::uint64_t> seed) const {
  Result<engine::StateVecPy> sv = engine::StateVecPy::create(n_qubits_, seed);
  if (!sv) return sv;
  if (Status status = apply_gates(sv.value()); !status) return std::move(status).error();
  return sv;
}

Result<engine::MeasurementCounts> QuantumCircuit::run(std::uint64_t shots,
                                                      std::optional<std::uint64_t> seed) const {
  Result<engine::StateVecPy> sv = execute_fresh(seed);
  if (!sv) return std::move(sv).error();
  return sv.value().measure_counts(shots, seed);
}

}  // namespace velquin::circuit
