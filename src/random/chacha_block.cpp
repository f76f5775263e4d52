#include "random/chacha_block.h"

#include <bit>
#include <cstring>

namespace velquin::random {
namespace {

static_assert(std::endian::native == std::endian::little,
              "output words are stored by copying their native representation");

// clang-format off
inline void quarter_round(ChaChaBlock& x, int a, int b, int c, int d) noexcept {
  x[a] += x[b]; x[d] ^= x[a]; x[d] = std::rotl(x[d], 16);
  x[c] += x[d]; x[b] ^= x[c]; x[b] = std::rotl(x[b], 12);
  x[a] += x[b]; x[d] ^= x[a]; x[d] = std::rotl(x[d], 8);
  x[c] += x[d]; x[b] ^= x[c]; x[b] = std::rotl(x[b], 7);
}
// clang-format on

}  // namespace

ChaChaBlock chacha_input_block(const std::uint32_t* rows, std::uint64_t counter) noexcept {
  ChaChaBlock x{};
  for (std::size_t i = 0; i < 4; ++i) x[i] = kChaChaConstants[i];
  for (std::size_t i = 0; i < kRowWords; ++i) x[4 + i] = rows[i];
  x[12] = static_cast<std::uint32_t>(counter);
  x[13] = static_cast<std::uint32_t>(counter >> 32);
  return x;
}

ChaChaBlock chacha_block(const ChaChaBlock& input, int double_rounds) noexcept {
  ChaChaBlock x = input;
  for (int i = 0; i < double_rounds; ++i) {
    quarter_round(x, 0, 4, 8, 12);
    quarter_round(x, 1, 5, 9, 13);
    quarter_round(x, 2, 6, 10, 14);
    quarter_round(x, 3, 7, 11, 15);
    quarter_round(x, 0, 5, 10, 15);
    quarter_round(x, 1, 6, 11, 12);
    quarter_round(x, 2, 7, 8, 13);
    quarter_round(x, 3, 4, 9, 14);
  }
  for (std::size_t i = 0; i < kBlockWords; ++i) x[i] += input[i];
  return x;
}

void chacha_four_blocks_scalar(const std::uint32_t* rows, int double_rounds,
                               std::uint8_t* out) noexcept {
  const std::uint64_t counter =
      static_cast<std::uint64_t>(rows[8]) | (static_cast<std::uint64_t>(rows[9]) << 32);
  for (std::size_t j = 0; j < kBlocksPerBuffer; ++j) {
    const ChaChaBlock block = chacha_block(chacha_input_block(rows, counter + j), double_rounds);
    std::memcpy(out + j * kBlockWords * 4, block.data(), kBlockWords * 4);
  }
}

}  // namespace velquin::random
