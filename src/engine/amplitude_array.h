// Owning storage for a register's amplitudes: one contiguous, 64-byte aligned
// block of zero-initialised Complex64, released exactly once. Every page is
// backed by memory when the block is handed out.
#pragma once

#include <cstdint>
#include <span>

#include "base/result.h"
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

  /// `count` amplitudes, every part +0.0, every page already resident (so the
  /// machine's available memory reflects the block at once), the pages filled
  /// on up to `threads` threads. Fails with MemoryError naming the bytes
  /// requested when the memory cannot be had; large requests are checked
  /// against the memory the machine can still give before anything is mapped.
  static Result<AmplitudeArray> zeroed(std::uint64_t count, unsigned threads = 1);

  std::uint64_t size() const noexcept { return count_; }
  Complex64* data() noexcept { return data_; }
  const Complex64* data() const noexcept { return data_; }
  std::span<Complex64> span() noexcept { return {data_, count_}; }
  std::span<const Complex64> span() const noexcept { return {data_, count_}; }

 private:
  AmplitudeArray(Complex64* data, std::uint64_t count, std::uint64_t mapped_bytes) noexcept
      : data_(data), count_(count), mapped_bytes_(mapped_bytes) {}
  void release() noexcept;

  Complex64* data_ = nullptr;
  std::uint64_t count_ = 0;
  std::uint64_t mapped_bytes_ = 0;  // length of the mapping; 0: from the aligned heap
};

namespace detail {

/// Writes a zero into every 4 KiB page of [first, first + bytes) of a fresh,
/// zero-filled mapping, so each is backed by memory: how a kernel without
/// MADV_POPULATE_WRITE gets a block populated.
void touch_pages(unsigned char* first, std::uint64_t bytes) noexcept;

}  // namespace detail
}  // namespace velquin::engine
