// The generator's output rules, run on every ChaCha variant.
#include <gtest/gtest.h>

#include <array>
#include <cstdint>
#include <string>
#include <tuple>
#include <vector>

#include "chacha_variants.h"
#include "random/pcg32_seed.h"
#include "random/std_rng.h"

namespace velquin::random {
namespace {

using testing_support::available_variants;
using testing_support::OnEveryVariant;
using testing_support::variant_name;

// The first `count` 32-bit words of the stream of seed_from_u64(seed).
std::vector<std::uint32_t> stream_words(std::uint64_t seed, std::size_t count) {
  StdRng rng = StdRng::seed_from_u64(seed);
  std::vector<std::uint32_t> words(count);
  for (auto& word : words) word = rng.next_u32();
  return words;
}

StdRng advanced_by_words(std::uint64_t seed, std::size_t words) {
  StdRng rng = StdRng::seed_from_u64(seed);
  for (std::size_t i = 0; i < words; ++i) rng.next_u32();
  return rng;
}

std::uint64_t join(std::uint32_t lo, std::uint32_t hi) {
  return (static_cast<std::uint64_t>(hi) << 32) | lo;
}

TEST(Seeding, pcg32_expansion_of_worked_seeds) {
  // clang-format off
  const std::array<std::uint8_t, 32> seed0 = {
      0xec, 0xf2, 0x73, 0xf9, 0x81, 0xb5, 0xcd, 0x45, 0x87, 0xf0, 0x46, 0x73, 0x06, 0xad, 0x6c, 0xad,
      0xd0, 0xd0, 0xa3, 0xe3, 0x33, 0x17, 0xe7, 0x67, 0xf2, 0x9b, 0xea, 0x72, 0xd7, 0x8a, 0x7d, 0xfe};
  const std::array<std::uint8_t, 32> seed42 = {
      0xa4, 0x8f, 0xa1, 0x7b, 0x58, 0x32, 0x3d, 0x0a, 0xea, 0xb8, 0xa1, 0xcc, 0x69, 0x01, 0x14, 0xb8,
      0x2b, 0x8c, 0xc8, 0x75, 0x18, 0xb4, 0xf7, 0x54, 0x8d, 0x44, 0x6e, 0xa1, 0xe4, 0xdf, 0x20, 0xf2};
  // clang-format on
  EXPECT_EQ(pcg32_seed_bytes(0), seed0);
  EXPECT_EQ(pcg32_seed_bytes(42), seed42);
}

TEST(Seeding, key_words_are_little_endian_seed_bytes_and_stream_starts_fresh) {
  const StdRng rng = StdRng::seed_from_u64(0);
  EXPECT_EQ(rng.core().state[0], 0xF973F2ECu);
  EXPECT_EQ(rng.core().counter(), 0u);
  EXPECT_EQ(rng.core().state[10], 0u);
  EXPECT_EQ(rng.core().state[11], 0u);
  EXPECT_EQ(rng.index(), 64u);
  EXPECT_EQ(rng, StdRng::from_seed(pcg32_seed_bytes(0)));
}

class Stream : public OnEveryVariant {};

TEST_P(Stream, first_u64_check_values) {
  EXPECT_EQ(StdRng::seed_from_u64(0).next_u64(), 0xbb2a3fb2cd2c6f7full);
  EXPECT_EQ(StdRng::seed_from_u64(42).next_u64(), 0x86cc7763222724a2ull);
}

TEST_P(Stream, first_u32_is_low_half_of_first_u64) {
  StdRng rng = StdRng::seed_from_u64(0);
  EXPECT_EQ(rng.next_u32(), 0xcd2c6f7fu);
  EXPECT_EQ(rng.next_u32(), 0xbb2a3fb2u);
}

// Reference values from the independent Python model, draws 0, 31, 32, 1000.
TEST_P(Stream, u64_draws_match_model_across_several_buffers) {
  StdRng rng = StdRng::seed_from_u64(12345);
  std::vector<std::uint64_t> draws(1001);
  for (auto& draw : draws) draw = rng.next_u64();
  EXPECT_EQ(draws[0], 0x4e519426885dd156ull);
  EXPECT_EQ(draws[31], 0xea6afd9fe28d11cbull);
  EXPECT_EQ(draws[32], 0x2c9e7aff49624fa8ull);
  EXPECT_EQ(draws[1000], 0x20d5243e6b3c64c1ull);
}

TEST_P(Stream, same_seed_same_stream) {
  StdRng a = StdRng::seed_from_u64(99);
  StdRng b = StdRng::seed_from_u64(99);
  for (int i = 0; i < 300; ++i) ASSERT_EQ(a.next_u64(), b.next_u64());
  EXPECT_EQ(a, b);
}

TEST_P(Stream, two_u32_are_the_halves_of_one_u64) {
  StdRng halves = StdRng::seed_from_u64(5);
  StdRng whole = StdRng::seed_from_u64(5);
  for (int i = 0; i < 100; ++i) {
    const std::uint32_t lo = halves.next_u32();
    const std::uint32_t hi = halves.next_u32();
    ASSERT_EQ(whole.next_u64(), join(lo, hi)) << i;
  }
}

TEST_P(Stream, u64_at_index_62_uses_last_two_words_without_generating) {
  const auto words = stream_words(3, 70);
  StdRng rng = advanced_by_words(3, 62);
  EXPECT_EQ(rng.next_u64(), join(words[62], words[63]));
  EXPECT_EQ(rng.index(), 64u);
  EXPECT_EQ(rng.core().counter(), 4u);
  EXPECT_EQ(rng.next_u32(), words[64]);
  EXPECT_EQ(rng.core().counter(), 8u);
}

TEST_P(Stream, u64_at_index_63_straddles_the_refill) {
  const auto words = stream_words(3, 70);
  StdRng rng = advanced_by_words(3, 63);
  EXPECT_EQ(rng.next_u64(), join(words[63], words[64]));
  EXPECT_EQ(rng.index(), 1u);
  EXPECT_EQ(rng.core().counter(), 8u);
  EXPECT_EQ(rng.next_u32(), words[65]);
}

TEST_P(Stream, u64_at_index_64_generates_then_takes_words_0_and_1) {
  const auto words = stream_words(3, 70);
  StdRng rng = advanced_by_words(3, 64);
  EXPECT_EQ(rng.index(), 64u);
  EXPECT_EQ(rng.next_u64(), join(words[64], words[65]));
  EXPECT_EQ(rng.index(), 2u);
}

TEST_P(Stream, counter_is_4_after_32_u64_and_33rd_generates_blocks_4_to_7) {
  StdRng rng = StdRng::seed_from_u64(8);
  for (int i = 0; i < 32; ++i) rng.next_u64();
  EXPECT_EQ(rng.core().counter(), 4u);
  EXPECT_EQ(rng.index(), 64u);
  rng.next_u64();
  EXPECT_EQ(rng.core().counter(), 8u);
  EXPECT_EQ(rng.index(), 2u);
}

struct FillCase {
  std::size_t start_words;
  std::size_t bytes;
  std::size_t words_used;
};

std::string fill_case_name(const ::testing::TestParamInfo<std::tuple<Isa, FillCase>>& param_info) {
  const Isa variant = std::get<0>(param_info.param);
  const FillCase fill = std::get<1>(param_info.param);
  return std::string(isa_name(variant)) + "_from_word_" + std::to_string(fill.start_words) +
         "_bytes_" + std::to_string(fill.bytes);
}

class FillBytes : public ::testing::TestWithParam<std::tuple<Isa, FillCase>> {};

// A request ending inside a word consumes all of it; 0 bytes consume nothing.
TEST_P(FillBytes, consumes_whole_words_in_stream_order) {
  const auto [variant, fill] = GetParam();
  const IsaOverride forced(variant);
  const auto words = stream_words(11, 400);
  StdRng rng = advanced_by_words(11, fill.start_words);
  const std::uint64_t counter_before = rng.core().counter();
  std::vector<std::uint8_t> dest(fill.bytes, 0xAA);
  rng.fill_bytes(dest);
  for (std::size_t i = 0; i < fill.bytes; ++i) {
    const std::uint32_t word = words[fill.start_words + i / 4];
    ASSERT_EQ(dest[i], static_cast<std::uint8_t>(word >> (8 * (i % 4)))) << "byte " << i;
  }
  if (fill.bytes == 0) {
    EXPECT_EQ(rng.core().counter(), counter_before);
  }
  EXPECT_EQ(rng.next_u32(), words[fill.start_words + fill.words_used]);
}

INSTANTIATE_TEST_SUITE_P(
    Cases, FillBytes,
    ::testing::Combine(::testing::ValuesIn(available_variants()),
                       ::testing::Values(FillCase{0, 8, 2}, FillCase{0, 5, 2}, FillCase{0, 0, 0},
                                         FillCase{64, 0, 0}, FillCase{63, 8, 2}, FillCase{63, 3, 1},
                                         FillCase{10, 256, 64}, FillCase{0, 256, 64},
                                         FillCase{64, 1000, 250}, FillCase{1, 1021, 256})),
    fill_case_name);

TEST_P(Stream, fill_bytes_straddle_leaves_index_1) {
  StdRng rng = advanced_by_words(5, 63);
  std::array<std::uint8_t, 8> dest{};
  rng.fill_bytes(dest);
  EXPECT_EQ(rng.index(), 1u);
  EXPECT_EQ(rng.core().counter(), 8u);
}

// Bulk u64 output equals repeated next_u64 from every buffer position, for
// sizes below, at and across whole buffers, and leaves an identical generator.
TEST_P(Stream, fill_u64_equals_repeated_next_u64_from_every_start) {
  for (std::size_t start = 0; start <= 64; ++start) {
    for (const std::size_t count : {0u, 1u, 2u, 31u, 32u, 33u, 64u, 65u, 97u, 200u}) {
      StdRng bulk = advanced_by_words(21, start);
      StdRng single = bulk;
      std::vector<std::uint64_t> dest(count);
      bulk.fill_u64(dest);
      for (std::size_t i = 0; i < count; ++i) {
        ASSERT_EQ(dest[i], single.next_u64())
            << "start " << start << " count " << count << " i " << i;
      }
      ASSERT_EQ(bulk, single) << "start " << start << " count " << count;
    }
  }
}

INSTANTIATE_TEST_SUITE_P(Variants, Stream, ::testing::ValuesIn(available_variants()), variant_name);

}  // namespace
}  // namespace velquin::random
