// The ChaCha block function in the layout of the reference C code: a 16-word
// input block (constants, key, 64-bit counter in words 12/13, stream number in
// words 14/15), a quarter-round helper and the number of double rounds as a
// parameter, so one body serves ChaCha12 and the ChaCha20 check vectors.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>

namespace velquin::random {

inline constexpr std::uint32_t kChaChaConstants[4] = {0x61707865u, 0x3320646eu, 0x79622d32u,
                                                      0x6b206574u};
inline constexpr int kChaCha12DoubleRounds = 6;
inline constexpr int kChaCha20DoubleRounds = 10;

inline constexpr std::size_t kBlockWords = 16;
inline constexpr std::size_t kBlocksPerBuffer = 4;
inline constexpr std::size_t kBufferWords = kBlockWords * kBlocksPerBuffer;
inline constexpr std::size_t kBufferBytes = kBufferWords * 4;

/// Number of words of the key-and-row-d state: key words 0..7, then block
/// counter low, counter high, stream low, stream high.
inline constexpr std::size_t kRowWords = 12;

using ChaChaBlock = std::array<std::uint32_t, kBlockWords>;

/// The 16-word input block for the state `rows` (kRowWords words) with its
/// block counter replaced by `counter`.
ChaChaBlock chacha_input_block(const std::uint32_t* rows, std::uint64_t counter) noexcept;

/// One ChaCha block: `double_rounds` column+diagonal rounds over a copy of
/// `input`, then the input added back word by word (mod 2^32).
ChaChaBlock chacha_block(const ChaChaBlock& input, int double_rounds) noexcept;

/// The four blocks at counters n..n+3 (n = the counter in `rows`, 64-bit
/// with carry) written little-endian to out[0..255]; `rows` is not changed.
void chacha_four_blocks_scalar(const std::uint32_t* rows, int double_rounds,
                               std::uint8_t* out) noexcept;

}  // namespace velquin::random
