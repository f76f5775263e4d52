// The uniform double distribution on [low, high) that the weighted sampler
// draws from: one 64-bit word per value, its top 52 bits as the fraction.
#pragma once

#include <cstdint>

#include "base/result.h"
#include "random/std_rng.h"

namespace velquin::random {

class UniformFloat {
 public:
  /// The distribution on [low, high). Shrinks the scale one step at a time
  /// until no draw can reach `high`. A panic for a non-finite bound, low >=
  /// high, or a range wider than the largest double.
  static Result<UniformFloat> create(double low, double high);

  /// One value from one next_u64 of `rng`.
  double sample(StdRng& rng) const noexcept { return from_bits(rng.next_u64()); }
  /// The value a draw of the 64-bit word `u` gives: (top 52 bits of u as a
  /// fraction in [0, 1)) * scale + low, each step rounded on its own.
  double from_bits(std::uint64_t u) const noexcept;

  double low() const noexcept { return low_; }
  double scale() const noexcept { return scale_; }

 private:
  UniformFloat(double low, double scale) noexcept : low_(low), scale_(scale) {}

  double low_;
  double scale_;
};

}  // namespace velquin::random
