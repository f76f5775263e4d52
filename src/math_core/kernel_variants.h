// The kernels' two loops (Hadamard; exchange for X and CNOT), one set per
// instruction-set variant. Each variant file defines kernels_for<its Isa> with
// its own lane type and nothing else, so no code built with wider flags is
// ever shared with a narrower variant.
#pragma once

#include <cstdint>

#include "math_core/math_core.h"
#include "math_core/pair_formulas.h"
#include "math_core/pair_space.h"
#include "math_core/variant_fit.h"

namespace math_core {

/// Runs one kernel over the pairs [begin, end) of `space`.
using RangeKernel = void (*)(Complex64* data, const PairSpace& space,
                             const FormulaConstants& constants, std::uint64_t begin,
                             std::uint64_t end, bool prefetch) noexcept;

/// The kernels' loops: the same Hadamard and exchange formulas as the
/// engine's gates (pair_formulas.h), so h_cpp and h give the same bits.
struct KernelSet {
  RangeKernel hadamard;
  RangeKernel exchange;  // X and CNOT: move pairs, no arithmetic
};

/// The loops of variant I, defined in kernels_<I>.cpp.
template <Isa I>
const KernelSet& kernels_for() noexcept;

}  // namespace math_core
