// One table of pair kernels per instruction-set variant, indexed by
// Arithmetic. Each comes from make_pair_kernel_table, instantiated only in
// its variant's own file (built with that variant's flags).
#pragma once

#include <array>
#include <cstdint>

#include "base/isa.h"
#include "math_core/math_core.h"
#include "math_core/pair_formulas.h"
#include "math_core/pair_space.h"

namespace velquin::engine {

using math_core::Complex64;
using math_core::FormulaConstants;
using math_core::PairSpace;

/// Runs one formula over the pairs [begin, end) of `space`, prefetching if
/// `prefetch` (math_core::kPrefetchFrom).
using PairKernel = void (*)(Complex64* data, const PairSpace& space,
                            const FormulaConstants& constants, std::uint64_t begin,
                            std::uint64_t end, bool prefetch) noexcept;
using PairKernelTable = std::array<PairKernel, kPairFormulaCount>;

/// The table of variant I, defined in gate_kernels_<I>.cpp.
template <Isa I>
const PairKernelTable& pair_kernels() noexcept;

/// The table for a walk: Walk::template run<Formula> for each pair formula,
/// in Arithmetic order (math_core/pair_formulas.h lists them).
template <class Walk, template <class> class... Formulas>
constexpr PairKernelTable make_pair_kernel_table(math_core::FormulaList<Formulas...>) {
  return {&Walk::template run<Formulas>...};
}
template <class Walk>
constexpr PairKernelTable make_pair_kernel_table() {
  return make_pair_kernel_table<Walk>(math_core::PairFormulas{});
}

}  // namespace velquin::engine
