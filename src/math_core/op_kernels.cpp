#include "math_core/op_kernels.h"

#include "math_core/op_variants.h"

namespace math_core {
namespace {

// The variant whose walks run on `isa`: SSE2 has no walk of its own (one
// amplitude per register gains nothing over the scalar walk), and AVX-512
// runs the AVX2 walks.
Isa walk_isa(Isa isa) noexcept {
  return isa == Isa::kAvx2 || isa == Isa::kAvx512 ? Isa::kAvx2 : Isa::kScalar;
}

const OpVariant& variant_of(Isa isa) noexcept {
  return isa == Isa::kAvx2 ? op_variant<Isa::kAvx2>() : op_variant<Isa::kScalar>();
}

}  // namespace

PreparedOp prepare_op(const OpShape& shape, std::uint64_t size, Isa isa) {
  PreparedOp op;
  op.shape = shape;
  op.layout = TileLayout::of(shape, size);
  op.isa = walk_isa(isa);
  variant_of(op.isa).prepare(op);
  return op;
}

void run_op_range(const PreparedOp& op, Complex64* data, std::uint64_t begin,
                  std::uint64_t end) noexcept {
  if (begin >= end) return;
  // Walk 0 is the scalar walk on every variant, built for the baseline.
  variant_of(op.walk == 0 ? Isa::kScalar : op.isa).run(op, data, begin, end);
}

}  // namespace math_core
