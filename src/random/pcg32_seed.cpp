#include "random/pcg32_seed.h"

#include <bit>

namespace velquin::random {

std::array<std::uint8_t, 32> pcg32_seed_bytes(std::uint64_t x) noexcept {
  constexpr std::uint64_t kMultiplier = 0x5851F42D4C957F2Dull;
  constexpr std::uint64_t kIncrement = 0xA17654E46FBE17F3ull;
  std::array<std::uint8_t, 32> seed{};
  std::uint64_t state = x;
  for (std::size_t k = 0; k < 8; ++k) {
    state = state * kMultiplier + kIncrement;
    const auto xorshifted = static_cast<std::uint32_t>(((state >> 18) ^ state) >> 27);
    const auto rotation = static_cast<int>(state >> 59);
    const std::uint32_t word = std::rotr(xorshifted, rotation);
    for (std::size_t b = 0; b < 4; ++b)
      seed[4 * k + b] = static_cast<std::uint8_t>(word >> (8 * b));
  }
  return seed;
}

}  // namespace velquin::random
