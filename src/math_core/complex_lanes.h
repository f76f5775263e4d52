// A bundle of complex amplitudes held as separate real and imaginary parts.
#pragma once

namespace math_core {

/// `re` and `im` hold the parts of one complex number per lane of V. V is
/// double for the scalar path and a vector-register wrapper for the others;
/// lane k of `re` and lane k of `im` always belong to the same amplitude.
template <class V>
struct ComplexLanes {
  V re;
  V im;
};

}  // namespace math_core
