// The ranged entry of the general operations (op_shape.h): prepare an
// operation once for the bit positions it runs on, then run it over any
// ranges of its units, on any thread. Which variant runs changes speed only:
// every variant computes what the scalar walk (op_scalar.h) computes, bit for
// bit.
#pragma once

#include <cstdint>
#include <vector>

#include "base/isa.h"
#include "math_core/op_shape.h"

namespace math_core {

using velquin::Isa;

/// What a variant works out once per placement: the tile layout and the
/// per-lane tables its vector walk reads (empty when it takes the scalar walk).
struct PreparedOp {
  OpShape shape;
  TileLayout layout;
  Isa isa = Isa::kScalar;  // the variant that runs it
  int walk = 0;            // which of the variant's walks (0: scalar)
  std::vector<double> lanes;
  std::vector<std::uint64_t> words;
};

/// `shape` prepared for a state of `size` amplitudes on the variant `isa`
/// (or a narrower one: the general operations have scalar and AVX2 walks;
/// SSE2 takes the scalar one and AVX-512 the AVX2 one). `shape`'s
/// coefficients must outlive the result.
PreparedOp prepare_op(const OpShape& shape, std::uint64_t size, Isa isa);

/// Runs `op` over its units [begin, end) of `data` (the state it was
/// prepared for), in place.
void run_op_range(const PreparedOp& op, Complex64* data, std::uint64_t begin,
                  std::uint64_t end) noexcept;

/// The number of units of `op`: ranges split anywhere between 0 and this.
inline std::uint64_t op_units(const PreparedOp& op) noexcept { return op.layout.units; }

}  // namespace math_core
