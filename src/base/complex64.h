// The amplitude record every library shares: a register's storage, the
// math_core kernels' view and a NumPy complex128 element all have this layout,
// so one block of memory serves all three without a copy.
#pragma once

#include <cstddef>
#include <type_traits>

namespace velquin {

/// One amplitude: real part then imaginary part, both IEEE binary64.
struct Complex64 {
  double re;
  double im;
};
static_assert(sizeof(Complex64) == 16, "Complex64 must be two packed doubles");
static_assert(alignof(Complex64) == alignof(double));
static_assert(offsetof(Complex64, re) == 0 && offsetof(Complex64, im) == 8);
static_assert(std::is_trivially_copyable_v<Complex64> && std::is_standard_layout_v<Complex64>);

}  // namespace velquin
