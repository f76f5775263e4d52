#include "engine/gate_op.h"

#include "engine/ffi.h"
#include "engine/gate_kernels.h"

namespace velquin::engine {
namespace {

std::uint64_t selected(std::uint8_t selector, unsigned a, unsigned b) noexcept {
  return ((selector & 1U) != 0 ? std::uint64_t{1} << a : 0) |
         ((selector & 2U) != 0 ? std::uint64_t{1} << b : 0);
}

}  // namespace

GateOp GateOp::single(PairFormula formula, GateConstants constants, std::uint64_t q) noexcept {
  GateOp op;
  op.formula_ = formula;
  op.constants_ = constants;
  op.qubits_ = {static_cast<unsigned>(q), static_cast<unsigned>(q)};
  return op;
}

GateOp GateOp::pair(PairFormula formula, std::uint64_t a, std::uint64_t b,
                    std::uint8_t first_selector, std::uint8_t second_selector) noexcept {
  GateOp op;
  op.formula_ = formula;
  op.arity_ = 2;
  op.first_selector_ = first_selector;
  op.second_selector_ = second_selector;
  op.qubits_ = {static_cast<unsigned>(a), static_cast<unsigned>(b)};
  return op;
}

GateOp GateOp::kernel(Path path, std::uint64_t a, std::uint64_t b) noexcept {
  GateOp op;
  op.path_ = path;
  op.arity_ = path == Path::kKernelCX ? 2 : 1;
  op.qubits_ = {static_cast<unsigned>(a), static_cast<unsigned>(path == Path::kKernelCX ? b : a)};
  return op;
}

void GateOp::run(std::span<math_core::Complex64> data, std::array<unsigned, 2> positions,
                 const ExecPolicy& policy) const {
  const auto [a, b] = positions;
  switch (path_) {
    case Path::kKernelH:
      ffi::apply_h_cpp(data, a, policy);
      return;
    case Path::kKernelX:
      ffi::apply_x_cpp(data, a, policy);
      return;
    case Path::kKernelCX:
      ffi::apply_cx_cpp(data, a, b, policy);
      return;
    case Path::kFormula:
      break;
  }
  const math_core::PairSpace space =
      arity_ == 1 ? math_core::PairSpace::single(data.size(), a)
                  : math_core::PairSpace::two(data.size(), a, b, selected(first_selector_, a, b),
                                              selected(second_selector_, a, b));
  run_pair_formula(data, formula_, space, constants_, policy);
}

}  // namespace velquin::engine
