// Runs a pair formula over a PairSpace of a register's amplitudes. This is the
// single door from the gates to the loops that do the work.
#pragma once

#include <cstdint>
#include <span>

#include "engine/exec_policy.h"
#include "math_core/math_core.h"
#include "math_core/pair_formulas.h"
#include "math_core/pair_space.h"

namespace velquin::engine {

using math_core::Complex64;
using math_core::FormulaConstants;
using math_core::PairSpace;

/// The fewest pairs a thread gets when a gate's pass is spread over threads
/// (ExecPolicy::threads_for says when it is).
inline constexpr std::uint64_t kMinPairsPerThread = std::uint64_t{1} << 14;

/// Applies `formula` with `constants` to every pair of `space`, in place, with
/// `policy`. `space` must fit `data` (its pairs lie below data.size()).
void run_pair_formula(std::span<Complex64> data, Arithmetic formula, const PairSpace& space,
                      const FormulaConstants& constants, const ExecPolicy& policy);

}  // namespace velquin::engine
