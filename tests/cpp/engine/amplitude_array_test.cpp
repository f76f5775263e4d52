#include "engine/amplitude_array.h"

#include <gtest/gtest.h>
#include <sys/mman.h>
#include <sys/resource.h>
#include <unistd.h>

#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

namespace velquin::engine {
namespace {

bool all_bits_zero(const AmplitudeArray& array) {
  const auto* bytes = reinterpret_cast<const unsigned char*>(array.data());
  const std::uint64_t length = array.size() * sizeof(Complex64);
  for (std::uint64_t i = 0; i < length; ++i) {
    if (bytes[i] != 0) return false;
  }
  return true;
}

// Pages of the block that are not backed by memory right now.
std::uint64_t pages_not_resident(const AmplitudeArray& array) {
  const auto page = static_cast<std::uintptr_t>(::sysconf(_SC_PAGESIZE));
  const auto begin = reinterpret_cast<std::uintptr_t>(array.data()) / page * page;
  const auto end = reinterpret_cast<std::uintptr_t>(array.data() + array.size());
  std::vector<unsigned char> resident((end - begin + page - 1) / page);
  if (::mincore(reinterpret_cast<void*>(begin), end - begin, resident.data()) != 0) {
    ADD_FAILURE() << "mincore failed";
    return resident.size();
  }
  std::uint64_t missing = 0;
  for (unsigned char r : resident) missing += (r & 1U) == 0 ? 1 : 0;
  return missing;
}

// Around the heap / mapping threshold (2 MiB = 2^17 amplitudes) and the
// populate piece and slice sizes.
class ZeroedSizes : public ::testing::TestWithParam<std::uint64_t> {};

TEST_P(ZeroedSizes, every_part_is_positive_zero_aligned_and_resident) {
  Result<AmplitudeArray> made = AmplitudeArray::zeroed(GetParam());
  ASSERT_TRUE(made.ok()) << made.error().message;
  const AmplitudeArray& array = made.value();
  EXPECT_EQ(array.size(), GetParam());
  EXPECT_EQ(reinterpret_cast<std::uintptr_t>(array.data()) % 64, 0u);
  EXPECT_EQ(pages_not_resident(array), 0u);  // before reading maps anything in
  EXPECT_TRUE(all_bits_zero(array));
}

INSTANTIATE_TEST_SUITE_P(AroundThresholds, ZeroedSizes,
                         ::testing::Values(1, 2, 3, 4096, (1u << 17) - 1, 1u << 17, (1u << 17) + 1,
                                           3u << 17, 1u << 21, (1u << 24) + 5));

TEST(Zeroed, writes_reach_every_element_and_move_transfers_ownership) {
  Result<AmplitudeArray> made = AmplitudeArray::zeroed(std::uint64_t{1} << 18);
  ASSERT_TRUE(made.ok());
  AmplitudeArray first = std::move(made).value();
  for (std::uint64_t i = 0; i < first.size(); ++i) first.data()[i] = Complex64{double(i), -1.0};
  const Complex64* block = first.data();

  AmplitudeArray second(std::move(first));
  EXPECT_EQ(first.data(), nullptr);
  EXPECT_EQ(first.size(), 0u);
  EXPECT_EQ(second.data(), block);

  AmplitudeArray third = std::move(AmplitudeArray::zeroed(4).value());
  third = std::move(second);
  EXPECT_EQ(third.data(), block);
  EXPECT_EQ(third.data()[12345].re, 12345.0);
  EXPECT_EQ(third.data()[third.size() - 1].im, -1.0);
}

TEST(TouchPages, backs_every_page_of_a_fresh_mapping_and_keeps_it_zero) {
  constexpr std::uint64_t kBytes = std::uint64_t{6} << 20;
  void* p = ::mmap(nullptr, kBytes, PROT_READ | PROT_WRITE, MAP_PRIVATE | MAP_ANONYMOUS, -1, 0);
  ASSERT_NE(p, MAP_FAILED);
  auto* bytes = static_cast<unsigned char*>(p);
  detail::touch_pages(bytes, kBytes);
  std::vector<unsigned char> resident(kBytes / 4096);
  ASSERT_EQ(::mincore(p, kBytes, resident.data()), 0);
  for (unsigned char r : resident) ASSERT_EQ(r & 1U, 1U);
  for (std::uint64_t i = 0; i < kBytes; ++i) ASSERT_EQ(bytes[i], 0);
  ::munmap(p, kBytes);
}

TEST(Zeroed, beyond_any_machine_is_memory_error_naming_the_bytes) {
  Result<AmplitudeArray> made = AmplitudeArray::zeroed(std::uint64_t{1} << 44);
  ASSERT_FALSE(made.ok());
  EXPECT_EQ(made.error().kind, ErrorKind::kMemoryError);
  EXPECT_EQ(made.error().message.rfind("cannot allocate 281474976710656 bytes for the amplitude "
                                       "array",
                                       0),
            0u)
      << made.error().message;
}

TEST(Zeroed, absurd_count_does_not_wrap_around) {
  Result<AmplitudeArray> made = AmplitudeArray::zeroed(~std::uint64_t{0});
  ASSERT_FALSE(made.ok());
  EXPECT_EQ(made.error().kind, ErrorKind::kMemoryError);
}

// Under an address-space limit the mapping itself fails: MemoryError without
// the figure of available memory, and the process carries on. Runs in a child.
[[noreturn]] void allocate_under_address_space_limit() {
  const rlimit limit{std::uint64_t{512} << 20, std::uint64_t{512} << 20};
  if (::setrlimit(RLIMIT_AS, &limit) != 0) std::_Exit(3);
  Result<AmplitudeArray> refused = AmplitudeArray::zeroed(std::uint64_t{1} << 26);
  if (refused.ok()) std::_Exit(1);
  if (refused.error().message != "cannot allocate 1073741824 bytes for the amplitude array") {
    std::_Exit(2);
  }
  Result<AmplitudeArray> later = AmplitudeArray::zeroed(std::uint64_t{1} << 20);
  std::_Exit(later.ok() && all_bits_zero(later.value()) ? 0 : 4);
}

TEST(ZeroedDeathTest, address_space_limit_gives_memory_error_and_later_calls_work) {
#if defined(__SANITIZE_ADDRESS__)
  GTEST_SKIP() << "AddressSanitizer reserves terabytes of address space";
#endif
  GTEST_FLAG_SET(death_test_style, "threadsafe");
  EXPECT_EXIT(allocate_under_address_space_limit(), ::testing::ExitedWithCode(0), "");
}

}  // namespace
}  // namespace velquin::engine
