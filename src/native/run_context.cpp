#include "native/run_context.h"

#include <pythread.h>

#include "base/program_messages.h"
#include "pyglue/py_ref.h"

namespace velquin::native {
namespace {

unsigned long main_thread = 0;  // set once, under the interpreter lock

}  // namespace

void remember_main_thread() {
  PyObject* threading = PyImport_ImportModule("threading");
  PyObject* thread = threading ? PyObject_CallMethod(threading, "main_thread", nullptr) : nullptr;
  PyObject* ident = thread ? PyObject_GetAttrString(thread, "ident") : nullptr;
  main_thread = ident ? PyLong_AsUnsignedLong(ident) : PyThread_get_thread_ident();
  Py_XDECREF(ident);
  Py_XDECREF(thread);
  Py_XDECREF(threading);
  PyErr_Clear();
}

Released::Released(const RunOptions& options)
    : cancel_(options.cancel),
      main_thread_(PyThread_get_thread_ident() == main_thread),
      saved_(PyEval_SaveThread()) {}

Released::~Released() {
  if (saved_ != nullptr) PyEval_RestoreThread(saved_);
}

bool Released::operator()() {
  if (cancelled_ || raised_) return true;
  if (cancel_ && cancel_->load(std::memory_order_relaxed)) {
    cancelled_ = true;
    return true;
  }
  if (!main_thread_) return false;
  PyEval_RestoreThread(saved_);
  saved_ = nullptr;
  if (PyErr_CheckSignals() != 0) raised_ = CallError::fetch();
  saved_ = PyEval_SaveThread();
  return raised_.has_value();
}

std::optional<CallError> Released::finish() {
  if (saved_ != nullptr) {
    PyEval_RestoreThread(saved_);
    saved_ = nullptr;
  }
  if (raised_) return std::move(raised_);
  if (cancelled_) {
    pyglue::PyRef text = pyglue::PyRef::steal(PyUnicode_FromString(messages::program::kCancelled));
    if (!text) return CallError::fetch();
    return CallError::make(PyExc_KeyboardInterrupt, text.get());
  }
  return std::nullopt;
}

}  // namespace velquin::native
