// The Python class QuantumCircuit: records gates, plays them onto registers.
#include "base/gate_table.h"
#include "base/member_text.h"
#include "circuit/quantum_circuit.h"
#include "lib/gate_methods.h"
#include "lib/glue.h"
#include "lib/members.h"
#include "lib/method_table.h"
#include "lib/types.h"

namespace velquin::lib {
namespace {

using circuit::QuantumCircuit;
using engine::ExecPolicy;
constexpr const MemberText& kClass = text::kCircuitClass;

QuantumCircuit make_circuit(std::uint64_t n_qubits) { return QuantumCircuit(n_qubits); }

// The fresh register is discarded right after, so its amplitudes become the
// array itself instead of being copied: half the memory and no copy pass.
PyResult<PyRef> statevector(const QuantumCircuit& qc, const ExecPolicy& policy,
                            engine::InterruptCheck interrupt) {
  Result<engine::Register> sv = qc.execute_fresh(std::nullopt, policy, interrupt);
  if (!sv.ok()) return std::move(sv).error();
  return adopt_into_numpy(std::move(sv.value()).take_amplitudes());
}

// The builder methods follow the recorded kinds' declared order; every stored
// docstring is the text signature and the separator only.
PyMethodDef* methods() {
  static MethodTable& table = *[] {
    auto* made = new MethodTable();  // kept by the class until the process ends
    add_circuit_builders(*made);
    add_fastcall<kClass, text::kRun, &QuantumCircuit::run, Borrow::kShared>(*made);
    add_noargs<kClass, text::kCircuitStatevector, &statevector, Borrow::kShared>(*made);
    add_fastcall<kClass, text::kApplyGates, &QuantumCircuit::apply_gates, Borrow::kShared>(*made);
    return made;
  }();
  return table.defs();
}

}  // namespace

PyResult<PyObject*> circuit_class() {
  return class_once<kClass, QuantumCircuit, &make_circuit>(text::kCircuitTypeName, methods());
}

}  // namespace velquin::lib
