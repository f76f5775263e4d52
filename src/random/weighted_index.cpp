#include "random/weighted_index.h"

#include <algorithm>

#include "engine/messages.h"

namespace velquin::random {

const char* display(WeightedError error) noexcept {
  switch (error) {
    case WeightedError::NoItem:
      return messages::kNoWeights;
    case WeightedError::InvalidWeight:
      return messages::kInvalidWeight;
    case WeightedError::AllWeightsZero:
      return messages::kAllWeightsZero;
  }
  return messages::kInvalidWeight;
}

std::variant<WeightedIndex, WeightedError> WeightedIndex::create(std::span<const double> weights) {
  std::vector<double> cumulative;
  if (!weights.empty()) cumulative.reserve(weights.size() - 1);
  WeightTotal total;
  for (const double weight : weights) {
    const double before = total.total();
    if (const std::optional<WeightedError> error = total.add(weight)) return *error;
    if (total.count() > 1) cumulative.push_back(before);
  }
  const std::variant<double, WeightedError> finished = total.finish();
  if (const auto* error = std::get_if<WeightedError>(&finished)) return *error;
  const double sum = std::get<double>(finished);
  return WeightedIndex(std::move(cumulative), sum, UniformFloat::create(0.0, sum));
}

std::uint64_t WeightedIndex::index_for(double chosen) const noexcept {
  return static_cast<std::uint64_t>(
      std::upper_bound(cumulative_.begin(), cumulative_.end(), chosen) - cumulative_.begin());
}

}  // namespace velquin::random
