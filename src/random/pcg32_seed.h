// Expansion of a 64-bit seed into the generator's 32-byte key with PCG32.
#pragma once

#include <array>
#include <cstdint>

namespace velquin::random {

/// The 32 key bytes that `x` expands to: eight PCG32 (XSH-RR) outputs, each
/// after advancing the state, written little-endian. Every x is valid.
std::array<std::uint8_t, 32> pcg32_seed_bytes(std::uint64_t x) noexcept;

}  // namespace velquin::random
