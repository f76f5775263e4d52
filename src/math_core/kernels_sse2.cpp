// The Sse2 variant of the kernels' loops; built with its own instruction-set flags.
#include "math_core/kernel_variants.h"
#include "math_core/lanes_sse2.h"
#include "math_core/vector_traversal.h"

namespace math_core {
namespace {

template <template <class> class Formula>
void run(Complex64* data, const PairSpace& space, const FormulaConstants& constants,
         std::uint64_t begin, std::uint64_t end, bool prefetch) noexcept {
  traverse_pairs_vector<Sse2>(data, space, Formula<Sse2::V>(constants), begin, end, prefetch);
}

}  // namespace

template <>
const KernelSet& kernels_for<Isa::kSse2>() noexcept {
  static constexpr KernelSet kSet{&run<HadamardFormula>, &run<ExchangeFormula>};
  return kSet;
}

}  // namespace math_core
