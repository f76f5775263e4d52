// The kernels' two loops (Hadamard; exchange for X and CNOT), one set per
// instruction-set variant. Each variant file defines kernels_for<its Isa> with
// its own lane type and nothing else, so no code built with wider flags is
// ever shared with a narrower variant.
#pragma once

#include <cstdint>

#include "math_core/complex_lanes.h"
#include "math_core/variant_fit.h"
#include "math_core/math_core.h"
#include "math_core/pair_space.h"
#include "math_core/pair_traversal.h"

namespace math_core {

/// Runs one kernel over the pairs [begin, end) of `space`; `s` is the
/// Hadamard factor (unused by the exchange).
using RangeKernel = void (*)(Complex64* data, const PairSpace& space, double s,
                             std::uint64_t begin, std::uint64_t end) noexcept;

struct KernelSet {
  RangeKernel hadamard;
  RangeKernel exchange;  // X and CNOT: move pairs, no arithmetic
};

/// The loops of variant I, defined in kernels_<I>.cpp.
template <Isa I>
const KernelSet& kernels_for() noexcept;

/// The sum or difference first, rounded, then the product with s.
template <class V>
struct HadamardKernel {
  static constexpr Touch kTouch = Touch::kBoth;
  V s;
  explicit HadamardKernel(double factor) : s(factor) {}
  void operator()(ComplexLanes<V>& a0, ComplexLanes<V>& a1) const {
    const ComplexLanes<V> new0{(a0.re + a1.re) * s, (a0.im + a1.im) * s};
    const ComplexLanes<V> new1{(a0.re - a1.re) * s, (a0.im - a1.im) * s};
    a0 = new0;
    a1 = new1;
  }
};

template <class V>
struct ExchangeKernel {
  static constexpr Touch kTouch = Touch::kExchange;
  explicit ExchangeKernel(double) {}
};

}  // namespace math_core
