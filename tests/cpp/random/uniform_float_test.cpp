#include "random/uniform_float.h"

#include <gtest/gtest.h>

#include <bit>
#include <cmath>
#include <cstdint>
#include <limits>
#include <random>
#include <string>

#include "base/result.h"

namespace velquin::random {
namespace {

constexpr double kInf = std::numeric_limits<double>::infinity();
constexpr double kNaN = std::numeric_limits<double>::quiet_NaN();
constexpr std::uint64_t kAllOnes = ~std::uint64_t{0};

std::string stop_message(double low, double high) {
  const Result<UniformFloat> made = UniformFloat::create(low, high);
  if (made.ok()) return "no stop";
  EXPECT_EQ(made.error().kind, ErrorKind::kPanic);
  return made.error().message;
}

TEST(UniformFloat, bad_bounds_stop_with_fixed_messages_in_check_order) {
  EXPECT_EQ(stop_message(kNaN, 1.0), "Uniform::new called with `low` non-finite.");
  EXPECT_EQ(stop_message(-kInf, kNaN), "Uniform::new called with `low` non-finite.");
  EXPECT_EQ(stop_message(0.0, kInf), "Uniform::new called with `high` non-finite.");
  EXPECT_EQ(stop_message(0.0, kNaN), "Uniform::new called with `high` non-finite.");
  EXPECT_EQ(stop_message(1.0, 1.0), "Uniform::new called with `low >= high`");
  EXPECT_EQ(stop_message(2.0, 1.0), "Uniform::new called with `low >= high`");
  EXPECT_EQ(stop_message(-1.7e308, 1.7e308), "Uniform::new: range overflow");
}

TEST(UniformFloat, unit_range_draws_map_top_52_bits) {
  const UniformFloat unit = UniformFloat::create(0.0, 1.0).value();
  EXPECT_EQ(unit.scale(), 1.0);
  EXPECT_EQ(unit.low(), 0.0);
  EXPECT_EQ(unit.from_bits(0), 0.0);
  EXPECT_EQ(unit.from_bits(0xFFF), 0.0);  // the low 12 bits are dropped
  EXPECT_EQ(unit.from_bits(0x8000000000000000ull), 0.5);
  EXPECT_EQ(unit.from_bits(0xC000000000000000ull), 0.75);
  EXPECT_EQ(unit.from_bits(kAllOnes), 1.0 - std::ldexp(1.0, -52));
}

TEST(UniformFloat, denormal_range_shrinks_scale_to_zero) {
  const double smallest = std::numeric_limits<double>::denorm_min();
  const UniformFloat tiny = UniformFloat::create(0.0, smallest).value();
  EXPECT_EQ(std::bit_cast<std::uint64_t>(tiny.scale()), 0u);
  EXPECT_EQ(tiny.from_bits(kAllOnes), 0.0);
}

// Found by the Python model: the first scale whose top draw reaches high.
TEST(UniformFloat, scale_shrinks_one_step_until_top_draw_is_below_high) {
  const double low = 5.275492379532281;
  const double high = 7.826182636926498;
  const UniformFloat shifted = UniformFloat::create(low, high).value();
  EXPECT_EQ(std::bit_cast<std::uint64_t>(shifted.scale()),
            std::bit_cast<std::uint64_t>(high - low) - 1);
}

TEST(UniformFloat, no_draw_reaches_high_and_zero_based_normal_ranges_keep_full_scale) {
  std::mt19937_64 gen(5);
  std::uniform_real_distribution<double> magnitude(-300.0, 300.0);
  for (int trial = 0; trial < 5000; ++trial) {
    const double high = std::ldexp(1.0 + static_cast<double>(gen() >> 12) * 0x1p-52,
                                   static_cast<int>(magnitude(gen)));
    const double low = trial % 2 == 0 ? 0.0 : high * -0.37;
    const UniformFloat dist = UniformFloat::create(low, high).value();
    ASSERT_LT(dist.from_bits(kAllOnes), high) << low << " " << high;
    ASSERT_GE(dist.from_bits(0), low);
    if (low == 0.0) {
      ASSERT_EQ(dist.scale(), high);
    }
  }
}

TEST(UniformFloat, sample_consumes_one_u64) {
  StdRng drawn = StdRng::seed_from_u64(4);
  StdRng raw = drawn;
  const UniformFloat unit = UniformFloat::create(0.0, 1.0).value();
  for (int i = 0; i < 100; ++i) ASSERT_EQ(unit.sample(drawn), unit.from_bits(raw.next_u64()));
  EXPECT_EQ(drawn, raw);
}

}  // namespace
}  // namespace velquin::random
