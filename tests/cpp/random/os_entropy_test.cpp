#include "random/os_entropy.h"

#include <gtest/gtest.h>

#include <array>
#include <cerrno>
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "base/result.h"
#include "random/std_rng.h"

namespace velquin::random {
namespace {

// The error a Status carries, if any: comparable with EXPECT_EQ.
std::optional<Error> failure(const Status& status) {
  if (status.ok()) return std::nullopt;
  return status.error();
}

std::string failure_text(const EntropyError& error) {
  const Result<StdRng> made =
      seed_from_entropy_source([&](std::span<std::uint8_t>) { return Status(error.as_error()); });
  if (made.ok()) return "no failure";
  EXPECT_EQ(made.error().kind, ErrorKind::kPanic);
  return made.error().message;
}

TEST(EntropyFailure, message_carries_the_error_description) {
  EXPECT_EQ(failure_text(EntropyError::unexpected()), "from_entropy failed: unexpected situation");
  EXPECT_EQ(failure_text(EntropyError::errno_not_positive()),
            "from_entropy failed: errno: did not return a positive value");
  EXPECT_EQ(failure_text(EntropyError::os(EACCES)), "from_entropy failed: Permission denied");
  EXPECT_EQ(failure_text(EntropyError::from_code(0x80000007u)),
            "from_entropy failed: Unknown Error: 2147483655");
}

TEST(EntropyFailure, os_code_without_system_text_shows_number) {
  EXPECT_EQ(EntropyError::os(4000).description(), "OS Error: 4000");
}

TEST(EntropySeeding, seed_bytes_become_the_key) {
  std::array<std::uint8_t, 32> given{};
  for (std::size_t i = 0; i < given.size(); ++i) given[i] = static_cast<std::uint8_t>(3 * i + 1);
  const StdRng rng = seed_from_entropy_source([&](std::span<std::uint8_t> dest) {
                       EXPECT_EQ(dest.size(), 32u);
                       std::copy(given.begin(), given.end(), dest.begin());
                       return Status::Ok();
                     }).value();
  EXPECT_EQ(rng, StdRng::from_seed(given));
}

// A scripted read(2): each step either delivers `bytes` bytes or fails with `error`.
struct ReadStep {
  ssize_t result;
  int error = 0;
};

std::optional<Error> run_reads(std::vector<ReadStep> steps, std::size_t size, std::size_t* calls,
                               std::vector<std::uint8_t>* out = nullptr) {
  std::vector<std::uint8_t> dest(size, 0);
  std::size_t next = 0;
  std::uint8_t fill_value = 1;
  const Status result = fill_by_reads(dest, [&](std::uint8_t* data, std::size_t length) {
    const ReadStep step = next < steps.size() ? steps[next] : ReadStep{-1, EIO};
    ++next;
    if (step.result > 0) {
      for (ssize_t i = 0; i < step.result && static_cast<std::size_t>(i) < length; ++i) {
        data[i] = fill_value;
      }
      ++fill_value;
    }
    errno = step.error;
    return step.result;
  });
  *calls = next;
  if (out != nullptr) *out = dest;
  return failure(result);
}

TEST(EntropyReads, short_reads_continue_until_full) {
  std::size_t calls = 0;
  std::vector<std::uint8_t> out;
  EXPECT_EQ(run_reads({{5}, {20}, {7}}, 32, &calls, &out), std::nullopt);
  EXPECT_EQ(calls, 3u);
  EXPECT_EQ(out[4], 1);
  EXPECT_EQ(out[5], 2);
  EXPECT_EQ(out[24], 2);
  EXPECT_EQ(out[25], 3);
  EXPECT_EQ(out[31], 3);
}

TEST(EntropyReads, interrupted_reads_are_retried) {
  std::size_t calls = 0;
  EXPECT_EQ(run_reads({{-1, EINTR}, {16}, {-1, EINTR}, {16}}, 32, &calls), std::nullopt);
  EXPECT_EQ(calls, 4u);
}

TEST(EntropyReads, failures_stop_with_their_error) {
  std::size_t calls = 0;
  EXPECT_EQ(run_reads({{8}, {-1, EIO}}, 32, &calls), EntropyError::os(EIO).as_error());
  EXPECT_EQ(calls, 2u);
  EXPECT_EQ(run_reads({{-1, 0}}, 32, &calls), EntropyError::errno_not_positive().as_error());
  EXPECT_EQ(run_reads({{-1, -5}}, 32, &calls), EntropyError::errno_not_positive().as_error());
  EXPECT_EQ(run_reads({{0}}, 32, &calls), EntropyError::unexpected().as_error());
  EXPECT_EQ(run_reads({{-2, EIO}}, 32, &calls), EntropyError::unexpected().as_error());
  EXPECT_EQ(run_reads({{16}, {17}}, 32, &calls), EntropyError::unexpected().as_error());
}

TEST(EntropyReads, empty_buffer_reads_nothing) {
  std::size_t calls = 0;
  EXPECT_EQ(run_reads({}, 0, &calls), std::nullopt);
  EXPECT_EQ(calls, 0u);
}

TEST(OsEntropy, two_unseeded_generators_differ) {
  StdRng a = StdRng::from_entropy().value();
  StdRng b = StdRng::from_entropy().value();
  EXPECT_NE(a.core(), b.core());
  EXPECT_NE(a.next_u64(), b.next_u64());
  EXPECT_EQ(a.index(), 2u);
}

TEST(OsEntropy, device_file_source_fills_with_fresh_bytes) {
  std::array<std::uint8_t, 64> first{};
  std::array<std::uint8_t, 64> second{};
  ASSERT_EQ(failure(fill_from_device_files(first)), std::nullopt);
  ASSERT_EQ(failure(fill_from_device_files(second)), std::nullopt);
  EXPECT_NE(first, second);
  EXPECT_EQ(failure(fill_from_device_files({})), std::nullopt);
  EXPECT_EQ(failure(fill_from_os({})), std::nullopt);
}

}  // namespace
}  // namespace velquin::random
