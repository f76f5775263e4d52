// The one place that chooses which ChaCha four-block variant runs: AVX2 when
// the variant in force (base/isa.h) has it, scalar otherwise. Every variant
// writes the same 256 bytes for the same state.
#pragma once

#include <cstdint>

namespace velquin::random {

/// The four blocks at counters n..n+3 (n from words 8/9 of `rows`), written
/// little-endian to out[0..255] by the variant in force.
void chacha_four_blocks(const std::uint32_t* rows, int double_rounds, std::uint8_t* out) noexcept;

/// The AVX2 variant; call only when the CPU has AVX2.
void chacha_four_blocks_avx2(const std::uint32_t* rows, int double_rounds,
                             std::uint8_t* out) noexcept;

}  // namespace velquin::random
