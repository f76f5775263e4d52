// Runs a pair formula over a PairSpace of a register's amplitudes. This is the
// single door from the gates to the loops that do the work.
#pragma once

#include <cstdint>
#include <span>

#include "engine/gate_formulas.h"
#include "math_core/math_core.h"
#include "math_core/pair_space.h"

namespace velquin::engine {

using math_core::Complex64;
using math_core::PairSpace;

/// Applies `formula` with `constants` to every pair of `space`, in place.
/// `space` must fit `data` (its pairs lie below data.size()).
void run_pair_formula(std::span<Complex64> data, PairFormula formula, const PairSpace& space,
                      const GateConstants& constants) noexcept;

}  // namespace velquin::engine
