// The Python class QuantumCircuit: records gates, plays them onto registers.
#include "base/gate_table.h"
#include "base/member_text.h"
#include "circuit/quantum_circuit.h"
#include "lib/gate_methods.h"
#include "lib/members.h"
#include "lib/method_table.h"
#include "lib/numpy_array.h"
#include "lib/types.h"

namespace velquin::lib {
namespace {

using circuit::QuantumCircuit;
using engine::ExecPolicy;
constexpr const MemberText& kClass = text::kCircuitClass;
constexpr int kFastCall = METH_FASTCALL | METH_KEYWORDS;

constexpr FunctionDescription kNewCall = describe_constructor(kClass);
constexpr FunctionDescription kRunCall = describe(kClass.name, text::kRun);
constexpr FunctionDescription kStatevectorCall = describe(kClass.name, text::kCircuitStatevector);
constexpr FunctionDescription kApplyGatesCall = describe(kClass.name, text::kApplyGates);

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
    made->add(text::kRun,
              as_cfunction(&fastcall_method<kRunCall, &QuantumCircuit::run, Borrow::kShared>),
              kFastCall);
    made->add(text::kCircuitStatevector,
              as_cfunction(&noargs_method<kStatevectorCall, &statevector, Borrow::kShared>),
              METH_NOARGS);
    made->add(text::kApplyGates,
              as_cfunction(
                  &fastcall_method<kApplyGatesCall, &QuantumCircuit::apply_gates, Borrow::kShared>),
              kFastCall);
    return made;
  }();
  return table.defs();
}

const std::string& docstring() {
  static const std::string& doc = *new std::string(class_docstring(kClass));
  return doc;
}

PyObject* created = nullptr;  // once per process, never freed

}  // namespace

PyResult<PyObject*> circuit_class() {
  if (created != nullptr) return created;
  static PyType_Slot slots[] = {
      {Py_tp_base, &PyBaseObject_Type},
      {Py_tp_new, reinterpret_cast<void*>(&constructor<kNewCall, &make_circuit>)},
      {Py_tp_dealloc, reinterpret_cast<void*>(&deallocate<QuantumCircuit>)},
      {Py_tp_doc, const_cast<char*>(docstring().c_str())},
      {Py_tp_methods, methods()},
      {0, nullptr},
  };
  static PyType_Spec layout = {text::kCircuitTypeName,
                               static_cast<int>(sizeof(Instance<QuantumCircuit>)), 0,
                               Py_TPFLAGS_DEFAULT, slots};
  return create_class_once(layout, created);
}

}  // namespace velquin::lib
