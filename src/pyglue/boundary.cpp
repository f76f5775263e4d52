#include "pyglue/boundary.h"

#include <cstdio>
#include <cstdlib>
#include <new>
#include <string>

#include "base/messages.h"
#include "base/result.h"

namespace velquin::pyglue {
namespace {

PyObject* panic_type = nullptr;  // created once, under the interpreter lock, never freed

void raise_panic(const char* where, const char* text) {
  if (text == nullptr || *text == '\0') text = messages::kPanicWithoutText;
  std::fprintf(stderr, messages::kPanicDiagnosticFormat, where, text);
  std::fflush(stderr);
  PyObject* type = panic_exception_type();
  if (type == nullptr) return;  // the type could not be made: that error is set instead
  PyErr_SetString(type, text);
}

}  // namespace

PyObject* panic_exception_type() {
  if (panic_type == nullptr) {
    panic_type = PyErr_NewExceptionWithDoc(messages::kPanicTypeName, messages::kPanicDoc,
                                           PyExc_BaseException, nullptr);
  }
  return panic_type;
}

void raise_error(const char* where, CallError error) {
  if (const Error* value = error.value(); value != nullptr) {
    if (value->kind == ErrorKind::kPanic) {
      raise_panic(where, value->message.c_str());
      return;
    }
    // The call's CallContext raises a handler's exception in its place.
    if (value->kind == ErrorKind::kInterrupted) {
      raise_panic(where, messages::kStoppedWithoutException);
      return;
    }
  }
  std::move(error).raise();
}

void raise_contained_failure(const char* where, std::exception_ptr failure) noexcept {
  try {
    try {
      std::rethrow_exception(failure);
    } catch (const std::bad_alloc&) {
      PyErr_NoMemory();
    } catch (const InternalFailure& internal) {
      raise_panic(where, internal.what());
    } catch (const std::exception& other) {
      raise_panic(where, other.what());
    } catch (...) {
      raise_panic(where, nullptr);
    }
  } catch (...) {
    std::fputs(messages::kUncaughtPanic, stderr);
    std::fflush(stderr);
    std::abort();
  }
}

}  // namespace velquin::pyglue
