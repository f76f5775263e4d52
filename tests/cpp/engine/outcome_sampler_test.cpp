// The bulk sampler must give exactly the counts of drawing every shot with
// the weighted index sampler, and leave the generator in the same place.
#include "engine/outcome_sampler.h"

#include <gtest/gtest.h>

#include <cmath>
#include <limits>
#include <map>
#include <random>
#include <vector>

#include "base/result.h"
#include "random/weighted_index.h"

namespace velquin::engine {
namespace {

using math_core::Complex64;

std::vector<double> weights_of(const std::vector<Complex64>& amplitudes) {
  std::vector<double> w;
  for (const auto& a : amplitudes) w.push_back(a.re * a.re + a.im * a.im);
  return w;
}

OutcomeCounts reference_counts(const std::vector<Complex64>& amplitudes, random::StdRng& rng,
                               std::uint64_t shots) {
  const auto weights = weights_of(amplitudes);
  const random::WeightedIndex sampler = random::WeightedIndex::create(weights).value();
  std::map<std::uint64_t, std::uint64_t> counts;
  for (std::uint64_t s = 0; s < shots; ++s) ++counts[sampler.sample(rng)];
  return {counts.begin(), counts.end()};
}

// Random amplitudes with runs of exact zeros (first, middle, last) and tiny values.
std::vector<Complex64> random_amplitudes(std::size_t n, std::mt19937_64& gen) {
  std::normal_distribution<double> normal;
  std::uniform_int_distribution<int> kind(0, 9);
  std::vector<Complex64> a(n);
  for (auto& x : a) {
    const int k = kind(gen);
    if (k < 3) {
      x = {0.0, 0.0};
    } else if (k == 3) {
      x = {1e-160 * normal(gen), 0.0};
    } else {
      x = {normal(gen), normal(gen)};
    }
  }
  a.front() = {0.0, -0.0};
  if (n > 1) a.back() = {0.0, 0.0};
  a[n / 2] = {0.3, 0.4};  // at least one nonzero weight, between the zero ends
  return a;
}

struct Case {
  std::size_t n;
  std::uint64_t shots;
  std::uint64_t chunk;
};

class OutcomeSamplerMatchesReference : public ::testing::TestWithParam<Case> {};

TEST_P(OutcomeSamplerMatchesReference, counts_and_generator_position) {
  const Case c = GetParam();
  std::mt19937_64 gen(c.n * 7919 + c.shots);
  for (int trial = 0; trial < 3; ++trial) {
    const auto amplitudes = random_amplitudes(c.n, gen);
    auto rng = random::StdRng::seed_from_u64(c.n + 100 * static_cast<std::uint64_t>(trial));
    auto reference_rng = rng;
    // Start mid-buffer so the bulk draws cross buffer boundaries unevenly.
    rng.next_u32();
    reference_rng.next_u32();
    const auto got = sample_outcomes(amplitudes, rng, c.shots, c.chunk);
    ASSERT_TRUE(got.ok());
    EXPECT_EQ(got.value(), reference_counts(amplitudes, reference_rng, c.shots));
    EXPECT_EQ(rng.next_u64(), reference_rng.next_u64());
    for (const auto& [index, count] : got.value()) {
      EXPECT_GT(count, 0u);
      const Complex64 a = amplitudes[index];
      EXPECT_NE(a.re * a.re + a.im * a.im, 0.0) << "zero-weight outcome " << index << " drawn";
    }
  }
}

INSTANTIATE_TEST_SUITE_P(Sizes, OutcomeSamplerMatchesReference,
                         ::testing::Values(Case{1, 50, 1 << 22}, Case{2, 200, 1 << 22},
                                           Case{3, 100, 7}, Case{1000, 3000, 1 << 22},
                                           Case{1024, 5000, 999}, Case{1025, 40, 1 << 22},
                                           Case{4096, 20000, 4096}, Case{1 << 14, 7, 1 << 22},
                                           Case{1 << 14, 30000, 1 << 22}, Case{8, 0, 1 << 22}));

TEST(OutcomeSampler, value_on_boundary_goes_to_upper_item) {
  // Weights 0.25, 0.5, 0.25 have running sums 0.25, 0.75: draws landing exactly
  // on them belong to the item above.
  const std::vector<Complex64> amplitudes = {{0.5, 0.0}, {std::sqrt(0.5), 0.0}, {0.0, 0.5}};
  ASSERT_EQ(amplitudes[1].re * amplitudes[1].re, 0.5000000000000001);  // sqrt(.5)^2 rounds up
  auto rng = random::StdRng::seed_from_u64(9);
  auto reference_rng = rng;
  const auto got = sample_outcomes(amplitudes, rng, 10000);
  ASSERT_TRUE(got.ok());
  EXPECT_EQ(got.value(), reference_counts(amplitudes, reference_rng, 10000));
}

TEST(OutcomeSampler, subnormal_total_draws_first_nonzero) {
  // Each nonzero weight is the smallest subnormal; the uniform scale shrinks.
  const std::vector<Complex64> amplitudes = {{0.0, 0.0}, {2.5e-162, 0.0}, {2.5e-162, 0.0}};
  ASSERT_EQ(amplitudes[1].re * amplitudes[1].re, std::numeric_limits<double>::denorm_min());
  auto rng = random::StdRng::seed_from_u64(1);
  const auto got = sample_outcomes(amplitudes, rng, 100);
  ASSERT_TRUE(got.ok());
  auto reference_rng = random::StdRng::seed_from_u64(1);
  EXPECT_EQ(got.value(), reference_counts(amplitudes, reference_rng, 100));
}

struct FaultCase {
  std::vector<Complex64> amplitudes;
  const char* message;  // nullptr: the panic for an infinite total
};

class OutcomeSamplerFaults : public ::testing::TestWithParam<FaultCase> {};

TEST_P(OutcomeSamplerFaults, first_fault_in_reading_order) {
  const auto& c = GetParam();
  auto rng = random::StdRng::seed_from_u64(5);
  const auto untouched = rng;
  const auto got = sample_outcomes(c.amplitudes, rng, 10);
  ASSERT_FALSE(got.ok());
  if (c.message == nullptr) {
    EXPECT_EQ(got.error(),
              (Error{ErrorKind::kPanic, "Uniform::new called with `high` non-finite."}));
  } else {
    EXPECT_EQ(got.error().kind, ErrorKind::kValueError);
    EXPECT_EQ(got.error().message, c.message);
  }
  EXPECT_TRUE(rng == untouched) << "no draw may happen before the weights are accepted";
}

const double kNaN = std::numeric_limits<double>::quiet_NaN();
const double kInf = std::numeric_limits<double>::infinity();

INSTANTIATE_TEST_SUITE_P(
    Cases, OutcomeSamplerFaults,
    ::testing::Values(FaultCase{{{0, 0}, {0, 0}, {0, 0}, {0, 0}},
                                "All weights are zero in distribution"},
                      FaultCase{{{0, 0}, {kNaN, 0}}, "A weight is invalid in distribution"},
                      FaultCase{{{kInf, 0}, {0, kNaN}}, "A weight is invalid in distribution"},
                      FaultCase{{{1, 0}, {kInf, 0}}, nullptr},
                      FaultCase{{{1e200, 0}, {1e200, 0}}, nullptr}));

}  // namespace
}  // namespace velquin::engine
