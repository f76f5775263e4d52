// The scalar variant: the reference walk, one pair at a time.
#include "math_core/kernel_variants.h"

namespace math_core {
namespace {

template <template <class> class Formula>
void run(Complex64* data, const PairSpace& space, const FormulaConstants& constants,
         std::uint64_t begin, std::uint64_t end, bool) noexcept {
  traverse_pairs_scalar(data, space, Formula<Scalar::V>(constants), begin, end);
}

}  // namespace

template <>
const KernelSet& kernels_for<Isa::kScalar>() noexcept {
  static constexpr KernelSet kSet{&run<HadamardFormula>, &run<ExchangeFormula>};
  return kSet;
}

}  // namespace math_core
