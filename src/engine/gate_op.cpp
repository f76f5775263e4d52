#include "engine/gate_op.h"

#include "engine/ffi.h"
#include "engine/gate_kernels.h"

namespace velquin::engine {
namespace {

std::uint64_t selected(std::uint8_t selector, unsigned a, unsigned b) noexcept {
  return ((selector & kPairA) != 0 ? std::uint64_t{1} << a : 0) |
         ((selector & kPairB) != 0 ? std::uint64_t{1} << b : 0);
}

}  // namespace

void GateOp::run(std::span<math_core::Complex64> data, std::array<unsigned, 2> positions,
                 const ExecPolicy& policy) const {
  const auto [a, b] = positions;
  if (is_kernel(arithmetic_)) {
    ffi::apply_kernel(arithmetic_, data, a, b, policy);
    return;
  }
  const math_core::PairSpace space =
      arity_ == 1 ? math_core::PairSpace::single(data.size(), a)
                  : math_core::PairSpace::two(data.size(), a, b, selected(first_, a, b),
                                              selected(second_, a, b));
  run_pair_formula(data, arithmetic_, space, constants_, policy);
}

}  // namespace velquin::engine
