#include "lib/gate_methods.h"

#include <array>
#include <cstdint>
#include <utility>

#include "base/gate_table.h"
#include "circuit/quantum_circuit.h"
#include "lib/members.h"

namespace velquin::lib {
namespace {

using circuit::QuantumCircuit;
using engine::ExecPolicy;
using engine::Register;
constexpr int kFastCall = METH_FASTCALL | METH_KEYWORDS;

template <GateKind K>
inline constexpr FunctionDescription kApplyCall = describe(text::kRegisterClass.name,
                                                           gate_info(K).text);
template <GateKind K>
inline constexpr FunctionDescription kRecordCall = describe(text::kCircuitClass.name,
                                                            gate_info(K).text);

// The operations behind the methods, one per shape; a signature gives the
// Python parameters their kinds (an index each, an angle for the rotations).
template <GateKind K>
Status apply_one(Register& sv, std::uint64_t q, const ExecPolicy& policy) {
  return sv.apply(Gate{K, q}, policy);
}
template <GateKind K>
Status apply_rotation(Register& sv, std::uint64_t q, double theta, const ExecPolicy& policy) {
  return sv.apply(Gate{K, q, 0, theta}, policy);
}
template <GateKind K>
Status apply_two(Register& sv, std::uint64_t a, std::uint64_t b, const ExecPolicy& policy) {
  return sv.apply(Gate{K, a, b}, policy);
}

// Recording stores the arguments unchanged and cannot fail.
template <GateKind K>
Status record_one(QuantumCircuit& qc, std::uint64_t q) {
  qc.append(Gate{K, q});
  return Status::Ok();
}
template <GateKind K>
Status record_rotation(QuantumCircuit& qc, std::uint64_t q, double theta) {
  qc.append(Gate{K, q, 0, theta});
  return Status::Ok();
}
template <GateKind K>
Status record_two(QuantumCircuit& qc, std::uint64_t a, std::uint64_t b) {
  qc.append(Gate{K, a, b});
  return Status::Ok();
}

// The method of gate K: `one`, `rotation` or `two`, by the gate's shape.
template <GateKind K, const FunctionDescription& kCall, auto kOne, auto kRotation, auto kTwo>
PyCFunction method_for() {
  constexpr GateShape kShape = gate_info(K).shape;
  if constexpr (kShape == GateShape::kQubit) {
    return as_cfunction(&fastcall_method<kCall, kOne, Borrow::kExclusive>);
  } else if constexpr (kShape == GateShape::kQubitAngle) {
    return as_cfunction(&fastcall_method<kCall, kRotation, Borrow::kExclusive>);
  } else {
    return as_cfunction(&fastcall_method<kCall, kTwo, Borrow::kExclusive>);
  }
}

template <std::size_t... I>
std::array<PyCFunction, sizeof...(I)> apply_methods(std::index_sequence<I...>) {
  return {method_for<GateKind(I), kApplyCall<GateKind(I)>, &apply_one<GateKind(I)>,
                     &apply_rotation<GateKind(I)>, &apply_two<GateKind(I)>>()...};
}

template <std::size_t... I>
std::array<PyCFunction, sizeof...(I)> record_methods(std::index_sequence<I...>) {
  return {method_for<GateKind(I), kRecordCall<GateKind(I)>, &record_one<GateKind(I)>,
                     &record_rotation<GateKind(I)>, &record_two<GateKind(I)>>()...};
}

}  // namespace

void add_register_gates(MethodTable& table, std::size_t first, std::size_t last) {
  static const auto functions = apply_methods(std::make_index_sequence<kGateKindCount>{});
  for (std::size_t i = first; i < last; ++i) table.add(kGates[i].text, functions[i], kFastCall);
}

void add_circuit_builders(MethodTable& table) {
  static const auto functions = record_methods(std::make_index_sequence<kRecordedKindCount>{});
  for (std::size_t i = 0; i < kRecordedKindCount; ++i) {
    table.add(kGates[i].text, functions[i], kFastCall, false);
  }
}

}  // namespace velquin::lib
