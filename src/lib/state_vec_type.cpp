// The Python class StateVecPy: a register (engine::Register) of n_qubits qubits.
#include "base/gate_table.h"
#include "base/member_text.h"
#include "base/messages.h"
#include "engine/register.h"
#include "lib/gate_methods.h"
#include "lib/glue.h"
#include "lib/members.h"
#include "lib/method_table.h"
#include "lib/types.h"

namespace velquin::lib {
namespace {

using engine::ExecPolicy;
using engine::Register;
constexpr const MemberText& kClass = text::kRegisterClass;

Result<Register> make_register(std::uint64_t n_qubits, std::optional<std::uint64_t> seed,
                               const ExecPolicy& policy) {
  return Register::create(n_qubits, seed, policy.threads);
}

PyResult<PyRef> amplitudes(const Register& sv, const ExecPolicy& policy) {
  return copy_to_numpy(sv, policy.threads);
}

// Registration order and stored docstrings are part of the interface: the
// gates the math_core kernels run, the accessors, the other gates, measurement.
PyMethodDef* methods() {
  static MethodTable& table = *[] {
    auto* made = new MethodTable();  // kept by the class until the process ends
    add_register_gates(*made, kRecordedKindCount, kGateKindCount);
    add_fastcall<kClass, text::kAmplitude, &Register::amplitude, Borrow::kShared>(*made);
    add_noargs<kClass, text::kAmplitudes, &amplitudes, Borrow::kShared>(*made);
    add_noargs<kClass, text::kStatevector, &amplitudes, Borrow::kShared>(*made);
    add_noargs<kClass, text::kLength, &Register::length, Borrow::kShared>(*made);
    add_register_gates(*made, 0, kRecordedKindCount);
    add_fastcall<kClass, text::kMeasureCounts, &Register::measure_counts, Borrow::kExclusive>(
        *made);
    return made;
  }();
  return table.defs();
}

PyGetSetDef attributes[] = {
    {text::kNQubits.name.data(), &getter<kMethodCall<kClass, text::kNQubits>, &Register::n_qubits>,
     nullptr, text::kNQubits.description.data(), nullptr},
    {nullptr, nullptr, nullptr, nullptr, nullptr},
};

}  // namespace

PyResult<PyObject*> state_vec_class() {
  return class_once<kClass, Register, &make_register>(text::kRegisterTypeName, methods(),
                                                      attributes);
}

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
