// Gate constants, made once per call and at run time from the platform's
// sqrt, cos and sin, so the bits are those of this machine's math library and
// never a compile-time fold.
#pragma once

#include "base/gate_table.h"
#include "math_core/pair_formulas.h"

namespace velquin::engine {

using math_core::FormulaConstants;

/// The constants `rule` names (base/gate_table.h), for the angle `theta`:
///   kHadamard  a = 1.0 / sqrt(2.0) = 0.7071067811865475 (0x3FE6A09E667F3BCC)
///   kPhaseS    (0.0, 1.0);  kPhaseSdg (0.0, -1.0)
///   kPhaseT    (cos φ, sin φ), φ = 0.7853981633974483, the double nearest π/4
///   kPhaseTdg  (cos(−φ), sin(−φ))
///   kHalfAngle (cos half, sin half), half = theta * 0.5, one call of each
FormulaConstants make_constants(GateConstants rule, double theta);

}  // namespace velquin::engine
