// The Python class QuantumCircuit: records gates, plays them onto registers.
#include "circuit/quantum_circuit.h"
#include "lib/members.h"
#include "lib/signal_check.h"
#include "lib/types.h"

namespace velquin::lib {
namespace {

using circuit::Gate;
using circuit::GateKind;
using circuit::QuantumCircuit;
using engine::Register;
constexpr int kFastCall = METH_FASTCALL | METH_KEYWORDS;

// Recording stores the arguments unchanged and cannot fail.
template <GateKind kKind>
Status record_single(QuantumCircuit& qc, std::uint64_t q) {
  qc.append(Gate{kKind, q});
  return Status::Ok();
}
template <GateKind kKind>
Status record_rotation(QuantumCircuit& qc, std::uint64_t q, double theta) {
  qc.append(Gate{kKind, q, 0, theta});
  return Status::Ok();
}
template <GateKind kKind>
Status record_pair(QuantumCircuit& qc, std::uint64_t a, std::uint64_t b) {
  qc.append(Gate{kKind, a, b});
  return Status::Ok();
}

// The fresh register is discarded right after, so its amplitudes become the
// array itself instead of being copied: half the memory and no copy pass.
PyResult<PyRef> statevector(const QuantumCircuit& qc) {
  SignalCheck signals;
  PyResult<Register> sv = signals.finish(qc.execute_fresh(std::nullopt, signals.check()));
  if (!sv.ok()) return std::move(sv).error();
  return adopt_into_numpy(std::move(sv.value()).take_amplitudes());
}

PyResult<engine::MeasurementCounts> run(const QuantumCircuit& qc, std::uint64_t shots,
                                        std::optional<std::uint64_t> seed) {
  SignalCheck signals;
  return signals.finish(qc.run(shots, seed, signals.check()));
}

PyResult<PyRef> apply_gates(const QuantumCircuit& qc, Register& sv) {
  SignalCheck signals;
  return signals.finish(qc.apply_gates(sv, signals.check()));
}

QuantumCircuit make_circuit(std::uint64_t n_qubits) { return QuantumCircuit(n_qubits); }

template <FixedString kName, auto kOp, Borrow kBorrow, FixedString... kParams>
constexpr PyCFunction method() {
  return as_cfunction(&fastcall_method<"QuantumCircuit", kName, kOp, kBorrow, kParams...>);
}
template <FixedString kName, GateKind kKind>
constexpr PyCFunction single() {
  return method<kName, &record_single<kKind>, Borrow::kExclusive, "q">();
}
template <FixedString kName, GateKind kKind>
constexpr PyCFunction rotation() {
  return method<kName, &record_rotation<kKind>, Borrow::kExclusive, "q", "theta">();
}
template <FixedString kName, GateKind kKind, FixedString kFirst, FixedString kSecond>
constexpr PyCFunction pair() {
  return method<kName, &record_pair<kKind>, Borrow::kExclusive, kFirst, kSecond>();
}

// Builder methods follow the gate kinds' declared order; every stored
// docstring is the text signature and the separator only.
PyMethodDef methods[] = {
    {"x", single<"x", GateKind::X>(), kFastCall, "x($self, q)\n--\n\n"},
    {"y", single<"y", GateKind::Y>(), kFastCall, "y($self, q)\n--\n\n"},
    {"z", single<"z", GateKind::Z>(), kFastCall, "z($self, q)\n--\n\n"},
    {"h", single<"h", GateKind::H>(), kFastCall, "h($self, q)\n--\n\n"},
    {"s", single<"s", GateKind::S>(), kFastCall, "s($self, q)\n--\n\n"},
    {"sdg", single<"sdg", GateKind::Sdg>(), kFastCall, "sdg($self, q)\n--\n\n"},
    {"t", single<"t", GateKind::T>(), kFastCall, "t($self, q)\n--\n\n"},
    {"tdg", single<"tdg", GateKind::Tdg>(), kFastCall, "tdg($self, q)\n--\n\n"},
    {"sx", single<"sx", GateKind::SX>(), kFastCall, "sx($self, q)\n--\n\n"},
    {"rx", rotation<"rx", GateKind::RX>(), kFastCall, "rx($self, q, theta)\n--\n\n"},
    {"ry", rotation<"ry", GateKind::RY>(), kFastCall, "ry($self, q, theta)\n--\n\n"},
    {"rz", rotation<"rz", GateKind::RZ>(), kFastCall, "rz($self, q, theta)\n--\n\n"},
    {"cx", pair<"cx", GateKind::CX, "control", "target">(), kFastCall,
     "cx($self, control, target)\n--\n\n"},
    {"swap", pair<"swap", GateKind::SWAP, "q1", "q2">(), kFastCall, "swap($self, q1, q2)\n--\n\n"},
    {"cy", pair<"cy", GateKind::CY, "control", "target">(), kFastCall,
     "cy($self, control, target)\n--\n\n"},
    {"cz", pair<"cz", GateKind::CZ, "control", "target">(), kFastCall,
     "cz($self, control, target)\n--\n\n"},
    {"run", method<"run", &run, Borrow::kShared, "shots", "seed">(), kFastCall,
     "run($self, shots, seed=None)\n--\n\n"},
    {"statevector", as_cfunction(&noargs_method<"statevector", &statevector, Borrow::kShared>),
     METH_NOARGS, "statevector($self)\n--\n\n"},
    {"apply_gates", method<"apply_gates", &apply_gates, Borrow::kShared, "sv">(),
     kFastCall, "apply_gates($self, sv)\n--\n\n"},
    {nullptr, nullptr, 0, nullptr},
};

PyType_Slot slots[] = {
    {Py_tp_base, &PyBaseObject_Type},
    {Py_tp_new, reinterpret_cast<void*>(&constructor<"QuantumCircuit", &make_circuit, "n_qubits">)},
    {Py_tp_dealloc, reinterpret_cast<void*>(&deallocate<QuantumCircuit>)},
    {Py_tp_doc, const_cast<char*>("QuantumCircuit(n_qubits)\n--\n\n")},
    {Py_tp_methods, methods},
    {0, nullptr},
};

PyType_Spec class_layout = {
    "builtins.QuantumCircuit",
    static_cast<int>(sizeof(Instance<QuantumCircuit>)),
    0,
    Py_TPFLAGS_DEFAULT,
    slots,
};

PyObject* created = nullptr;  // once per process, never freed

}  // namespace

PyResult<PyObject*> circuit_class() { return create_class_once(class_layout, created); }

}  // namespace velquin::lib
