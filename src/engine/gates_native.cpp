// h_cpp, x_cpp and cx_cpp: the register's checks, then the math_core kernel on
// the register's own storage (no copy crosses the boundary).
#include "engine/ffi.h"
#include "engine/state_vec_py.h"

namespace velquin::engine {

Status StateVecPy::h_cpp(std::uint64_t q) {
  if (Status checked = check_qubit(q); !checked) return checked;
  ffi::apply_h_cpp(mutable_amplitudes(), q);
  return Status::Ok();
}

Status StateVecPy::x_cpp(std::uint64_t q) {
  if (Status checked = check_qubit(q); !checked) return checked;
  ffi::apply_x_cpp(mutable_amplitudes(), q);
  return Status::Ok();
}

// Unlike cx, equal indices are allowed here and change nothing.
Status StateVecPy::cx_cpp(std::uint64_t c, std::uint64_t t) {
  if (Status checked = check_qubit(c); !checked) return checked;
  if (Status checked = check_qubit(t); !checked) return checked;
  ffi::apply_cx_cpp(mutable_amplitudes(), c, t);
  return Status::Ok();
}

}  // namespace velquin::engine
