#include "engine/memory_budget.h"

#include <gtest/gtest.h>
#include <unistd.h>

#include <cstdint>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>

namespace velquin::engine {
namespace {

namespace fs = std::filesystem;
constexpr std::uint64_t kMiB = std::uint64_t{1} << 20;

TEST(CheckAgainst, small_requests_always_pass) {
  EXPECT_TRUE(detail::check_against(kCheckedAllocationBytes - 1, "x", 0, 0).ok());
}

TEST(CheckAgainst, unknown_figure_passes) {
  EXPECT_TRUE(detail::check_against(~std::uint64_t{0}, "x", 0, std::nullopt).ok());
}

TEST(CheckAgainst, request_up_to_available_passes_one_more_byte_fails) {
  const std::uint64_t bytes = 128 * kMiB;
  EXPECT_TRUE(detail::check_against(bytes, "x", 0, bytes).ok());
  const Status refused = detail::check_against(bytes, "the amplitude array", 0, bytes - 1);
  ASSERT_FALSE(refused.ok());
  EXPECT_EQ(refused.error().kind, ErrorKind::kMemoryError);
  EXPECT_EQ(refused.error().message,
            "cannot allocate 134217728 bytes for the amplitude array (134217727 bytes available)");
}

TEST(CheckAgainst, memory_already_held_counts_towards_the_request) {
  const std::uint64_t bytes = 256 * kMiB;
  EXPECT_TRUE(detail::check_against(bytes, "x", 200 * kMiB, 56 * kMiB).ok());
  const Status refused = detail::check_against(bytes, "x", 200 * kMiB, 55 * kMiB);
  ASSERT_FALSE(refused.ok());
  EXPECT_EQ(refused.error().message,
            "cannot allocate 268435456 bytes for x (267386880 bytes available)");
}

// A fake cgroup file system: v2 below root/unified, v1 below root/memory.
class FakeCgroups : public ::testing::Test {
 protected:
  void SetUp() override {
    root_ = fs::temp_directory_path() / ("velquin-cgroups-" + std::to_string(::getpid()));
    fs::remove_all(root_);
  }
  void TearDown() override { fs::remove_all(root_); }

  void write(const std::string& relative, const std::string& text) {
    const fs::path path = root_ / relative;
    fs::create_directories(path.parent_path());
    std::ofstream(path) << text;
  }
  std::optional<std::uint64_t> room(const std::string& proc_self_cgroup) {
    return detail::cgroup_room_bytes(proc_self_cgroup, (root_ / "unified").string(),
                                     (root_ / "memory").string());
  }

  fs::path root_;
};

TEST_F(FakeCgroups, no_limit_anywhere_gives_no_figure) {
  write("unified/memory.max", "max\n");
  write("unified/a/memory.max", "max\n");
  write("unified/a/memory.current", "5\n");
  write("memory/memory.limit_in_bytes", "9223372036854771712\n");
  EXPECT_EQ(room("0::/a\n4:memory:/\n"), std::nullopt);
}

TEST_F(FakeCgroups, v2_limit_minus_usage_not_counting_inactive_page_cache) {
  write("unified/a/b/memory.max", "1000000\n");
  write("unified/a/b/memory.current", "400000\n");
  write("unified/a/b/memory.stat", "anon 250000\nactive_file 10\ninactive_file 150000\n");
  EXPECT_EQ(room("0::/a/b\n"), 750000u);
}

TEST_F(FakeCgroups, tightest_ancestor_wins) {
  write("unified/a/memory.max", "300000\n");
  write("unified/a/memory.current", "200000\n");
  write("unified/a/b/memory.max", "max\n");
  write("unified/a/b/memory.current", "150000\n");
  EXPECT_EQ(room("0::/a/b/\n"), 100000u);
}

TEST_F(FakeCgroups, usage_above_limit_leaves_no_room) {
  write("unified/memory.max", "100\n");
  write("unified/memory.current", "4096\n");
  EXPECT_EQ(room("0::/\n"), 0u);
}

TEST_F(FakeCgroups, v1_memory_controller_among_others) {
  write("memory/jobs/x/memory.limit_in_bytes", "2000000\n");
  write("memory/jobs/x/memory.usage_in_bytes", "1500000\n");
  write("memory/jobs/x/memory.stat", "inactive_file 999\ntotal_inactive_file 500000\n");
  EXPECT_EQ(room("9:name=systemd:/\n4:cpuacct,memory:/jobs/x\n1:cpu:/\n"), 1000000u);
}

TEST_F(FakeCgroups, smallest_room_over_both_hierarchies) {
  write("unified/memory.max", "700\n");
  write("memory/m/memory.limit_in_bytes", "900\n");
  EXPECT_EQ(room("0::/\n4:memory:/m\n"), 700u);
}

TEST_F(FakeCgroups, malformed_lines_are_ignored) {
  write("unified/memory.max", "700\n");
  EXPECT_EQ(room("garbage\n0:\n::relative\n\n"), std::nullopt);
}

TEST(AvailableMemory, this_machine_reports_a_figure) {
  const auto available = available_memory_bytes();
  ASSERT_TRUE(available.has_value());
  EXPECT_GT(*available, 0u);
}

}  // namespace
}  // namespace velquin::engine
