// StdRng: the per-register generator, ChaCha with 12 rounds run as a random
// number generator, with a 64-word (four-block) output buffer.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <span>

#include "base/result.h"

namespace velquin::random {

/// The variable rows of the ChaCha input block: key words (rows b and c, block
/// words 4 to 11) and row d (word 12/13: 64-bit block counter, word 14/15:
/// stream number, always 0). The constant row is not stored.
struct ChaCha12Core {
  std::array<std::uint32_t, 12> state{};

  /// Fills `results` with the four blocks at counters n..n+3 (n = the stored
  /// counter) and advances the counter by 4.
  void generate(std::array<std::uint32_t, 64>& results) noexcept;
  /// The same four blocks as `generate`, as 256 little-endian bytes at `out`.
  void generate_bytes(std::span<std::uint8_t, 256> out) noexcept;

  std::uint64_t counter() const noexcept;
  /// Moves the stream to block `counter` (words 12 and 13); for tests.
  void set_counter(std::uint64_t counter) noexcept;

  friend bool operator==(const ChaCha12Core&, const ChaCha12Core&) = default;
};

class StdRng {
 public:
  /// Key words from the 32 seed bytes, little-endian; counter and stream 0;
  /// the buffer starts used up, so nothing is generated until the first draw.
  static StdRng from_seed(const std::array<std::uint8_t, 32>& seed) noexcept;
  /// Expands `x` into a 32-byte seed with PCG32 (XSH-RR), then from_seed.
  static StdRng seed_from_u64(std::uint64_t x) noexcept;
  /// seed_from_u64(x) on stream `stream` (block words 14 and 15): each stream
  /// of one key is an independent sequence (stream 0 is seed_from_u64's).
  static StdRng seed_from_u64_on_stream(std::uint64_t x, std::uint64_t stream) noexcept;
  /// Seeds from the operating system's entropy source; a panic
  /// "from_entropy failed: <description>" when no random bytes can be had.
  static Result<StdRng> from_entropy();

  std::uint32_t next_u32() noexcept;
  /// Low word first; straddles a refill when exactly one word is left.
  std::uint64_t next_u64() noexcept;
  /// Consumes whole words: a request ending inside a word loses its remainder.
  void fill_bytes(std::span<std::uint8_t> dest) noexcept;
  /// The same words as dest.size() calls of next_u64, produced in bulk.
  void fill_u64(std::span<std::uint64_t> dest) noexcept;

  /// Position of the next unread word (64: the buffer is used up).
  std::uint64_t index() const noexcept { return index_; }
  const ChaCha12Core& core() const noexcept { return core_; }
  /// Mutable access to the cipher state; for tests that move the counter.
  ChaCha12Core& core_for_testing() noexcept { return core_; }

  /// Equal generators hold the same buffer, position and cipher state, and so
  /// produce the same stream from here on.
  friend bool operator==(const StdRng&, const StdRng&) = default;

 private:
  void refill() noexcept;
  // The next ceil(n / 4) stream words, little-endian, truncated to n bytes.
  void fill_stream_bytes(std::uint8_t* dest, std::size_t n) noexcept;

  std::array<std::uint32_t, 64> results_{};
  std::uint64_t index_ = 64;
  ChaCha12Core core_;
};

}  // namespace velquin::random
