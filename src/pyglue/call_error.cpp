#include "pyglue/call_error.h"

#include "base/messages.h"

namespace velquin::pyglue {

PyObject* exception_type(ErrorKind kind) noexcept {
  // In ErrorKind's order. kInterrupted and kPanic have no type of their own:
  // the call raises a handler's exception or PanicException in their place.
  PyObject* const types[] = {PyExc_TypeError,     PyExc_ValueError,   PyExc_IndexError,
                             PyExc_OverflowError, PyExc_RuntimeError, PyExc_MemoryError,
                             PyExc_ImportError};
  const auto index = static_cast<std::size_t>(kind);
  return index < std::size(types) ? types[index] : PyExc_SystemError;
}

CallError CallError::fetch() {
  PyObject* exception = PyErr_GetRaisedException();
  if (exception == nullptr) throw InternalFailure(messages::kErrorWithoutException);
  return CallError(PyRef::steal(exception));
}

CallError CallError::make(PyObject* type, PyObject* message) {
  PyObject* exception = PyObject_CallOneArg(type, message);
  if (exception == nullptr) return fetch();
  return CallError(PyRef::steal(exception));
}

PyRef CallError::into_exception() && {
  if (auto* exception = std::get_if<PyRef>(&state_)) return std::move(*exception);
  const Error& error = std::get<Error>(state_);
  PyRef message = PyRef::steal(PyUnicode_FromStringAndSize(
      error.message.data(), static_cast<Py_ssize_t>(error.message.size())));
  PyObject* exception =
      message ? PyObject_CallOneArg(exception_type(error.kind), message.get()) : nullptr;
  // If the exception itself cannot be made, report why instead.
  if (exception == nullptr) exception = PyErr_GetRaisedException();
  return PyRef::steal(exception);
}

void CallError::raise() && {
  PyRef exception = std::move(*this).into_exception();
  PyErr_SetRaisedException(exception.release());
}

}  // namespace velquin::pyglue
