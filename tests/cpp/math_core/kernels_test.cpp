// The three kernels called directly on small arrays, against plain loops over
// every index that skip the second member of each pair.
#include <gtest/gtest.h>

#include <bit>
#include <cmath>
#include <cstring>
#include <functional>
#include <random>
#include <vector>

#include "math_core/forwarding.h"
#include "math_core/math_core.h"
#include "math_core/variant_fit.h"

namespace math_core {
namespace {

using Amplitudes = std::vector<Complex64>;

Amplitudes random_amplitudes(std::uint64_t count, std::mt19937_64& gen) {
  static constexpr double kSpecial[] = {0.0, -0.0, INFINITY, -INFINITY, NAN, -NAN, 5e-324, 1e308};
  std::uniform_real_distribution<double> uniform(-2.0, 2.0);
  std::uniform_int_distribution<int> pick(0, 79);
  auto part = [&] {
    const int k = pick(gen);
    return k < 8 ? kSpecial[k] : uniform(gen);
  };
  Amplitudes out(count);
  for (Complex64& c : out) c = {part(), part()};
  return out;
}

bool same(double a, double b) {
  return (std::isnan(a) && std::isnan(b)) ||
         std::bit_cast<std::uint64_t>(a) == std::bit_cast<std::uint64_t>(b);
}

bool same_bits(double a, double b) {
  return std::bit_cast<std::uint64_t>(a) == std::bit_cast<std::uint64_t>(b);
}

::testing::AssertionResult agree(const Amplitudes& got, const Amplitudes& want, bool exact) {
  for (std::size_t i = 0; i < got.size(); ++i) {
    const bool ok = exact ? same_bits(got[i].re, want[i].re) && same_bits(got[i].im, want[i].im)
                          : same(got[i].re, want[i].re) && same(got[i].im, want[i].im);
    if (!ok) return ::testing::AssertionFailure() << "element " << i << " differs";
  }
  return ::testing::AssertionSuccess();
}

Amplitudes plain_h(Amplitudes a, unsigned q) {
  const std::uint64_t m = std::uint64_t{1} << q;
  const double s = 0.7071067811865475;
  for (std::uint64_t i = 0; i < a.size(); ++i) {
    if (i & m) continue;
    const Complex64 a0 = a[i], a1 = a[i | m];
    a[i] = {(a0.re + a1.re) * s, (a0.im + a1.im) * s};
    a[i | m] = {(a0.re - a1.re) * s, (a0.im - a1.im) * s};
  }
  return a;
}

Amplitudes plain_x(const Amplitudes& a, unsigned q) {
  Amplitudes out(a.size());
  for (std::uint64_t i = 0; i < a.size(); ++i) out[i] = a[i ^ (std::uint64_t{1} << q)];
  return out;
}

Amplitudes plain_cx(const Amplitudes& a, unsigned c, unsigned t) {
  Amplitudes out(a.size());
  for (std::uint64_t i = 0; i < a.size(); ++i) {
    out[i] = (i >> c) & 1 ? a[i ^ (std::uint64_t{1} << t)] : a[i];
  }
  return out;
}

TEST(Kernels, hadamard_matches_the_pair_formula) {
  std::mt19937_64 gen(1);
  for (unsigned m = 1; m <= 7; ++m) {
    for (unsigned q = 0; q < m; ++q) {
      Amplitudes a = random_amplitudes(std::uint64_t{1} << m, gen);
      const Amplitudes want = plain_h(a, q);
      apply_h_cpp(ComplexView(a.data(), a.size()), q);
      EXPECT_TRUE(agree(a, want, false)) << "m=" << m << " q=" << q;
    }
  }
}

TEST(Kernels, pauli_x_moves_bits_only) {
  std::mt19937_64 gen(2);
  for (unsigned m = 1; m <= 7; ++m) {
    for (unsigned q = 0; q < m; ++q) {
      Amplitudes a = random_amplitudes(std::uint64_t{1} << m, gen);
      const Amplitudes want = plain_x(a, q);
      apply_x_cpp(ComplexView(a.data(), a.size()), q);
      EXPECT_TRUE(agree(a, want, true)) << "m=" << m << " q=" << q;
    }
  }
}

TEST(Kernels, cnot_moves_bits_only_and_equal_indices_do_nothing) {
  std::mt19937_64 gen(3);
  for (unsigned m = 1; m <= 7; ++m) {
    for (unsigned c = 0; c < m; ++c) {
      for (unsigned t = 0; t < m; ++t) {
        Amplitudes a = random_amplitudes(std::uint64_t{1} << m, gen);
        const Amplitudes want = c == t ? a : plain_cx(a, c, t);
        apply_cx_cpp(ComplexView(a.data(), a.size()), c, t);
        EXPECT_TRUE(agree(a, want, true)) << "m=" << m << " c=" << c << " t=" << t;
      }
    }
  }
}

TEST(Kernels, hadamard_factor_is_one_ulp_below_nearest) {
  Amplitudes a = {{1.0, 0.0}, {0.0, 0.0}};
  apply_h_cpp(ComplexView(a.data(), a.size()), 0);
  EXPECT_EQ(std::bit_cast<std::uint64_t>(a[0].re), 0x3FE6A09E667F3BCCu);
  EXPECT_EQ(std::bit_cast<std::uint64_t>(a[1].re), 0x3FE6A09E667F3BCCu);
  apply_h_cpp(ComplexView(a.data(), a.size()), 0);
  EXPECT_EQ(a[0].re, 0.9999999999999998);
  EXPECT_TRUE(same_bits(a[1].re, 0.0));
}

TEST(Boundary, forwards_view_and_indices_unchanged) {
  std::mt19937_64 gen(4);
  const Amplitudes start = random_amplitudes(32, gen);
  Amplitudes direct = start, forwarded = start;
  apply_h_cpp(ComplexView(direct.data(), 32), 3);
  apply_x_cpp(ComplexView(direct.data(), 32), 1);
  apply_cx_cpp(ComplexView(direct.data(), 32), 4, 0);
  const ComplexView view(forwarded.data(), 32);
  forwarding::apply_kernel_range(Kernel::kHadamard, view, 3, 3, velquin::chosen_isa(), 0, 16,
                                 false);
  forwarding::apply_kernel_range(Kernel::kPauliX, view, 1, 1, velquin::chosen_isa(), 0, 16, true);
  forwarding::apply_kernel_range(Kernel::kCnot, view, 4, 0, velquin::chosen_isa(), 0, 8, false);
  EXPECT_TRUE(agree(forwarded, direct, false));
}

TEST(Kernels, touch_nothing_outside_the_view) {
  std::mt19937_64 gen(5);
  Amplitudes padded = random_amplitudes(8 + 16 + 8, gen);
  const Amplitudes before = padded;
  const ComplexView inner(padded.data() + 8, 16);
  for (unsigned q = 0; q < 4; ++q) {
    apply_h_cpp(inner, q);
    apply_x_cpp(inner, q);
    apply_cx_cpp(inner, q, 3 - q);
  }
  for (std::size_t i : {0, 1, 7, 24, 25, 31}) {
    EXPECT_TRUE(same_bits(padded[i].re, before[i].re) && same_bits(padded[i].im, before[i].im));
  }
}

TEST(Complex64Layout, matches_numpy_complex128) {
  static_assert(sizeof(Complex64) == 16);
  const Complex64 c{1.5, -2.5};
  double parts[2];
  std::memcpy(parts, &c, sizeof c);
  EXPECT_EQ(parts[0], 1.5);
  EXPECT_EQ(parts[1], -2.5);
}

// Every variant, with the pair range cut into aligned pieces, prefetching or
// not, gives the bits of the plain loops, and every bit of the scalar
// variant's NaNs.
class RangedKernels : public ::testing::TestWithParam<Isa> {};

void in_pieces(std::uint64_t count, std::mt19937_64& gen,
               const std::function<void(std::uint64_t, std::uint64_t)>& run) {
  std::uint64_t begin = 0;
  while (begin < count) {
    std::uint64_t end = begin + kRangeAlign * (1 + gen() % 3);
    if (end > count) end = count;
    run(begin, end);
    begin = end;
  }
}

TEST_P(RangedKernels, pieces_on_any_variant_match_plain_loops) {
  const Isa isa = GetParam();
  if (!isa_supported(isa)) GTEST_SKIP() << "CPU lacks " << isa_name(isa);
  std::mt19937_64 gen(static_cast<unsigned>(isa));
  for (unsigned m = 1; m <= 11; ++m) {
    const std::uint64_t n = std::uint64_t{1} << m;
    for (unsigned q = 0; q < m; ++q) {
      const bool prefetch = (m + q) % 2 == 1;
      Amplitudes a = random_amplitudes(n, gen);
      const Amplitudes start = a;
      const ComplexView view(a.data(), n);
      in_pieces(n / 2, gen, [&](auto b, auto e) {
        apply_kernel_range(Kernel::kHadamard, view, q, q, isa, b, e, prefetch);
      });
      ASSERT_TRUE(agree(a, plain_h(start, q), false)) << "h m=" << m << " q=" << q;
      Amplitudes scalar = start;
      apply_kernel_range(Kernel::kHadamard, ComplexView(scalar.data(), n), q, q, Isa::kScalar, 0,
                         n / 2, false);
      ASSERT_TRUE(agree(a, scalar, true)) << "h NaN bits m=" << m << " q=" << q;
      in_pieces(n / 2, gen, [&](auto b, auto e) {
        apply_kernel_range(Kernel::kPauliX, view, q, q, isa, b, e, prefetch);
      });
      ASSERT_TRUE(agree(a, plain_x(plain_h(start, q), q), false)) << "x m=" << m << " q=" << q;
      for (unsigned t = 0; t < m; ++t) {
        Amplitudes b = random_amplitudes(n, gen);
        const Amplitudes want = q == t ? b : plain_cx(b, q, t);
        const ComplexView bview(b.data(), n);
        in_pieces(n / 4, gen, [&](auto lo, auto hi) {
          forwarding::apply_kernel_range(Kernel::kCnot, bview, q, t, isa, lo, hi, prefetch);
        });
        ASSERT_TRUE(agree(b, want, true)) << "cx m=" << m << " c=" << q << " t=" << t;
      }
    }
  }
}

INSTANTIATE_TEST_SUITE_P(EveryVariant, RangedKernels,
                         ::testing::Values(Isa::kScalar, Isa::kSse2, Isa::kAvx2, Isa::kAvx512),
                         [](const auto& param_info) { return isa_name(param_info.param); });

}  // namespace
}  // namespace math_core
