#include "random/uniform_float.h"

#include <bit>
#include <cmath>

#include "base/messages.h"

namespace velquin::random {
namespace {

constexpr std::uint64_t kExponentOfOne = 0x3FF0000000000000ull;

// The largest value a draw maps to before scaling: 1 - 2^-52.
const double kMaxFraction = std::bit_cast<double>(0x3FFFFFFFFFFFFFFFull) - 1.0;

double next_down(double positive) noexcept {
  return std::bit_cast<double>(std::bit_cast<std::uint64_t>(positive) - 1);
}

}  // namespace

Result<UniformFloat> UniformFloat::create(double low, double high) {
  if (!std::isfinite(low)) return Error{ErrorKind::kPanic, messages::kUniformLowNonFinite};
  if (!std::isfinite(high)) return Error{ErrorKind::kPanic, messages::kUniformHighNonFinite};
  if (!(low < high)) return Error{ErrorKind::kPanic, messages::kUniformLowNotBelowHigh};
  double scale = high - low;
  if (!std::isfinite(scale)) return Error{ErrorKind::kPanic, messages::kUniformRangeOverflow};
  // At scale 0 the test is low >= high, which is false, so scale stays >= 0.
  for (;;) {
    const double largest_scaled = scale * kMaxFraction;
    const double largest = largest_scaled + low;
    if (!(largest >= high)) break;
    scale = next_down(scale);
  }
  return UniformFloat(low, scale);
}

double UniformFloat::from_bits(std::uint64_t u) const noexcept {
  const double in_one_to_two = std::bit_cast<double>((u >> 12) | kExponentOfOne);
  const double fraction = in_one_to_two - 1.0;
  const double scaled = fraction * scale_;
  return scaled + low_;
}

}  // namespace velquin::random
