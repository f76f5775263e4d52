// Owning storage for a register's amplitudes: one contiguous, 64-byte aligned
// block of zero-initialised Complex64, released exactly once.
#pragma once

#include <cstdint>
#include <span>

#include "engine/status.h"
#include "math_core/math_core.h"

namespace velquin::engine {

using math_core::Complex64;

class AmplitudeArray {
 public:
  AmplitudeArray() = default;
  AmplitudeArray(const AmplitudeArray&) = delete;
  AmplitudeArray& operator=(const AmplitudeArray&) = delete;
  AmplitudeArray(AmplitudeArray&& other) noexcept;
  AmplitudeArray& operator=(AmplitudeArray&& other) noexcept;
  ~AmplitudeArray();

  /// `count` amplitudes, every part +0.0. Fails with MemoryError naming the
  /// bytes requested when the memory cannot be had; large requests are checked
  /// against the memory the machine can still give before anything is mapped.
  static Result<AmplitudeArray> zeroed(std::uint64_t count);

  std::uint64_t size() const noexcept { return count_; }
  Complex64* data() noexcept { return data_; }
  const Complex64* data() const noexcept { return data_; }
  std::span<Complex64> span() noexcept { return {data_, count_}; }
  std::span<const Complex64> span() const noexcept { return {data_, count_}; }

 private:
  AmplitudeArray(Complex64* data, std::uint64_t count, bool mapped) noexcept
      : data_(data), count_(count), mapped_(mapped) {}
  void release() noexcept;

  Complex64* data_ = nullptr;
  std::uint64_t count_ = 0;
  bool mapped_ = false;  // true: from mmap, false: from the aligned heap
};

}  // namespace velquin::engine
