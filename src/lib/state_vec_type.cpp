// The Python class StateVecPy: a register (engine::Register) of n_qubits qubits.
#include <array>

#include "base/messages.h"

#include "engine/register.h"
#include "lib/members.h"
#include "lib/signal_check.h"
#include "lib/types.h"

namespace velquin::lib {
namespace {

using engine::Register;
constexpr int kFastCall = METH_FASTCALL | METH_KEYWORDS;
constexpr Borrow kShared = Borrow::kShared;
constexpr Borrow kExclusive = Borrow::kExclusive;

template <FixedString kName, auto kOp, Borrow kBorrow, FixedString... kParams>
constexpr PyCFunction method() {
  return as_cfunction(&fastcall_method<"StateVecPy", kName, kOp, kBorrow, kParams...>);
}

template <FixedString kName, auto kOp>
constexpr PyCFunction noargs() {
  return as_cfunction(&noargs_method<kName, kOp, kShared>);
}

std::span<const math_core::Complex64> amplitudes(const Register& sv) { return sv.amplitudes(); }

PyResult<engine::MeasurementCounts> measure_counts(Register& sv, std::uint64_t shots,
                                                   std::optional<std::uint64_t> seed) {
  SignalCheck signals;
  return signals.finish(sv.measure_counts(shots, seed, signals.check()));
}

// Registration order and stored docstrings (name, text signature, separator,
// description) are part of the interface.
PyMethodDef methods[] = {
    {"h_cpp", method<"h_cpp", &Register::h_cpp, kExclusive, "q">(), kFastCall,
     "h_cpp($self, q)\n--\n\nHadamard on qubit q (using C++ backend)."},
    {"x_cpp", method<"x_cpp", &Register::x_cpp, kExclusive, "q">(), kFastCall,
     "x_cpp($self, q)\n--\n\n"},
    {"cx_cpp", method<"cx_cpp", &Register::cx_cpp, kExclusive, "c", "t">(), kFastCall,
     "cx_cpp($self, c, t)\n--\n\n"},
    {"amplitude", method<"amplitude", &Register::amplitude, kShared, "i">(), kFastCall,
     "amplitude($self, i)\n--\n\nReturn amplitude of basis index `i` as (re, im)."},
    {"amplitudes", noargs<"amplitudes", &amplitudes>(), METH_NOARGS,
     "amplitudes($self)\n--\n\nReturn full state vector as a NumPy array of complex128."},
    {"statevector", noargs<"statevector", &amplitudes>(), METH_NOARGS,
     "statevector($self)\n--\n\nAlias for amplitudes(), matching earlier API."},
    {"length", noargs<"length", &Register::length>(), METH_NOARGS, "length($self)\n--\n\n"},
    {"x", method<"x", &Register::x, kExclusive, "q">(), kFastCall,
     "x($self, q)\n--\n\nPauli-X on qubit q."},
    {"y", method<"y", &Register::y, kExclusive, "q">(), kFastCall,
     "y($self, q)\n--\n\nPauli-Y on qubit q."},
    {"z", method<"z", &Register::z, kExclusive, "q">(), kFastCall,
     "z($self, q)\n--\n\nPauli-Z on qubit q."},
    {"h", method<"h", &Register::h, kExclusive, "q">(), kFastCall,
     "h($self, q)\n--\n\nHadamard on qubit q."},
    {"s", method<"s", &Register::s, kExclusive, "q">(), kFastCall,
     "s($self, q)\n--\n\nPhase S gate (diag(1, i)) on qubit q."},
    {"sdg", method<"sdg", &Register::sdg, kExclusive, "q">(), kFastCall,
     "sdg($self, q)\n--\n\nS-dagger (phase -\u03c0/2) on qubit q."},
    {"t", method<"t", &Register::t, kExclusive, "q">(), kFastCall,
     "t($self, q)\n--\n\nT gate (diag(1, e^{i\u03c0/4})) on qubit q."},
    {"tdg", method<"tdg", &Register::tdg, kExclusive, "q">(), kFastCall,
     "tdg($self, q)\n--\n\nT-dagger on qubit q."},
    {"sx", method<"sx", &Register::sx, kExclusive, "q">(), kFastCall,
     "sx($self, q)\n--\n\n\u221aX (SX) on qubit q. Matrix = (1/2)[[1+i, 1-i],[1-i,1+i]]."},
    {"rx", method<"rx", &Register::rx, kExclusive, "q", "theta">(), kFastCall,
     "rx($self, q, theta)\n--\n\nRX(\u03b8) on qubit q: exp(-i \u03b8 X / 2)."},
    {"ry", method<"ry", &Register::ry, kExclusive, "q", "theta">(), kFastCall,
     "ry($self, q, theta)\n--\n\nRY(\u03b8) on qubit q: exp(-i \u03b8 Y / 2)."},
    {"rz", method<"rz", &Register::rz, kExclusive, "q", "theta">(), kFastCall,
     "rz($self, q, theta)\n--\n\nRZ(\u03b8) on qubit q: diag(e^{-i\u03b8/2}, e^{+i\u03b8/2})."},
    {"cx", method<"cx", &Register::cx, kExclusive, "control", "target">(), kFastCall,
     "cx($self, control, target)\n--\n\nControlled-X on (control, target)."},
    {"swap", method<"swap", &Register::swap, kExclusive, "q1", "q2">(), kFastCall,
     "swap($self, q1, q2)\n--\n\nSWAP(q1, q2) exchanges the two qubits."},
    {"cy", method<"cy", &Register::cy, kExclusive, "control", "target">(), kFastCall,
     "cy($self, control, target)\n--\n\nControlled-Y on (control, target)."},
    {"cz", method<"cz", &Register::cz, kExclusive, "control", "target">(), kFastCall,
     "cz($self, control, target)\n--\n\nControlled-Z on (control, target)."},
    {"measure_counts",
     method<"measure_counts", &measure_counts, kExclusive, "shots", "seed">(),
     kFastCall,
     "measure_counts($self, shots, seed=None)\n--\n\nSample counts dict of bitstrings -> counts."},
    {nullptr, nullptr, 0, nullptr},
};

PyGetSetDef attributes[] = {
    {"n_qubits", &getter<"n_qubits", &Register::n_qubits>, nullptr, "", nullptr},
    {nullptr, nullptr, nullptr, nullptr, nullptr},
};

PyType_Slot slots[] = {
    {Py_tp_base, &PyBaseObject_Type},
    {Py_tp_new, reinterpret_cast<void*>(
                    &constructor<"StateVecPy", &Register::create, "n_qubits", "seed">)},
    {Py_tp_dealloc, reinterpret_cast<void*>(&deallocate<Register>)},
    {Py_tp_doc, const_cast<char*>("StateVecPy(n_qubits, seed=None)\n--\n\n")},
    {Py_tp_methods, methods},
    {Py_tp_getset, attributes},
    {0, nullptr},
};

PyType_Spec class_layout = {
    "builtins.StateVecPy",
    static_cast<int>(sizeof(Instance<Register>)),
    0,
    Py_TPFLAGS_DEFAULT,
    slots,
};

PyObject* created = nullptr;  // once per process, never freed

}  // namespace

PyResult<PyObject*> state_vec_class() { return create_class_once(class_layout, created); }

PyResult<HeldRegister> ArgumentKind<engine::Register&>::convert(PyObject* object,
                                                                   std::string_view name) {
  PyResult<PyObject*> cls = state_vec_class();
  if (!cls.ok()) return std::move(cls).error();
  auto* type = reinterpret_cast<PyTypeObject*>(cls.value());
  if (!PyObject_TypeCheck(object, type)) {
    PyRef qualname = PyRef::steal(PyType_GetQualName(Py_TYPE(object)));
    if (!qualname) {
      PyErr_Clear();
      qualname = PyRef::steal(PyUnicode_FromString(messages::kUnreadableTypeName));
      if (!qualname) return CallError::fetch();
    }
    PyRef message =
        PyRef::steal(PyUnicode_FromFormat(messages::kNotARegisterFormat, qualname.get()));
    if (!message) return CallError::fetch();
    return argument_extraction_error(name, CallError::make(PyExc_TypeError, message.get()));
  }
  auto* instance = Instance<Register>::from(object);
  PyResult<BorrowGuard> borrow = BorrowGuard::take(instance->borrow, Borrow::kExclusive);
  if (!borrow.ok()) return std::move(borrow).error();
  return HeldRegister{&instance->value, std::move(borrow).value()};
}

}  // namespace velquin::lib
