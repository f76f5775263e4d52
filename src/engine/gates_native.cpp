// h_cpp, x_cpp and cx_cpp: the register's checks, then the math_core kernel on
// the register's own storage (no copy crosses into the library).
#include "engine/register.h"

namespace velquin::engine {

Result<GateOp> Register::prepare_h_cpp(std::uint64_t q) const {
  if (Status checked = check_qubit(q); !checked) return std::move(checked).error();
  return GateOp::kernel(GateOp::Path::kKernelH, q);
}

Result<GateOp> Register::prepare_x_cpp(std::uint64_t q) const {
  if (Status checked = check_qubit(q); !checked) return std::move(checked).error();
  return GateOp::kernel(GateOp::Path::kKernelX, q);
}

// Unlike cx, equal indices are allowed here and change nothing.
Result<GateOp> Register::prepare_cx_cpp(std::uint64_t c, std::uint64_t t) const {
  if (Status checked = check_qubit(c); !checked) return std::move(checked).error();
  if (Status checked = check_qubit(t); !checked) return std::move(checked).error();
  return GateOp::kernel(GateOp::Path::kKernelCX, c, t);
}

Status Register::h_cpp(std::uint64_t q) { return run_prepared(prepare_h_cpp(q)); }
Status Register::x_cpp(std::uint64_t q) { return run_prepared(prepare_x_cpp(q)); }
Status Register::cx_cpp(std::uint64_t c, std::uint64_t t) {
  return run_prepared(prepare_cx_cpp(c, t));
}

}  // namespace velquin::engine
