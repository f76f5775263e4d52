// The operating system's entropy source (getrandom, or "/dev/urandom" once
// "/dev/random" is readable) and the seeding of a generator from it.
#pragma once

#include <sys/types.h>

#include <cerrno>
#include <cstddef>
#include <cstdint>
#include <functional>
#include <span>
#include <string>

#include "base/result.h"
#include "random/std_rng.h"

namespace velquin::random {

/// Why the entropy source gave no bytes: an OS error number or one of the
/// source's own conditions, kept as one 32-bit code.
class EntropyError {
 public:
  /// An operating-system error number (errno value, > 0).
  static EntropyError os(int code) noexcept {
    return EntropyError(static_cast<std::uint32_t>(code));
  }
  /// The system call returned something no documented outcome allows.
  static EntropyError unexpected() noexcept { return EntropyError(kUnexpected); }
  /// A call failed but left errno at zero or below.
  static EntropyError errno_not_positive() noexcept { return EntropyError(kErrnoNotPositive); }
  /// Any code, including ones no condition above produces.
  static EntropyError from_code(std::uint32_t code) noexcept { return EntropyError(code); }
  /// The error for the current errno after a failed call.
  static EntropyError from_errno() noexcept { return errno > 0 ? os(errno) : errno_not_positive(); }

  std::uint32_t code() const noexcept { return code_; }
  /// The text that follows "from_entropy failed: ".
  std::string description() const;
  /// The panic this failure is reported as: "from_entropy failed: " and the
  /// description.
  Error as_error() const;

  friend bool operator==(const EntropyError&, const EntropyError&) = default;

 private:
  static constexpr std::uint32_t kInternalStart = 1u << 31;
  static constexpr std::uint32_t kErrnoNotPositive = kInternalStart + 1;
  static constexpr std::uint32_t kUnexpected = kInternalStart + 2;

  explicit EntropyError(std::uint32_t code) noexcept : code_(code) {}
  std::uint32_t code_;
};

/// Fills a span with entropy; an entropy failure's panic when it cannot.
using EntropyFill = std::function<Status(std::span<std::uint8_t>)>;

/// Calls `read_some(data, length)` (a read(2)-like call) on the unfilled rest
/// of `dest` until it is full. EINTR is retried; -1 with another errno fails
/// with it; 0, below -1 or more than asked fails as unexpected.
template <class ReadSome>
Status fill_by_reads(std::span<std::uint8_t> dest, ReadSome&& read_some) {
  while (!dest.empty()) {
    const ssize_t got = read_some(dest.data(), dest.size());
    if (got > 0 && static_cast<std::size_t>(got) <= dest.size()) {
      dest = dest.subspan(static_cast<std::size_t>(got));
    } else if (got == -1) {
      const EntropyError error = EntropyError::from_errno();
      if (error != EntropyError::os(EINTR)) return error.as_error();
    } else {
      return EntropyError::unexpected().as_error();
    }
  }
  return Status::Ok();
}

/// Fills `dest` from the OS: getrandom when the kernel offers it, otherwise
/// the device files. An empty `dest` succeeds at once.
Status fill_from_os(std::span<std::uint8_t> dest);

/// Fills `dest` from "/dev/urandom" (one descriptor for the process, opened
/// after "/dev/random" has become readable), never from getrandom.
Status fill_from_device_files(std::span<std::uint8_t> dest);

/// A generator keyed by 32 bytes from `fill`, or the error `fill` reports.
Result<StdRng> seed_from_entropy_source(const EntropyFill& fill);

}  // namespace velquin::random
