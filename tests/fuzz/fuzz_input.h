// Reading a fuzzer's bytes as the values a check needs; past the end every
// read gives zeros, so any input is a valid one.
#pragma once

#include <bit>
#include <cmath>
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <limits>

namespace velquin::fuzz {

class FuzzInput {
 public:
  FuzzInput(const std::uint8_t* data, std::size_t size) noexcept : data_(data), size_(size) {}

  bool exhausted() const noexcept { return position_ >= size_; }

  std::uint8_t byte() noexcept { return exhausted() ? 0 : data_[position_++]; }

  std::uint64_t u64() noexcept {
    std::uint64_t value = 0;
    for (int i = 0; i < 8; ++i) value |= std::uint64_t{byte()} << (8 * i);
    return value;
  }

  std::uint16_t u16() noexcept { return static_cast<std::uint16_t>(byte() | (byte() << 8)); }

  /// Mostly the values that break arithmetic (signed zeros, subnormals,
  /// infinities, NaN, the extremes), otherwise any bit pattern.
  double number() noexcept {
    // clang-format off
    static const double kPalette[] = {
        0.0, -0.0, 1.0, 0.5, 0.25, 3.0, -1.0, 0.7071067811865476,
        std::numeric_limits<double>::denorm_min(), -std::numeric_limits<double>::denorm_min(),
        3 * std::numeric_limits<double>::denorm_min(), std::numeric_limits<double>::min(),
        1e-160, 1e-300, 1e154, 1e300, std::numeric_limits<double>::max(),
        std::numeric_limits<double>::infinity(), -std::numeric_limits<double>::infinity(),
        std::numeric_limits<double>::quiet_NaN(), -std::numeric_limits<double>::quiet_NaN(),
        std::bit_cast<double>(std::uint64_t{0x7FF0000000000001}),  // signalling NaN
    };
    // clang-format on
    constexpr std::size_t kCount = sizeof kPalette / sizeof kPalette[0];
    const std::uint8_t selector = byte();
    if (selector < 0xC0) return kPalette[selector % kCount];
    return std::bit_cast<double>(u64());
  }

 private:
  const std::uint8_t* data_;
  std::size_t size_;
  std::size_t position_ = 0;
};

/// Stops the process (a crash for the fuzzer, a failure for a test) when a
/// check does not hold.
inline void require(bool holds, const char* what) {
  if (holds) return;
  std::fprintf(stderr, "fuzz check failed: %s\n", what);
  std::abort();
}

}  // namespace velquin::fuzz
