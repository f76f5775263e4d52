#include "random/weighted_index.h"

#include <gtest/gtest.h>

#include <bit>
#include <cstdint>
#include <limits>
#include <random>
#include <set>
#include <string>
#include <vector>

#include "base/result.h"

namespace velquin::random {
namespace {

constexpr double kInf = std::numeric_limits<double>::infinity();
constexpr double kNaN = std::numeric_limits<double>::quiet_NaN();

WeightedIndex build(const std::vector<double>& weights) {
  auto made = WeightedIndex::create(weights);
  if (!made.ok()) {
    ADD_FAILURE() << made.error().message;
    return WeightedIndex::create(std::vector<double>{1.0}).value();
  }
  return std::move(made).value();
}

std::string error_text(const std::vector<double>& weights) {
  const auto made = WeightedIndex::create(weights);
  if (made.ok()) return "built";
  EXPECT_EQ(made.error().kind, ErrorKind::kValueError);
  return made.error().message;
}

template <class Case>
std::string numbered_case(const ::testing::TestParamInfo<Case>& param_info) {
  return "case" + std::to_string(param_info.index);
}

struct ErrorCase {
  std::vector<double> weights;
  const char* text;
};

class WeightedErrors : public ::testing::TestWithParam<ErrorCase> {};

TEST_P(WeightedErrors, first_fault_in_reading_order_is_reported) {
  EXPECT_EQ(error_text(GetParam().weights), GetParam().text);
}

INSTANTIATE_TEST_SUITE_P(
    Cases, WeightedErrors,
    ::testing::Values(ErrorCase{{}, "No weights provided in distribution"},
                      ErrorCase{{0.0, 0.0, 0.0}, "All weights are zero in distribution"},
                      ErrorCase{{-0.0}, "All weights are zero in distribution"},
                      ErrorCase{{0.0, kNaN}, "A weight is invalid in distribution"},
                      ErrorCase{{kNaN}, "A weight is invalid in distribution"},
                      ErrorCase{{1.0, -0.5}, "A weight is invalid in distribution"},
                      ErrorCase{{0.0, 0.0, -1.0, 0.0}, "A weight is invalid in distribution"},
                      ErrorCase{{kInf, kNaN}, "A weight is invalid in distribution"},
                      ErrorCase{{-0.0, 1.0}, "built"}),
    numbered_case<ErrorCase>);

TEST(WeightedIndex, infinite_total_stops_as_internal_failure) {
  for (const std::vector<double>& weights :
       {std::vector<double>{1.0, kInf}, std::vector<double>{1.7e308, 1.7e308}}) {
    const auto made = WeightedIndex::create(weights);
    ASSERT_FALSE(made.ok()) << "no stop";
    EXPECT_EQ(made.error(),
              (Error{ErrorKind::kPanic, "Uniform::new called with `high` non-finite."}));
  }
}

TEST(WeightedIndex, quarter_half_quarter_worked_draws) {
  const WeightedIndex sampler = build({0.25, 0.5, 0.25});
  EXPECT_EQ(sampler.cumulative_weights(), (std::vector<double>{0.25, 0.75}));
  EXPECT_EQ(sampler.total_weight(), 1.0);
  EXPECT_EQ(sampler.distribution().scale(), 1.0);
  const UniformFloat& dist = sampler.distribution();
  EXPECT_EQ(sampler.index_for(dist.from_bits(0)), 0u);
  EXPECT_EQ(sampler.index_for(dist.from_bits(0x8000000000000000ull)), 1u);
  EXPECT_EQ(sampler.index_for(dist.from_bits(0xC000000000000000ull)), 2u);
  EXPECT_EQ(sampler.index_for(dist.from_bits(~std::uint64_t{0})), 2u);
}

TEST(WeightedIndex, value_on_a_boundary_belongs_to_the_upper_item) {
  const WeightedIndex sampler = build({1.0, 1.0, 1.0, 1.0});
  EXPECT_EQ(sampler.index_for(1.0), 1u);
  EXPECT_EQ(sampler.index_for(std::nextafter(1.0, 0.0)), 0u);
  EXPECT_EQ(sampler.index_for(3.0), 3u);
}

struct OnlyCase {
  std::vector<double> weights;
  std::uint64_t only;
};

class ZeroWeights : public ::testing::TestWithParam<OnlyCase> {};

TEST_P(ZeroWeights, zero_weight_never_drawn) {
  const WeightedIndex sampler = build(GetParam().weights);
  StdRng rng = StdRng::seed_from_u64(1);
  std::set<std::uint64_t> seen;
  for (int i = 0; i < 500; ++i) seen.insert(sampler.sample(rng));
  EXPECT_EQ(seen, std::set<std::uint64_t>{GetParam().only});
  EXPECT_EQ(sampler.index_for(0.0), GetParam().only);
  EXPECT_EQ(sampler.index_for(sampler.distribution().from_bits(~std::uint64_t{0})),
            GetParam().only);
}

INSTANTIATE_TEST_SUITE_P(Positions, ZeroWeights,
                         ::testing::Values(OnlyCase{{0.0, 1.0}, 1}, OnlyCase{{1.0, 0.0}, 0},
                                           OnlyCase{{0.0, 0.0, 2.0, 0.0, 0.0}, 2},
                                           OnlyCase{{0.0, -0.0, 0.5}, 2}, OnlyCase{{3.0}, 0}),
                         numbered_case<OnlyCase>);

TEST(WeightedIndex, single_weight_draws_zero_and_still_consumes_one_u64) {
  const WeightedIndex sampler = build({0.7});
  EXPECT_TRUE(sampler.cumulative_weights().empty());
  StdRng drawn = StdRng::seed_from_u64(3);
  StdRng expected = drawn;
  for (int i = 0; i < 40; ++i) {
    ASSERT_EQ(sampler.sample(drawn), 0u);
    expected.next_u64();
  }
  EXPECT_EQ(drawn, expected);
}

TEST(WeightedIndex, denormal_total_always_draws_value_zero) {
  const double smallest = std::numeric_limits<double>::denorm_min();
  const WeightedIndex sampler = build({smallest, 0.0});
  EXPECT_EQ(sampler.distribution().scale(), 0.0);
  StdRng rng = StdRng::seed_from_u64(2);
  for (int i = 0; i < 50; ++i) ASSERT_EQ(sampler.sample(rng), 0u);
}

// Reference sequence from the independent Python model.
TEST(WeightedIndex, seeded_draws_match_model) {
  const WeightedIndex sampler = build({0.1, 0.0, 0.3, 0.2, 0.0, 0.4});
  EXPECT_EQ(sampler.cumulative_weights(),
            (std::vector<double>{0.1, 0.1, 0.4, 0.6000000000000001, 0.6000000000000001}));
  EXPECT_EQ(sampler.total_weight(), 1.0);
  const std::vector<std::uint64_t> expected = {5, 3, 5, 2, 2, 2, 2, 2, 2, 5, 3, 5, 3, 5,
                                               0, 2, 5, 5, 0, 5, 5, 0, 2, 5, 5, 2, 5, 3,
                                               2, 3, 2, 0, 3, 5, 5, 2, 5, 0, 3, 5};
  StdRng rng = StdRng::seed_from_u64(2024);
  std::vector<std::uint64_t> drawn;
  for (std::size_t i = 0; i < expected.size(); ++i) drawn.push_back(sampler.sample(rng));
  EXPECT_EQ(drawn, expected);
}

// The streaming validator and the sampler must agree on every input: same
// error, or the same total bit for bit and the same running sums.
TEST(WeightTotal, streaming_matches_sampler_on_random_weights) {
  std::mt19937_64 gen(77);
  const double specials[] = {0.0, -0.0, kNaN, -1e-300, kInf, 5e-324, 1e300};
  for (int trial = 0; trial < 3000; ++trial) {
    std::vector<double> weights(gen() % 12);
    for (double& w : weights) {
      const std::uint64_t pick = gen() % 16;
      w = pick < 7
              ? specials[pick]
              : std::ldexp(static_cast<double>(gen() >> 11), -53 + static_cast<int>(gen() % 40));
    }
    WeightTotal total;
    std::vector<double> running;
    for (const double w : weights) {
      const double before = total.total();
      if (!total.add(w)) break;
      if (total.count() > 1) running.push_back(before);
    }
    const Result<double> finished = total.finish();
    const Result<WeightedIndex> made = WeightedIndex::create(weights);
    const bool infinite = !made.ok() && made.error().kind == ErrorKind::kPanic;
    if (!finished.ok()) {
      ASSERT_FALSE(infinite);
      ASSERT_EQ(made.error(), finished.error()) << "trial " << trial;
      continue;
    }
    const double sum = finished.value();
    ASSERT_EQ(infinite, std::isinf(sum)) << "trial " << trial;
    if (infinite) continue;
    const auto& sampler = made.value();
    ASSERT_EQ(std::bit_cast<std::uint64_t>(sampler.total_weight()),
              std::bit_cast<std::uint64_t>(sum));
    ASSERT_EQ(sampler.cumulative_weights(), running);
  }
}

// Running sums are plain left-to-right additions: a tiny weight after a large
// one is lost to rounding, exactly as one addition at a time gives.
TEST(WeightedIndex, running_sums_round_one_addition_at_a_time) {
  const WeightedIndex sampler = build({1.0, 0x1p-54, 0x1p-54, 0x1p-54, 0x1p-54});
  EXPECT_EQ(sampler.cumulative_weights(), (std::vector<double>{1.0, 1.0, 1.0, 1.0}));
  EXPECT_EQ(sampler.total_weight(), 1.0);
  const WeightedIndex reversed = build({0x1p-54, 0x1p-54, 0x1p-54, 0x1p-54, 1.0});
  EXPECT_EQ(reversed.total_weight(), 1.0 + 0x1p-52);
}

}  // namespace
}  // namespace velquin::random
