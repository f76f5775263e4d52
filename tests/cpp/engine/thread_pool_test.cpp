#include "engine/thread_pool.h"

#include <gtest/gtest.h>
#include <sys/wait.h>
#include <unistd.h>

#include <atomic>
#include <vector>

#include "engine/exec_policy.h"
#include "engine/register.h"
#include "gate_calls.h"

namespace velquin::engine {
namespace {

TEST(ParallelFor, covers_every_index_once_on_aligned_pieces) {
  for (unsigned threads : {1u, 2u, 3u, 5u}) {
    for (std::uint64_t count : {0u, 1u, 64u, 1024u, 4096u, 65536u}) {
      std::vector<std::atomic<int>> hits(count);
      std::atomic<bool> misaligned{false};
      parallel_for(threads, count, 64, 256, [&](std::uint64_t begin, std::uint64_t end) {
        if (begin % 64 != 0 || (end % 64 != 0 && end != count)) misaligned = true;
        for (std::uint64_t i = begin; i < end; ++i) hits[i]++;
      });
      EXPECT_FALSE(misaligned);
      for (std::uint64_t i = 0; i < count; ++i) ASSERT_EQ(hits[i].load(), 1) << i;
    }
  }
}

TEST(ParallelFor, small_ranges_stay_on_the_calling_thread) {
  const std::thread::id caller = std::this_thread::get_id();
  bool elsewhere = false;
  parallel_for(4, 1000, 64, 1024, [&](std::uint64_t, std::uint64_t) {
    elsewhere |= std::this_thread::get_id() != caller;
  });
  EXPECT_FALSE(elsewhere);
}

TEST(ThreadPool, runs_each_part_once_on_distinct_threads) {
  ThreadPool pool;
  for (unsigned parts : {1u, 2u, 4u, 3u}) {
    std::vector<std::thread::id> ids(parts);
    pool.run(parts, [&](unsigned p) { ids[p] = std::this_thread::get_id(); });
    for (unsigned a = 0; a < parts; ++a) {
      for (unsigned b = a + 1; b < parts; ++b) EXPECT_NE(ids[a], ids[b]);
    }
  }
}

TEST(DefaultThreads, at_least_one) { EXPECT_GE(default_thread_count(), 1u); }

// A child of fork() has none of the parent's pool threads; gates must still
// run there, on several threads, with the parent's bits.
TEST(ThreadPool, gates_run_in_a_forked_child) {
  const ExecPolicy two_threads{detected_isa(), 2};
  auto run_gates = [&] {
    Register sv = Register::create(18, 0).value();
    for (std::uint64_t q = 0; q < 18; ++q) {
      (void)testing::apply(sv, GateKind::kH, q, 0, two_threads);
      (void)testing::rotate(sv, GateKind::kRz, q, 0.1 * static_cast<double>(q), two_threads);
      (void)testing::apply(sv, GateKind::kHCpp, q, 0, two_threads);
    }
    return sv.amplitudes()[12345];
  };
  const math_core::Complex64 parent = run_gates();  // the pool now has workers
  const pid_t pid = ::fork();
  ASSERT_NE(pid, -1);
  if (pid == 0) {
    const math_core::Complex64 child = run_gates();
    ::_exit(child.re == parent.re && child.im == parent.im ? 0 : 1);
  }
  int status = 0;
  ASSERT_EQ(::waitpid(pid, &status, 0), pid);
  ASSERT_TRUE(WIFEXITED(status));
  EXPECT_EQ(WEXITSTATUS(status), 0);
}

}  // namespace
}  // namespace velquin::engine
