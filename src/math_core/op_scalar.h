// The scalar walk of every general operation (op_shape.h): the reference each
// vector walk reproduces bit for bit. It visits the units [begin, end) of the
// operation's TileLayout and, inside each, every group (or amplitude, or
// pair) whose low control bits have their values.
#pragma once

#include <array>
#include <cstdint>

#include "math_core/complex_arith.h"
#include "math_core/lanes_scalar.h"
#include "math_core/op_shape.h"

namespace math_core {

using ScalarLanes = ComplexLanes<Scalar::V>;

[[gnu::always_inline]] inline ScalarLanes lanes_of(const Complex64& c) {
  return {Scalar::V(c.re), Scalar::V(c.im)};
}
[[gnu::always_inline]] inline Complex64 complex_of(const ScalarLanes& c) {
  return {c.re.v, c.im.v};
}

/// x s for s = i^quarter (quarter 0-3): parts move and change sign only.
[[gnu::always_inline]] inline Complex64 times_i_power(const Complex64& x, unsigned quarter) {
  switch (quarter & 3) {
    case 1:
      return {-x.im, x.re};
    case 2:
      return {-x.re, -x.im};
    case 3:
      return {x.im, -x.re};
    default:
      return x;
  }
}

/// The dense formula on one group: in[] and out[] hold its 2^k members.
[[gnu::always_inline]] inline void dense_rows(const Complex64* matrix, unsigned members,
                                              const Complex64* in, Complex64* out) {
  for (unsigned r = 0; r < members; ++r) {
    const Complex64* row = matrix + std::uint64_t{r} * members;
    ScalarLanes acc = mul(lanes_of(row[0]), lanes_of(in[0]));
    for (unsigned c = 1; c < members; ++c) acc = add(acc, mul(lanes_of(row[c]), lanes_of(in[c])));
    out[r] = complex_of(acc);
  }
}

/// Calls visit(j) for every amplitude j of units [begin, end) whose low
/// control bits (below the tile) have their values; j ascends within a unit.
template <class Visit>
[[gnu::always_inline]] inline void each_low_match(const OpShape& shape, const TileLayout& layout,
                                                  std::uint64_t begin, std::uint64_t end,
                                                  std::uint64_t skip, Visit&& visit) {
  const std::uint64_t tile = std::uint64_t{1} << layout.tile_bits;
  const std::uint64_t low_mask = shape.control_mask & (tile - 1);
  const std::uint64_t low_value = shape.control_value & (tile - 1);
  for (std::uint64_t o = begin; o < end; ++o) {
    const std::uint64_t base = layout.base(o);
    for (std::uint64_t l = 0; l < tile; ++l) {
      if ((l & low_mask) != low_value || (l & skip) != 0) continue;
      visit(base | l);
    }
  }
}

/// The scalar walk of `shape` over units [begin, end) of `layout`.
inline void run_scalar(const OpShape& shape, const TileLayout& layout, Complex64* data,
                       std::uint64_t begin, std::uint64_t end) {
  const Complex64* coefficients = shape.coefficients;
  switch (shape.kind) {
    case OpKind::kDense:
    case OpKind::kDiagonal:
    case OpKind::kPermutation:
    case OpKind::kTwoLevel:
    case OpKind::kMonomial: {
      const unsigned members = static_cast<unsigned>(shape.members());
      std::array<std::uint64_t, std::uint64_t{1} << kMaxTargets> offset;
      for (unsigned m = 0; m < members; ++m) offset[m] = shape.offset(m);
      std::array<Complex64, std::uint64_t{1} << kMaxTargets> in, out;
      // Every group starts at an amplitude whose target bits are clear.
      each_low_match(shape, layout, begin, end, shape.target_mask, [&](std::uint64_t base) {
        if (shape.kind == OpKind::kTwoLevel) {
          Complex64& x0 = data[base + offset[shape.m0]];
          Complex64& x1 = data[base + offset[shape.m1]];
          const Complex64 pair[2] = {x0, x1};
          Complex64 result[2];
          dense_rows(coefficients, 2, pair, result);
          x0 = result[0];
          x1 = result[1];
          return;
        }
        for (unsigned m = 0; m < members; ++m) in[m] = data[base + offset[m]];
        if (shape.kind == OpKind::kDense) {
          dense_rows(coefficients, members, in.data(), out.data());
        } else if (shape.kind == OpKind::kDiagonal) {
          for (unsigned m = 0; m < members; ++m) {
            out[m] = complex_of(mul(lanes_of(in[m]), lanes_of(coefficients[m])));
          }
        } else if (shape.kind == OpKind::kMonomial) {
          for (unsigned m = 0; m < members; ++m) {
            out[m] = complex_of(mul(lanes_of(coefficients[m]), lanes_of(in[shape.permutation[m]])));
          }
        } else {
          for (unsigned m = 0; m < members; ++m) out[m] = in[shape.permutation[m]];
        }
        for (unsigned m = 0; m < members; ++m) data[base + offset[m]] = out[m];
      });
      return;
    }
    case OpKind::kMaskPhase: {
      const ScalarLanes p = lanes_of(coefficients[0]);
      const std::uint64_t low_targets =
          shape.target_mask & ((std::uint64_t{1} << layout.tile_bits) - 1);
      each_low_match(shape, layout, begin, end, 0, [&](std::uint64_t j) {
        if ((j & low_targets) == low_targets) data[j] = complex_of(mul(lanes_of(data[j]), p));
      });
      return;
    }
    case OpKind::kParityPhase: {
      const ScalarLanes p[2] = {lanes_of(coefficients[0]), lanes_of(coefficients[1])};
      each_low_match(shape, layout, begin, end, 0, [&](std::uint64_t j) {
        data[j] = complex_of(mul(lanes_of(data[j]), p[parity(j & shape.target_mask)]));
      });
      return;
    }
    case OpKind::kPauli:
    case OpKind::kPauliRotation: {
      const std::uint64_t x = shape.flip, z = shape.sign;
      const std::uint64_t pivot = x & (~x + 1);  // 0 for a word of Z alone
      auto phased = [&](std::uint64_t i) {       // s(i) data[i], s = i^y (-1)^parity(i & z)
        return times_i_power(data[i], shape.y_count + 2 * parity(i & z));
      };
      each_low_match(shape, layout, begin, end, pivot, [&](std::uint64_t j) {
        if (shape.kind == OpKind::kPauli) {
          if (x == 0) {
            data[j] = phased(j);
            return;
          }
          const Complex64 a = phased(j ^ x), b = phased(j);
          data[j] = a;
          data[j ^ x] = b;
          return;
        }
        const Scalar::V c(coefficients[0].re);
        const ScalarLanes a0 = lanes_of(data[j]), a1 = lanes_of(data[j ^ x]);
        const ScalarLanes w0 = lanes_of(coefficients[1 + parity((j ^ x) & z)]);
        const ScalarLanes w1 = lanes_of(coefficients[1 + parity(j & z)]);
        data[j] = complex_of(add(scale(c, a0), mul(w0, a1)));
        data[j ^ x] = complex_of(add(scale(c, a1), mul(w1, a0)));
      });
      return;
    }
  }
}

}  // namespace math_core
