#include "lib/call_context.h"

namespace velquin::lib {

bool CallContext::operator()() {
  if (raised_) return true;
  if (PyErr_CheckSignals() == 0) return false;
  raised_ = CallError::fetch();
  return true;
}

}  // namespace velquin::lib
