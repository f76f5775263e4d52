// The generator's read paths (32-bit words, 64-bit words across a refill,
// byte fills ending inside a word, bulk 64-bit fills), driven in any order
// from any position and block counter, checked word for word against a plain
// ChaCha12 written from the published algorithm.
#pragma once

#include <array>
#include <cstdint>
#include <cstring>
#include <vector>

#include "fuzz_input.h"
#include "random/std_rng.h"

namespace velquin::fuzz {

class ModelRng {
 public:
  explicit ModelRng(const std::array<std::uint8_t, 32>& seed) {
    for (int i = 0; i < 8; ++i) {
      key_[i] = static_cast<std::uint32_t>(seed[4 * i]) | (std::uint32_t{seed[4 * i + 1]} << 8) |
                (std::uint32_t{seed[4 * i + 2]} << 16) | (std::uint32_t{seed[4 * i + 3]} << 24);
    }
  }

  /// PCG32 (XSH-RR) expansion of a 64-bit seed into the 32 key bytes.
  static std::array<std::uint8_t, 32> expand(std::uint64_t x) {
    std::array<std::uint8_t, 32> seed{};
    for (int k = 0; k < 8; ++k) {
      x = x * 0x5851F42D4C957F2Dull + 0xA17654E46FBE17F3ull;
      const auto xorshifted = static_cast<std::uint32_t>(((x >> 18) ^ x) >> 27);
      const auto rotation = static_cast<unsigned>(x >> 59);
      const std::uint32_t word = (xorshifted >> rotation) | (xorshifted << ((32 - rotation) & 31));
      for (int b = 0; b < 4; ++b) seed[4 * k + b] = static_cast<std::uint8_t>(word >> (8 * b));
    }
    return seed;
  }

  std::uint32_t next_u32() {
    if (index_ >= 64) {
      generate();
      index_ = 0;
    }
    return results_[index_++];
  }

  std::uint64_t next_u64() {
    std::uint32_t lo = 0;
    std::uint32_t hi = 0;
    if (index_ < 63) {
      lo = results_[index_];
      hi = results_[index_ + 1];
      index_ += 2;
    } else if (index_ >= 64) {
      generate();
      lo = results_[0];
      hi = results_[1];
      index_ = 2;
    } else {
      lo = results_[63];
      generate();
      hi = results_[0];
      index_ = 1;
    }
    return (std::uint64_t{hi} << 32) | lo;
  }

  void fill_bytes(std::uint8_t* dest, std::size_t n) {
    std::size_t filled = 0;
    while (filled < n) {
      if (index_ >= 64) {
        generate();
        index_ = 0;
      }
      const std::size_t take = std::min<std::size_t>((64 - index_) * 4, n - filled);
      const std::size_t words = (take + 3) / 4;
      for (std::size_t b = 0; b < take; ++b) {
        dest[filled + b] = static_cast<std::uint8_t>(results_[index_ + b / 4] >> (8 * (b % 4)));
      }
      index_ += words;
      filled += take;
    }
  }

  void set_counter(std::uint64_t counter) { counter_ = counter; }
  std::uint64_t index() const { return index_; }

 private:
  static std::uint32_t rotl(std::uint32_t v, int c) { return (v << c) | (v >> (32 - c)); }
  // The quarter rounds are laid out by row.
  // clang-format off
  static void quarter(std::uint32_t* x, int a, int b, int c, int d) {
    x[a] += x[b]; x[d] ^= x[a]; x[d] = rotl(x[d], 16);
    x[c] += x[d]; x[b] ^= x[c]; x[b] = rotl(x[b], 12);
    x[a] += x[b]; x[d] ^= x[a]; x[d] = rotl(x[d], 8);
    x[c] += x[d]; x[b] ^= x[c]; x[b] = rotl(x[b], 7);
  }

  void block(std::uint64_t counter, std::uint32_t* out) const {
    std::uint32_t input[16] = {0x61707865, 0x3320646e, 0x79622d32, 0x6b206574};
    for (int i = 0; i < 8; ++i) input[4 + i] = key_[i];
    input[12] = static_cast<std::uint32_t>(counter);
    input[13] = static_cast<std::uint32_t>(counter >> 32);
    std::uint32_t w[16];
    std::memcpy(w, input, sizeof w);
    for (int round = 0; round < 6; ++round) {
      quarter(w, 0, 4, 8, 12); quarter(w, 1, 5, 9, 13); quarter(w, 2, 6, 10, 14);
      quarter(w, 3, 7, 11, 15);
      quarter(w, 0, 5, 10, 15); quarter(w, 1, 6, 11, 12); quarter(w, 2, 7, 8, 13);
      quarter(w, 3, 4, 9, 14);
    }
    // clang-format on
    for (int i = 0; i < 16; ++i) out[i] = w[i] + input[i];
  }

  void generate() {
    for (int j = 0; j < 4; ++j) block(counter_ + static_cast<std::uint64_t>(j), &results_[16 * j]);
    counter_ += 4;
  }

  std::uint32_t key_[8]{};
  std::uint64_t counter_ = 0;
  std::uint32_t results_[64]{};
  std::uint64_t index_ = 64;
};

/// One fuzz input: a seed, then a script of reads and counter moves.
inline void check_generator_input(const std::uint8_t* data, std::size_t size) {
  FuzzInput in(data, size);
  std::array<std::uint8_t, 32> seed{};
  random::StdRng rng;
  if (in.byte() % 2 == 0) {
    const std::uint64_t x = in.u64();
    seed = ModelRng::expand(x);
    rng = random::StdRng::seed_from_u64(x);
  } else {
    for (auto& b : seed) b = in.byte();
    rng = random::StdRng::from_seed(seed);
  }
  ModelRng model(seed);

  std::vector<std::uint8_t> bytes;
  std::vector<std::uint8_t> model_bytes;
  std::vector<std::uint64_t> words;
  for (int step = 0; step < 400 && !in.exhausted(); ++step) {
    switch (in.byte() % 6) {
      case 0:
        require(rng.next_u32() == model.next_u32(), "next_u32");
        break;
      case 1:
        require(rng.next_u64() == model.next_u64(), "next_u64");
        break;
      case 2: {
        const std::size_t n = in.u16() % 1100;  // up to four buffers and a bit
        bytes.assign(n, 0xA5);
        model_bytes.assign(n, 0x5A);
        rng.fill_bytes(bytes);
        model.fill_bytes(model_bytes.data(), n);
        require(bytes == model_bytes, "fill_bytes");
        break;
      }
      case 3: {
        words.assign(in.u16() % 300, 0);
        rng.fill_u64(words);
        for (const std::uint64_t w : words) require(w == model.next_u64(), "fill_u64");
        break;
      }
      case 4: {
        // Near the 32-bit carry and the 64-bit wrap of the block counter.
        static constexpr std::uint64_t kEdges[] = {0, 0xFFFFFFFC, 0xFFFFFFFE, 0xFFFFFFFFFFFFFFFC,
                                                   0xFFFFFFFFFFFFFFFE};
        const std::uint8_t which = in.byte();
        const std::uint64_t counter = which < 200 ? kEdges[which % 5] + which / 5 % 3 : in.u64();
        rng.core_for_testing().set_counter(counter);
        model.set_counter(counter);
        break;
      }
      default: {
        random::StdRng copy = rng;  // a copy goes on exactly as the original
        require(copy == rng && copy.next_u64() == rng.next_u64(), "copy");
        model.next_u64();
        break;
      }
    }
    require(rng.index() == model.index(), "index");
  }
}

}  // namespace velquin::fuzz
