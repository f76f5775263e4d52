#include "random/std_rng.h"

#include <algorithm>
#include <bit>
#include <cstring>

#include "random/chacha_block.h"
#include "random/chacha_dispatch.h"
#include "random/os_entropy.h"
#include "random/pcg32_seed.h"

namespace velquin::random {

static_assert(std::endian::native == std::endian::little,
              "byte output copies the words' native representation");

void ChaCha12Core::generate(std::array<std::uint32_t, 64>& results) noexcept {
  generate_bytes(
      std::span<std::uint8_t, 256>(reinterpret_cast<std::uint8_t*>(results.data()), 256));
}

void ChaCha12Core::generate_bytes(std::span<std::uint8_t, 256> out) noexcept {
  chacha_four_blocks(state.data(), kChaCha12DoubleRounds, out.data());
  set_counter(counter() + kBlocksPerBuffer);
}

std::uint64_t ChaCha12Core::counter() const noexcept {
  return static_cast<std::uint64_t>(state[8]) | (static_cast<std::uint64_t>(state[9]) << 32);
}

void ChaCha12Core::set_counter(std::uint64_t counter) noexcept {
  state[8] = static_cast<std::uint32_t>(counter);
  state[9] = static_cast<std::uint32_t>(counter >> 32);
}

StdRng StdRng::from_seed(const std::array<std::uint8_t, 32>& seed) noexcept {
  StdRng rng;
  for (std::size_t i = 0; i < 8; ++i) {
    rng.core_.state[i] = static_cast<std::uint32_t>(seed[4 * i]) |
                         (static_cast<std::uint32_t>(seed[4 * i + 1]) << 8) |
                         (static_cast<std::uint32_t>(seed[4 * i + 2]) << 16) |
                         (static_cast<std::uint32_t>(seed[4 * i + 3]) << 24);
  }
  return rng;
}

StdRng StdRng::seed_from_u64(std::uint64_t x) noexcept { return from_seed(pcg32_seed_bytes(x)); }

StdRng StdRng::seed_from_u64_on_stream(std::uint64_t x, std::uint64_t stream) noexcept {
  StdRng rng = seed_from_u64(x);
  rng.core_.state[10] = static_cast<std::uint32_t>(stream);
  rng.core_.state[11] = static_cast<std::uint32_t>(stream >> 32);
  return rng;
}

Result<StdRng> StdRng::from_entropy() { return seed_from_entropy_source(fill_from_os); }

void StdRng::refill() noexcept {
  core_.generate(results_);
  index_ = 0;
}

std::uint32_t StdRng::next_u32() noexcept {
  if (index_ >= kBufferWords) refill();
  return results_[index_++];
}

std::uint64_t StdRng::next_u64() noexcept {
  std::uint32_t lo;
  std::uint32_t hi;
  if (index_ < kBufferWords - 1) {
    lo = results_[index_];
    hi = results_[index_ + 1];
    index_ += 2;
  } else if (index_ >= kBufferWords) {
    refill();
    lo = results_[0];
    hi = results_[1];
    index_ = 2;
  } else {
    lo = results_[kBufferWords - 1];
    refill();
    hi = results_[0];
    index_ = 1;
  }
  return (static_cast<std::uint64_t>(hi) << 32) | lo;
}

void StdRng::fill_bytes(std::span<std::uint8_t> dest) noexcept {
  fill_stream_bytes(dest.data(), dest.size());
}

// next_u64 always takes the next two stream words, low first, so on a
// little-endian machine n of them are exactly the next 8n stream bytes.
void StdRng::fill_u64(std::span<std::uint64_t> dest) noexcept {
  fill_stream_bytes(reinterpret_cast<std::uint8_t*>(dest.data()), dest.size_bytes());
}

void StdRng::fill_stream_bytes(std::uint8_t* dest, std::size_t n) noexcept {
  std::size_t filled = 0;
  bool buffer_stale = false;
  while (filled < n) {
    if (index_ >= kBufferWords) {
      // Whole buffers go straight to the destination; the copy into results_
      // is made once at the end so the generator's state matches word-by-word
      // reading.
      if (n - filled >= kBufferBytes) {
        core_.generate_bytes(std::span<std::uint8_t, 256>(dest + filled, kBufferBytes));
        filled += kBufferBytes;
        buffer_stale = true;
        continue;
      }
      refill();
      buffer_stale = false;
    }
    const std::size_t take = std::min((kBufferWords - index_) * 4, n - filled);
    std::memcpy(dest + filled, results_.data() + index_, take);
    index_ += (take + 3) / 4;
    filled += take;
  }
  if (buffer_stale) std::memcpy(results_.data(), dest + n - kBufferBytes, kBufferBytes);
}

}  // namespace velquin::random
