#include "lib/signal_check.h"

#include "base/messages.h"

namespace velquin::lib {

bool SignalCheck::operator()() {
  if (raised_) return true;
  if (PyErr_CheckSignals() == 0) return false;
  raised_ = CallError::fetch();
  return true;
}

PyResult<PyRef> SignalCheck::finish(Status status) {
  if (raised_) return std::move(*raised_);
  if (status.ok()) return PyRef::borrow(Py_None);
  return unexpected_or(std::move(status).error());
}

CallError SignalCheck::unexpected_or(Error error) {
  if (error.kind == ErrorKind::kInterrupted) {
    throw InternalFailure(messages::kStoppedWithoutException);
  }
  return CallError(std::move(error));
}

}  // namespace velquin::lib
