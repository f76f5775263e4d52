// The scalar walks of the general operations: the reference.
#include "math_core/op_scalar.h"
#include "math_core/op_variants.h"

namespace math_core {
namespace {

void prepare(PreparedOp& op) { op.walk = 0; }

void run(const PreparedOp& op, Complex64* data, std::uint64_t begin, std::uint64_t end) {
  run_scalar(op.shape, op.layout, data, begin, end);
}

}  // namespace

template <>
const OpVariant& op_variant<Isa::kScalar>() noexcept {
  static constexpr OpVariant kVariant{&prepare, &run};
  return kVariant;
}

}  // namespace math_core
