// The one place that chooses which ChaCha four-block variant runs. Every
// variant writes the same 256 bytes for the same state; the choice is made
// once from the CPU's features and can be forced (tests, benchmarks).
#pragma once

#include <cstdint>

namespace velquin::random {

enum class ChaChaVariant { kScalar, kAvx2 };

/// True when `variant` is compiled in and the CPU can run it.
bool chacha_variant_available(ChaChaVariant variant) noexcept;

/// The variant `chacha_four_blocks` uses now.
ChaChaVariant active_chacha_variant() noexcept;

/// Makes every later `chacha_four_blocks` call use `variant`, process-wide.
/// Returns false, changing nothing, when the variant is not available.
bool force_chacha_variant(ChaChaVariant variant) noexcept;

/// Restores the automatic choice (the best available variant).
void reset_chacha_variant() noexcept;

/// The four blocks at counters n..n+3 (n from words 8/9 of `rows`), written
/// little-endian to out[0..255] by the active variant.
void chacha_four_blocks(const std::uint32_t* rows, int double_rounds, std::uint8_t* out) noexcept;

/// The AVX2 variant; call only when chacha_variant_available(kAvx2).
void chacha_four_blocks_avx2(const std::uint32_t* rows, int double_rounds,
                             std::uint8_t* out) noexcept;

}  // namespace velquin::random
