#include "random/chacha_block.h"

#include <gtest/gtest.h>

#include <array>
#include <cstdint>
#include <cstring>
#include <random>

#include "chacha_variants.h"
#include "random/chacha_dispatch.h"
#include "random/std_rng.h"

namespace velquin::random {
namespace {

using testing_support::available_variants;
using testing_support::OnEveryVariant;
using testing_support::variant_name;

using Bytes256 = std::array<std::uint8_t, 256>;

std::array<std::uint32_t, kRowWords> rows_with_counter(const std::array<std::uint32_t, 8>& key,
                                                       std::uint64_t counter) {
  std::array<std::uint32_t, kRowWords> rows{};
  for (std::size_t i = 0; i < 8; ++i) rows[i] = key[i];
  rows[8] = static_cast<std::uint32_t>(counter);
  rows[9] = static_cast<std::uint32_t>(counter >> 32);
  return rows;
}

// ChaCha20, all-zero key, nonce and counter: the published first keystream block.
constexpr std::uint8_t kChaCha20ZeroBlock[64] = {
    0x76, 0xb8, 0xe0, 0xad, 0xa0, 0xf1, 0x3d, 0x90, 0x40, 0x5d, 0x6a, 0xe5, 0x53, 0x86, 0xbd, 0x28,
    0xbd, 0xd2, 0x19, 0xb8, 0xa0, 0x8d, 0xed, 0x1a, 0xa8, 0x36, 0xef, 0xcc, 0x8b, 0x77, 0x0d, 0xc7,
    0xda, 0x41, 0x59, 0x7c, 0x51, 0x57, 0x48, 0x8d, 0x77, 0x24, 0xe0, 0x3f, 0xb8, 0xd8, 0x4a, 0x37,
    0x6a, 0x43, 0xb8, 0xf4, 0x15, 0x18, 0xa1, 0x1c, 0xc3, 0x87, 0xb6, 0x69, 0xb2, 0xee, 0x65, 0x86};

TEST(ChaChaBlock, chacha20_zero_key_matches_published_keystream) {
  const std::array<std::uint32_t, kRowWords> rows{};
  const ChaChaBlock block = chacha_block(chacha_input_block(rows.data(), 0), kChaCha20DoubleRounds);
  EXPECT_EQ(std::memcmp(block.data(), kChaCha20ZeroBlock, 64), 0);
}

class FourBlocks : public OnEveryVariant {};

TEST_P(FourBlocks, chacha20_zero_key_first_block_matches_published_keystream) {
  const std::array<std::uint32_t, kRowWords> rows{};
  Bytes256 out{};
  chacha_four_blocks(rows.data(), kChaCha20DoubleRounds, out.data());
  EXPECT_EQ(std::memcmp(out.data(), kChaCha20ZeroBlock, 64), 0);
}

// Reference words from the independent Python model: ChaCha12 with the key of
// seed_from_u64(7) at counters 2^32 - 1 and 2^32, first four words each.
TEST_P(FourBlocks, chacha12_blocks_across_counter_carry_match_model) {
  StdRng rng = StdRng::seed_from_u64(7);
  rng.core_for_testing().set_counter((std::uint64_t{1} << 32) - 3);
  std::array<std::uint32_t, 64> results{};
  rng.core_for_testing().generate(results);
  const std::uint32_t expected_before_carry[4] = {0xd1ade3f3, 0x9fb02fae, 0xec8a13b3, 0x40e579c7};
  const std::uint32_t expected_after_carry[4] = {0x2f3db588, 0x81713265, 0xdd27161a, 0x67d84a2e};
  for (std::size_t i = 0; i < 4; ++i) {
    EXPECT_EQ(results[32 + i], expected_before_carry[i]) << i;
    EXPECT_EQ(results[48 + i], expected_after_carry[i]) << i;
  }
  EXPECT_EQ(rng.core().counter(), (std::uint64_t{1} << 32) + 1);
  EXPECT_EQ(rng.core().state[8], 1u);
  EXPECT_EQ(rng.core().state[9], 1u);
}

TEST_P(FourBlocks, each_block_is_the_single_block_function_at_its_counter) {
  std::mt19937_64 gen(17);
  for (int trial = 0; trial < 50; ++trial) {
    std::array<std::uint32_t, 8> key{};
    for (auto& word : key) word = static_cast<std::uint32_t>(gen());
    const std::uint64_t counter = trial < 10 ? (std::uint64_t{1} << 32) - 4 + trial : gen();
    const auto rows = rows_with_counter(key, counter);
    Bytes256 out{};
    chacha_four_blocks(rows.data(), kChaCha12DoubleRounds, out.data());
    for (std::size_t j = 0; j < 4; ++j) {
      const ChaChaBlock block =
          chacha_block(chacha_input_block(rows.data(), counter + j), kChaCha12DoubleRounds);
      EXPECT_EQ(std::memcmp(out.data() + 64 * j, block.data(), 64), 0)
          << "trial " << trial << " block " << j;
    }
  }
}

INSTANTIATE_TEST_SUITE_P(Variants, FourBlocks, ::testing::ValuesIn(available_variants()),
                         variant_name);

// Every variant must write the scalar bytes for any key, counter (including
// carries out of word 12 and the wrap of the whole 64-bit counter) and round count.
TEST(ChaChaVariants, vector_output_identical_to_scalar) {
  if (!isa_supported(Isa::kAvx2)) GTEST_SKIP() << "CPU lacks AVX2";
  std::mt19937_64 gen(2024);
  const std::uint64_t edge_counters[] = {0,
                                         1,
                                         0xFFFFFFFCull,
                                         0xFFFFFFFDull,
                                         0xFFFFFFFEull,
                                         0xFFFFFFFFull,
                                         0x1FFFFFFFEull,
                                         0xFFFFFFFFFFFFFFFDull,
                                         0xFFFFFFFFFFFFFFFEull,
                                         0xFFFFFFFFFFFFFFFFull};
  int checked = 0;
  for (int trial = 0; trial < 2000; ++trial) {
    std::array<std::uint32_t, kRowWords> rows{};
    for (auto& word : rows) word = static_cast<std::uint32_t>(gen());
    if (trial % 2 == 0) rows[10] = rows[11] = 0;  // the stream number the generator uses
    const std::uint64_t counter = trial < 400 ? edge_counters[trial % 10] : gen();
    rows[8] = static_cast<std::uint32_t>(counter);
    rows[9] = static_cast<std::uint32_t>(counter >> 32);
    for (const int double_rounds : {kChaCha12DoubleRounds, kChaCha20DoubleRounds, 1}) {
      Bytes256 scalar{};
      Bytes256 vector{};
      chacha_four_blocks_scalar(rows.data(), double_rounds, scalar.data());
      chacha_four_blocks_avx2(rows.data(), double_rounds, vector.data());
      ASSERT_EQ(scalar, vector) << "trial " << trial << " counter " << counter;
      ++checked;
    }
  }
  EXPECT_EQ(checked, 6000);
}

TEST(ChaChaVariants, scalar_can_be_forced_and_reset) {
  {
    const IsaOverride forced(Isa::kScalar);
    EXPECT_EQ(chosen_isa(), Isa::kScalar);
  }
  EXPECT_EQ(chosen_isa(), detected_isa());
}

}  // namespace
}  // namespace velquin::random
