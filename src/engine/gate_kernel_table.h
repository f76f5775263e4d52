// One table of pair kernels per instruction-set variant, indexed by
// Arithmetic. Each comes from make_pair_kernel_table, instantiated only in
// its variant's own file (built with that variant's flags).
#pragma once

#include <array>
#include <cstdint>

#include "base/isa.h"
#include "engine/gate_formulas.h"
#include "math_core/math_core.h"
#include "math_core/pair_space.h"

namespace velquin::engine {

using math_core::Complex64;
using math_core::PairSpace;

/// Runs one formula over the pairs [begin, end) of `space`.
using PairKernel = void (*)(Complex64* data, const PairSpace& space,
                            const FormulaConstants& constants, std::uint64_t begin,
                            std::uint64_t end) noexcept;
using PairKernelTable = std::array<PairKernel, kPairFormulaCount>;

/// The table of variant I, defined in gate_kernels_<I>.cpp.
template <Isa I>
const PairKernelTable& pair_kernels() noexcept;

/// The table for a walk: Walk::template run<Formula> for each formula.
template <class Walk>
constexpr PairKernelTable make_pair_kernel_table() {
  PairKernelTable table{};
  auto set = [&table](Arithmetic f, PairKernel k) { table[static_cast<unsigned>(f)] = k; };
  set(Arithmetic::kHadamard, &Walk::template run<HadamardFormula>);
  set(Arithmetic::kPauliY, &Walk::template run<PauliYFormula>);
  set(Arithmetic::kSqrtX, &Walk::template run<SqrtXFormula>);
  set(Arithmetic::kRotationX, &Walk::template run<RotationXFormula>);
  set(Arithmetic::kRotationY, &Walk::template run<RotationYFormula>);
  set(Arithmetic::kRotationZ, &Walk::template run<RotationZFormula>);
  set(Arithmetic::kPhase, &Walk::template run<PhaseFormula>);
  set(Arithmetic::kNegate, &Walk::template run<NegateFormula>);
  set(Arithmetic::kExchange, &Walk::template run<ExchangeFormula>);
  set(Arithmetic::kControlledY, &Walk::template run<ControlledYFormula>);
  return table;
}

}  // namespace velquin::engine
