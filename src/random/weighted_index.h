// Drawing an index with probability proportional to non-negative double
// weights: running sums formed strictly left to right, one uniform draw per
// sample, and the index found as a partition point of the running sums.
#pragma once

#include <cstdint>
#include <span>
#include <utility>
#include <vector>

#include "base/result.h"
#include "random/std_rng.h"
#include "random/uniform_float.h"

namespace velquin::random {

/// Validates and totals weights arriving one at a time, in O(1) memory, with
/// the sampler's checks, order and rounding. The first fault wins.
class WeightTotal {
 public:
  /// Checks `weight` (it must satisfy weight >= 0, so NaN fails and -0.0
  /// passes) and adds it to the total with one rounded addition. False for a
  /// weight that fails: nothing is added, the caller stops, and finish()
  /// reports it.
  [[nodiscard]] bool add(double weight) noexcept {
    if (!(weight >= 0.0)) {
      invalid_ = true;
      return false;
    }
    total_ = count_ == 0 ? weight : total_ + weight;
    ++count_;
    return true;
  }

  /// The total of all weights added, or ValueError with the sampler's text:
  /// an invalid weight, none added, or a total of 0. An infinite total is
  /// returned as is.
  Result<double> finish() const;

  /// The running total so far (the sum of the first count() weights).
  double total() const noexcept { return total_; }
  std::uint64_t count() const noexcept { return count_; }

 private:
  double total_ = 0.0;
  std::uint64_t count_ = 0;
  bool invalid_ = false;
};

class WeightedIndex {
 public:
  /// The sampler over `weights`, or the first fault in reading order (see
  /// WeightTotal::finish); a panic "Uniform::new called with `high`
  /// non-finite." when the weights are valid but their total is infinite.
  static Result<WeightedIndex> create(std::span<const double> weights);

  /// An index in [0, n) drawn with one next_u64 of `rng`.
  std::uint64_t sample(StdRng& rng) const noexcept { return index_for(distribution_.sample(rng)); }

  /// The index a drawn value `chosen` selects: the number of running sums
  /// that are <= chosen, so a value on a boundary belongs to the upper item.
  std::uint64_t index_for(double chosen) const noexcept;

  /// w0, w0+w1, ..., up to the sum of all but the last weight.
  const std::vector<double>& cumulative_weights() const noexcept { return cumulative_; }
  double total_weight() const noexcept { return total_; }
  /// The uniform distribution on [0, total_weight()) the samples come from.
  const UniformFloat& distribution() const noexcept { return distribution_; }

 private:
  WeightedIndex(std::vector<double> cumulative, double total, UniformFloat distribution) noexcept
      : cumulative_(std::move(cumulative)), total_(total), distribution_(distribution) {}

  std::vector<double> cumulative_;
  double total_;
  UniformFloat distribution_;
};

}  // namespace velquin::random
