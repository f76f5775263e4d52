#include "engine/gate_kernels.h"

#include <array>

#include "math_core/pair_traversal.h"

namespace velquin::engine {
namespace {

using PairKernel = void (*)(Complex64*, const PairSpace&, const GateConstants&, std::uint64_t,
                            std::uint64_t) noexcept;

template <template <class> class Formula>
void scalar_kernel(Complex64* data, const PairSpace& space, const GateConstants& constants,
                   std::uint64_t begin, std::uint64_t end) noexcept {
  math_core::traverse_pairs_scalar(data, space, Formula<double>(constants), begin, end);
}

// Indexed by PairFormula.
constexpr std::array<PairKernel, kPairFormulaCount> kScalarKernels = {
    &scalar_kernel<HadamardFormula>,  &scalar_kernel<PauliYFormula>,
    &scalar_kernel<SqrtXFormula>,     &scalar_kernel<RotationXFormula>,
    &scalar_kernel<RotationYFormula>, &scalar_kernel<RotationZFormula>,
    &scalar_kernel<PhaseFormula>,     &scalar_kernel<NegateFormula>,
    &scalar_kernel<ExchangeFormula>,  &scalar_kernel<ControlledYFormula>,
};

}  // namespace

void run_pair_formula(std::span<Complex64> data, PairFormula formula, const PairSpace& space,
                      const GateConstants& constants) noexcept {
  kScalarKernels[static_cast<unsigned>(formula)](data.data(), space, constants, 0, space.count);
}

}  // namespace velquin::engine
