// Gate constants, made once per call and at run time from the platform's
// sqrt, cos and sin, so the bits are those of this machine's math library and
// never a compile-time fold.
#pragma once

#include "engine/gate_formulas.h"

namespace velquin::engine {

/// a = 1.0 / sqrt(2.0) = 0.7071067811865475 (0x3FE6A09E667F3BCC).
GateConstants hadamard_constants();

/// (cos φ, sin φ) with φ = 0.7853981633974483, the double nearest π/4.
GateConstants t_constants();

/// (cos(−φ), sin(−φ)).
GateConstants tdg_constants();

/// (cos half, sin half), one call of each.
GateConstants half_angle_constants(double half);

/// S and S-dagger phases: (0.0, 1.0) and (0.0, -1.0).
inline constexpr GateConstants kSPhase{0.0, 1.0};
inline constexpr GateConstants kSdgPhase{0.0, -1.0};

}  // namespace velquin::engine
