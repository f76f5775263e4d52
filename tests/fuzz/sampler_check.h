// The weighted sampler and the bulk measurement sampler, checked against a
// plain model written from the formulas on arbitrary weights (NaN, infinities,
// signed zeros, subnormals): the same error, the same running sums and scale,
// the same indices and counts, and the generator left in the same place.
#pragma once

#include <algorithm>
#include <bit>
#include <cmath>
#include <cstdint>
#include <cstring>
#include <map>
#include <span>
#include <variant>
#include <vector>

#include "base/result.h"
#include "engine/outcome_sampler.h"
#include "fuzz_input.h"
#include "random/std_rng.h"
#include "random/weighted_index.h"

namespace velquin::fuzz {

enum class ModelOutcome { kOk, kNoItem, kInvalidWeight, kAllWeightsZero, kHighNonFinite };

struct ModelSampler {
  std::vector<double> cumulative;
  double total = 0.0;
  double scale = 0.0;
};

inline std::uint64_t bits(double value) { return std::bit_cast<std::uint64_t>(value); }

// Running sums left to right, the checks in reading order, then the scale
// shrunk until (1 - 2^-52) * scale + 0 stays below the total.
inline ModelOutcome model_build(std::span<const double> weights, ModelSampler& out) {
  if (weights.empty()) return ModelOutcome::kNoItem;
  if (!(weights[0] >= 0.0)) return ModelOutcome::kInvalidWeight;
  double total = weights[0];
  for (std::size_t i = 1; i < weights.size(); ++i) {
    if (!(weights[i] >= 0.0)) return ModelOutcome::kInvalidWeight;
    out.cumulative.push_back(total);
    total = total + weights[i];
  }
  if (total == 0.0) return ModelOutcome::kAllWeightsZero;
  if (!std::isfinite(total)) return ModelOutcome::kHighNonFinite;
  const double max_fraction = std::bit_cast<double>(std::uint64_t{0x3FFFFFFFFFFFFFFF}) - 1.0;
  double scale = total;
  for (;;) {
    const double product = scale * max_fraction;
    const double largest = product + 0.0;
    if (!(largest >= total)) break;
    scale = std::bit_cast<double>(bits(scale) - 1);
  }
  out.total = total;
  out.scale = scale;
  return ModelOutcome::kOk;
}

inline std::uint64_t model_sample(const ModelSampler& sampler, std::uint64_t u) {
  const double fraction =
      std::bit_cast<double>((u >> 12) | std::uint64_t{0x3FF0000000000000}) - 1.0;
  const double product = fraction * sampler.scale;
  const double chosen = product + 0.0;
  // The number of running sums at or below chosen.
  return static_cast<std::uint64_t>(
      std::upper_bound(sampler.cumulative.begin(), sampler.cumulative.end(), chosen) -
      sampler.cumulative.begin());
}

inline bool same_error(const Result<random::WeightedIndex>& made, ModelOutcome expected) {
  if (made.ok()) return expected == ModelOutcome::kOk;
  const std::string& text = made.error().message;
  if (made.error().kind == ErrorKind::kPanic) return expected == ModelOutcome::kHighNonFinite;
  if (text == "No weights provided in distribution") return expected == ModelOutcome::kNoItem;
  if (text == "A weight is invalid in distribution")
    return expected == ModelOutcome::kInvalidWeight;
  if (text == "All weights are zero in distribution")
    return expected == ModelOutcome::kAllWeightsZero;
  return false;
}

constexpr const char* kHighNonFinite = "Uniform::new called with `high` non-finite.";

inline void check_weighted_index(FuzzInput& in) {
  std::vector<double> weights(in.byte() % 48);
  for (double& w : weights) w = in.number();
  const std::uint64_t seed = in.u64();

  ModelSampler model;
  const ModelOutcome expected = model_build(weights, model);
  const auto made = random::WeightedIndex::create(weights);
  require(same_error(made, expected), "WeightedIndex::create: error kind");
  if (!made.ok()) {
    if (made.error().kind == ErrorKind::kPanic) {
      require(made.error().message == kHighNonFinite, "internal failure text");
    }
    return;
  }
  {
    const random::WeightedIndex* sampler = &made.value();
    require(sampler->cumulative_weights().size() == model.cumulative.size(), "cumulative size");
    for (std::size_t i = 0; i < model.cumulative.size(); ++i) {
      require(bits(sampler->cumulative_weights()[i]) == bits(model.cumulative[i]), "running sum");
    }
    require(bits(sampler->total_weight()) == bits(model.total), "total");
    require(bits(sampler->distribution().scale()) == bits(model.scale), "scale");
    random::StdRng drawn = random::StdRng::seed_from_u64(seed);
    random::StdRng modelled = drawn;
    for (int k = 0; k < 16; ++k) {
      require(sampler->sample(drawn) == model_sample(model, modelled.next_u64()), "sample");
    }
    require(drawn == modelled, "one word per sample");
  }
}

// Amplitudes tiled from a few fuzzed values over up to 5000 elements, so the
// checkpoint blocks and the chunked, merged draws are all reached.
inline std::vector<math_core::Complex64> tiled_amplitudes(FuzzInput& in) {
  std::vector<math_core::Complex64> base(1 + in.byte() % 12);
  for (auto& a : base) a = {in.number(), in.number()};
  const std::size_t length = 1 + in.u16() % 5000;
  const std::uint64_t stride = in.u64() | 1;
  const std::size_t zero_run = in.byte() % 4 == 0 ? in.u16() % length : 0;  // a long dead stretch
  std::vector<math_core::Complex64> amplitudes(length);
  for (std::size_t i = 0; i < length; ++i) {
    amplitudes[i] = i < zero_run ? math_core::Complex64{0.0, -0.0}
                                 : base[static_cast<std::size_t>((i * stride) >> 7) % base.size()];
  }
  return amplitudes;
}

inline void check_outcome_sampler(FuzzInput& in) {
  const std::vector<math_core::Complex64> amplitudes = tiled_amplitudes(in);
  const std::uint64_t shots = in.u16() % 3000;
  const std::uint64_t chunk = 1 + in.u16() % 1200;
  random::StdRng drawn = random::StdRng::seed_from_u64(in.u64());
  for (std::uint8_t skip = in.byte() % 70; skip > 0; --skip) drawn.next_u32();  // any position
  random::StdRng modelled = drawn;

  std::vector<double> weights;
  for (const auto& a : amplitudes) {
    const double re2 = a.re * a.re;
    const double im2 = a.im * a.im;
    weights.push_back(re2 + im2);
  }
  ModelSampler model;
  const ModelOutcome expected = model_build(weights, model);
  {
    const Result<engine::OutcomeCounts> counts =
        engine::sample_outcomes(amplitudes, drawn, shots, chunk);
    if (!counts.ok() && counts.error().kind == ErrorKind::kPanic) {
      require(expected == ModelOutcome::kHighNonFinite, "unexpected internal failure");
      require(counts.error().message == kHighNonFinite, "internal failure text");
      return;
    }
    if (!counts.ok()) {
      require(counts.error().kind == ErrorKind::kValueError, "sampler error is ValueError");
      const char* text = expected == ModelOutcome::kInvalidWeight
                             ? "A weight is invalid in distribution"
                             : "All weights are zero in distribution";
      require(expected == ModelOutcome::kInvalidWeight || expected == ModelOutcome::kAllWeightsZero,
              "sampler failed where the model did not");
      require(counts.error().message == text, "sampler error text");
      require(drawn == modelled, "nothing drawn after an error");
      return;
    }
    require(expected == ModelOutcome::kOk, "sampler succeeded where the model failed");
    std::map<std::uint64_t, std::uint64_t> tally;
    for (std::uint64_t s = 0; s < shots; ++s) ++tally[model_sample(model, modelled.next_u64())];
    require(counts.value().size() == tally.size(), "number of outcomes");
    auto it = tally.begin();
    for (const auto& [index, count] : counts.value()) {
      require(index == it->first && count == it->second, "outcome counts");
      require(weights[index] > 0.0, "an outcome of weight zero was drawn");
      ++it;
    }
    require(drawn == modelled, "generator position after sampling");
  }
}

/// One fuzz input: the first byte picks the check.
inline void check_sampler_input(const std::uint8_t* data, std::size_t size) {
  FuzzInput in(data, size);
  if (in.byte() % 2 == 0) {
    check_weighted_index(in);
  } else {
    check_outcome_sampler(in);
  }
}

}  // namespace velquin::fuzz
