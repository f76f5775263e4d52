// The Python class StateVecPy: a register (engine::Register) of n_qubits qubits.
#include "base/gate_table.h"
#include "base/member_text.h"
#include "base/messages.h"
#include "engine/register.h"
#include "lib/gate_methods.h"
#include "lib/members.h"
#include "lib/method_table.h"
#include "lib/numpy_array.h"
#include "lib/types.h"

namespace velquin::lib {
namespace {

using engine::ExecPolicy;
using engine::Register;
constexpr const MemberText& kClass = text::kRegisterClass;
constexpr int kFastCall = METH_FASTCALL | METH_KEYWORDS;

constexpr FunctionDescription kNewCall = describe_constructor(kClass);
constexpr FunctionDescription kNQubitsCall = describe(kClass.name, text::kNQubits);
constexpr FunctionDescription kAmplitudeCall = describe(kClass.name, text::kAmplitude);
constexpr FunctionDescription kAmplitudesCall = describe(kClass.name, text::kAmplitudes);
constexpr FunctionDescription kStatevectorCall = describe(kClass.name, text::kStatevector);
constexpr FunctionDescription kLengthCall = describe(kClass.name, text::kLength);
constexpr FunctionDescription kMeasureCountsCall = describe(kClass.name, text::kMeasureCounts);

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
    made->add(text::kAmplitude,
              as_cfunction(&fastcall_method<kAmplitudeCall, &Register::amplitude, Borrow::kShared>),
              kFastCall);
    made->add(text::kAmplitudes,
              as_cfunction(&noargs_method<kAmplitudesCall, &amplitudes, Borrow::kShared>),
              METH_NOARGS);
    made->add(text::kStatevector,
              as_cfunction(&noargs_method<kStatevectorCall, &amplitudes, Borrow::kShared>),
              METH_NOARGS);
    made->add(text::kLength,
              as_cfunction(&noargs_method<kLengthCall, &Register::length, Borrow::kShared>),
              METH_NOARGS);
    add_register_gates(*made, 0, kRecordedKindCount);
    made->add(
        text::kMeasureCounts,
        as_cfunction(
            &fastcall_method<kMeasureCountsCall, &Register::measure_counts, Borrow::kExclusive>),
        kFastCall);
    return made;
  }();
  return table.defs();
}

PyGetSetDef attributes[] = {
    {text::kNQubits.name.data(), &getter<kNQubitsCall, &Register::n_qubits>, nullptr,
     text::kNQubits.description.data(), nullptr},
    {nullptr, nullptr, nullptr, nullptr, nullptr},
};

const std::string& docstring() {
  static const std::string& doc = *new std::string(class_docstring(kClass));
  return doc;
}

PyObject* created = nullptr;  // once per process, never freed

}  // namespace

PyResult<PyObject*> state_vec_class() {
  if (created != nullptr) return created;
  static PyType_Slot slots[] = {
      {Py_tp_base, &PyBaseObject_Type},
      {Py_tp_new, reinterpret_cast<void*>(&constructor<kNewCall, &make_register>)},
      {Py_tp_dealloc, reinterpret_cast<void*>(&deallocate<Register>)},
      {Py_tp_doc, const_cast<char*>(docstring().c_str())},
      {Py_tp_methods, methods()},
      {Py_tp_getset, attributes},
      {0, nullptr},
  };
  static PyType_Spec layout = {text::kRegisterTypeName,
                               static_cast<int>(sizeof(Instance<Register>)), 0, Py_TPFLAGS_DEFAULT,
                               slots};
  return create_class_once(layout, created);
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
