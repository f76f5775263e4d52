#include "random/weighted_index.h"

#include <algorithm>

#include "base/messages.h"

namespace velquin::random {

Result<double> WeightTotal::finish() const {
  if (invalid_) return Error{ErrorKind::kValueError, messages::kInvalidWeight};
  if (count_ == 0) return Error{ErrorKind::kValueError, messages::kNoWeights};
  if (total_ == 0.0) return Error{ErrorKind::kValueError, messages::kAllWeightsZero};
  return total_;
}

Result<WeightedIndex> WeightedIndex::create(std::span<const double> weights) {
  std::vector<double> cumulative;
  if (!weights.empty()) cumulative.reserve(weights.size() - 1);
  WeightTotal total;
  for (const double weight : weights) {
    const double before = total.total();
    if (!total.add(weight)) break;
    if (total.count() > 1) cumulative.push_back(before);
  }
  Result<double> sum = total.finish();
  if (!sum) return std::move(sum).error();
  Result<UniformFloat> distribution = UniformFloat::create(0.0, sum.value());
  if (!distribution) return std::move(distribution).error();
  return WeightedIndex(std::move(cumulative), sum.value(), distribution.value());
}

std::uint64_t WeightedIndex::index_for(double chosen) const noexcept {
  return static_cast<std::uint64_t>(
      std::upper_bound(cumulative_.begin(), cumulative_.end(), chosen) - cumulative_.begin());
}

}  // namespace velquin::random
