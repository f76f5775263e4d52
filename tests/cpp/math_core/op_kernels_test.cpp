// The general operations against an index-by-index model of their formulas
// on random states (special values included), and every variant and any
// split of the units against the scalar walk, bit for bit.
#include "math_core/op_kernels.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <bit>
#include <cmath>
#include <numeric>
#include <random>
#include <vector>

namespace math_core {
namespace {

using Amplitudes = std::vector<Complex64>;

double part(std::mt19937_64& gen, bool special) {
  static constexpr double kSpecial[] = {0.0, -0.0, INFINITY, -INFINITY, NAN, -NAN, 5e-324};
  const int k = std::uniform_int_distribution<int>(0, 59)(gen);
  if (special && k < 7) return kSpecial[k];
  return std::uniform_real_distribution<double>(-2.0, 2.0)(gen);
}

Amplitudes random_amplitudes(std::uint64_t count, std::mt19937_64& gen, bool special) {
  Amplitudes out(count);
  for (Complex64& c : out) c = {part(gen, special), part(gen, special)};
  return out;
}

bool same(double a, double b) {  // the model may not pin which NaN wins
  return (std::isnan(a) && std::isnan(b)) ||
         std::bit_cast<std::uint64_t>(a) == std::bit_cast<std::uint64_t>(b);
}

::testing::AssertionResult agree(const Amplitudes& got, const Amplitudes& want, bool exact) {
  for (std::size_t i = 0; i < got.size(); ++i) {
    const bool ok = exact ? std::bit_cast<std::uint64_t>(got[i].re) ==
                                    std::bit_cast<std::uint64_t>(want[i].re) &&
                                std::bit_cast<std::uint64_t>(got[i].im) ==
                                    std::bit_cast<std::uint64_t>(want[i].im)
                          : same(got[i].re, want[i].re) && same(got[i].im, want[i].im);
    if (!ok) {
      return ::testing::AssertionFailure()
             << "element " << i << ": (" << got[i].re << ", " << got[i].im << ") against ("
             << want[i].re << ", " << want[i].im << ")";
    }
  }
  return ::testing::AssertionSuccess();
}

Complex64 times(Complex64 a, Complex64 b) {
  return {a.re * b.re - a.im * b.im, a.re * b.im + a.im * b.re};
}
Complex64 plus(Complex64 a, Complex64 b) { return {a.re + b.re, a.im + b.im}; }

// Index by index: what each kind's formula says amplitude j becomes.
Amplitudes model(const OpShape& shape, const Amplitudes& a) {
  Amplitudes out = a;
  const std::uint64_t size = a.size();
  for (std::uint64_t j = 0; j < size; ++j) {
    if ((j & shape.control_mask) != shape.control_value) continue;
    if (shape.enumerated()) {
      std::uint64_t r = 0;
      for (unsigned i = 0; i < shape.k; ++i) r |= ((j >> shape.targets[i]) & 1) << i;
      const std::uint64_t base = j & ~shape.target_mask;
      auto at = [&](std::uint64_t m) { return a[base | shape.offset(m)]; };
      if (shape.kind == OpKind::kDense) {
        const std::uint64_t n = shape.members();
        Complex64 acc = times(shape.coefficients[r * n], at(0));
        for (std::uint64_t c = 1; c < n; ++c)
          acc = plus(acc, times(shape.coefficients[r * n + c], at(c)));
        out[j] = acc;
      } else if (shape.kind == OpKind::kDiagonal) {
        out[j] = times(a[j], shape.coefficients[r]);
      } else if (shape.kind == OpKind::kPermutation) {
        out[j] = at(shape.permutation[r]);
      } else if (shape.kind == OpKind::kMonomial) {
        out[j] = times(shape.coefficients[r], at(shape.permutation[r]));
      } else if (r == shape.m0 || r == shape.m1) {
        const unsigned row = r == shape.m0 ? 0 : 1;
        out[j] = plus(times(shape.coefficients[2 * row], at(shape.m0)),
                      times(shape.coefficients[2 * row + 1], at(shape.m1)));
      }
    } else if (shape.kind == OpKind::kMaskPhase) {
      if ((j & shape.target_mask) == shape.target_mask) out[j] = times(a[j], shape.coefficients[0]);
    } else if (shape.kind == OpKind::kParityPhase) {
      out[j] = times(a[j], shape.coefficients[std::popcount(j & shape.target_mask) & 1]);
    } else {
      const std::uint64_t i = j ^ shape.flip;
      const unsigned quarter = shape.y_count + 2 * (std::popcount(i & shape.sign) & 1);
      if (shape.kind == OpKind::kPauli) {
        const Complex64 x = a[i];
        const Complex64 turned[4] = {x, {-x.im, x.re}, {-x.re, -x.im}, {x.im, -x.re}};
        out[j] = turned[quarter & 3];
      } else {
        const double c = shape.coefficients[0].re;
        out[j] = plus({c * a[j].re, c * a[j].im},
                      times(shape.coefficients[1 + (std::popcount(i & shape.sign) & 1)], a[i]));
      }
    }
  }
  return out;
}

struct Drawn {
  OpShape shape;
  std::vector<Complex64> coefficients;
  std::vector<std::uint32_t> permutation;
};

// A random operation of `kind` on a register of n qubits.
Drawn draw(OpKind kind, unsigned n, std::mt19937_64& gen) {
  Drawn d;
  OpShape& shape = d.shape;
  shape.kind = kind;
  std::vector<unsigned> bits(n);
  std::iota(bits.begin(), bits.end(), 0u);
  std::shuffle(bits.begin(), bits.end(), gen);
  const unsigned most =
      kind == OpKind::kDense || kind == OpKind::kPermutation || kind == OpKind::kMonomial ? 4u : 5u;
  const unsigned k = 1 + std::uniform_int_distribution<unsigned>(0, std::min(most, n) - 1)(gen);
  const unsigned controls = std::uniform_int_distribution<unsigned>(0, std::min(2u, n - k))(gen);
  shape.k = k;
  for (unsigned i = 0; i < k; ++i) {
    shape.targets[i] = bits[i];
    shape.target_mask |= std::uint64_t{1} << bits[i];
  }
  for (unsigned i = 0; i < controls; ++i) {
    shape.control_mask |= std::uint64_t{1} << bits[k + i];
    if (gen() & 1) shape.control_value |= std::uint64_t{1} << bits[k + i];
  }
  std::uniform_real_distribution<double> uniform(-1.5, 1.5);
  auto coefficient = [&] { return Complex64{uniform(gen), uniform(gen)}; };
  const std::uint64_t members = shape.members();
  switch (kind) {
    case OpKind::kDense:
      d.coefficients.resize(members * members);
      break;
    case OpKind::kDiagonal:
      d.coefficients.resize(members);
      break;
    case OpKind::kMonomial:
      d.coefficients.resize(members);
      [[fallthrough]];
    case OpKind::kPermutation:
      d.permutation.resize(members);
      std::iota(d.permutation.begin(), d.permutation.end(), 0u);
      std::shuffle(d.permutation.begin(), d.permutation.end(), gen);
      shape.permutation = d.permutation.data();
      break;
    case OpKind::kTwoLevel:
      d.coefficients.resize(4);
      shape.m0 = static_cast<std::uint32_t>(gen() % members);
      shape.m1 = static_cast<std::uint32_t>((shape.m0 + 1 + gen() % (members - 1)) % members);
      if (members == 1) shape.m1 = shape.m0;
      break;
    case OpKind::kMaskPhase:
      d.coefficients.resize(1);
      break;
    case OpKind::kParityPhase:
      d.coefficients.resize(2);
      break;
    case OpKind::kPauli:
    case OpKind::kPauliRotation:
      for (unsigned i = 0; i < k; ++i) {
        const unsigned letter = static_cast<unsigned>(gen() % 3);  // X, Y, Z
        if (letter != 2) shape.flip |= std::uint64_t{1} << bits[i];
        if (letter != 0) shape.sign |= std::uint64_t{1} << bits[i];
        shape.y_count += letter == 1;
      }
      if (kind == OpKind::kPauliRotation && shape.flip == 0)
        shape.flip = std::uint64_t{1} << bits[0];
      d.coefficients = {{uniform(gen), 0.0}};
      d.coefficients.push_back(coefficient());
      d.coefficients.push_back({-d.coefficients[1].re, -d.coefficients[1].im});
      break;
  }
  for (Complex64& c : d.coefficients) {
    if (kind != OpKind::kPauli && kind != OpKind::kPauliRotation) c = coefficient();
  }
  shape.coefficients = d.coefficients.data();
  return d;
}

constexpr OpKind kKinds[] = {OpKind::kDense,    OpKind::kDiagonal,      OpKind::kPermutation,
                             OpKind::kTwoLevel, OpKind::kMaskPhase,     OpKind::kParityPhase,
                             OpKind::kPauli,    OpKind::kPauliRotation, OpKind::kMonomial};

class EveryKind : public ::testing::TestWithParam<OpKind> {};

TEST_P(EveryKind, scalar_walk_computes_the_formula_index_by_index) {
  std::mt19937_64 gen(17 + static_cast<unsigned>(GetParam()));
  for (unsigned n = 1; n <= 7; ++n) {
    for (int trial = 0; trial < 40; ++trial) {
      const Drawn d = draw(GetParam(), n, gen);
      const Amplitudes start = random_amplitudes(std::uint64_t{1} << n, gen, trial % 2 == 1);
      const PreparedOp op = prepare_op(d.shape, start.size(), Isa::kScalar);
      Amplitudes got = start;
      run_op_range(op, got.data(), 0, op_units(op));
      ASSERT_TRUE(agree(got, model(d.shape, start), false)) << "n = " << n << ", trial " << trial;
    }
  }
}

TEST_P(EveryKind, every_variant_and_split_gives_the_scalar_bits) {
  std::mt19937_64 gen(91 + static_cast<unsigned>(GetParam()));
  for (Isa isa : {Isa::kSse2, Isa::kAvx2, Isa::kAvx512}) {
    if (!velquin::isa_supported(isa)) continue;
    for (unsigned n = 1; n <= 9; ++n) {
      for (int trial = 0; trial < 30; ++trial) {
        const Drawn d = draw(GetParam(), n, gen);
        const Amplitudes start = random_amplitudes(std::uint64_t{1} << n, gen, true);
        const PreparedOp reference = prepare_op(d.shape, start.size(), Isa::kScalar);
        Amplitudes want = start;
        run_op_range(reference, want.data(), 0, op_units(reference));
        const PreparedOp op = prepare_op(d.shape, start.size(), isa);
        ASSERT_EQ(op_units(op), op_units(reference));
        Amplitudes got = start;
        const std::uint64_t units = op_units(op), cut = units == 0 ? 0 : gen() % (units + 1);
        run_op_range(op, got.data(), cut, units);
        run_op_range(op, got.data(), 0, cut);
        ASSERT_TRUE(agree(got, want, true))
            << velquin::isa_name(isa) << ", n = " << n << ", trial " << trial;
      }
    }
  }
}

INSTANTIATE_TEST_SUITE_P(Kinds, EveryKind, ::testing::ValuesIn(kKinds));

}  // namespace
}  // namespace math_core
