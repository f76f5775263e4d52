// The scalar variant: the reference walk, one pair at a time.
#include "math_core/kernel_variants.h"

namespace math_core {
namespace {

template <template <class> class Kernel>
void run(Complex64* data, const PairSpace& space, double s, std::uint64_t begin,
         std::uint64_t end) noexcept {
  traverse_pairs_scalar(data, space, Kernel<double>(s), begin, end);
}

}  // namespace

template <>
const KernelSet& kernels_for<Isa::kScalar>() noexcept {
  static constexpr KernelSet kSet{&run<HadamardKernel>, &run<ExchangeKernel>};
  return kSet;
}

}  // namespace math_core
