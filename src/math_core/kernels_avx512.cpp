// The Avx512 variant of the kernels' loops; built with its own instruction-set flags.
#include "math_core/kernel_variants.h"
#include "math_core/lanes_avx512.h"
#include "math_core/vector_traversal.h"

namespace math_core {
namespace {

template <template <class> class Formula>
void run(Complex64* data, const PairSpace& space, const FormulaConstants& constants,
         std::uint64_t begin, std::uint64_t end, bool prefetch) noexcept {
  traverse_pairs_vector<Avx512>(data, space, Formula<Avx512::V>(constants), begin, end, prefetch);
}

}  // namespace

template <>
const KernelSet& kernels_for<Isa::kAvx512>() noexcept {
  static constexpr KernelSet kSet{&run<HadamardFormula>, &run<ExchangeFormula>};
  return kSet;
}

}  // namespace math_core
