#include "lib/boundary.h"

#include <cstdio>
#include <cstdlib>
#include <new>
#include <string>

#include "engine/messages.h"
#include "engine/status.h"

namespace velquin::lib {
namespace {

constexpr const char* kPanicDoc =
    "\n"
    "The exception raised when velquin's native code, called from Python, fails.\n"
    "\n"
    "Like SystemExit, this exception is derived from BaseException so that\n"
    "it will typically propagate all the way through the stack and cause the\n"
    "Python interpreter to exit.\n";

PyObject* panic_type = nullptr;  // created once, under the interpreter lock, never freed

void raise_panic(const char* where, const char* text) {
  if (text == nullptr || *text == '\0') text = messages::kPanicWithoutText;
  std::fprintf(stderr, "velquin: internal failure in %s: %s\n", where, text);
  std::fflush(stderr);
  PyObject* type = panic_exception_type();
  if (type == nullptr) return;  // the type could not be made: that error is set instead
  PyErr_SetString(type, text);
}

}  // namespace

PyObject* panic_exception_type() {
  if (panic_type == nullptr) {
    panic_type = PyErr_NewExceptionWithDoc("pyo3_runtime.PanicException", kPanicDoc,
                                           PyExc_BaseException, nullptr);
  }
  return panic_type;
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
    std::fputs("uncaught panic at ffi boundary\n", stderr);
    std::fflush(stderr);
    std::abort();
  }
}

}  // namespace velquin::lib
