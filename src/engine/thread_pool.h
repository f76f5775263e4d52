// Threading as a policy with one interface: `parallel_for(threads, ...)` runs a
// loop body over pieces of a range, sequentially when threads is 1 and on a
// persistent pool otherwise. Pieces are independent, so the thread count never
// changes a result; it is an explicit argument so tests can force any count.
#pragma once

#include <atomic>
#include <condition_variable>
#include <cstdint>
#include <mutex>
#include <thread>
#include <vector>

#include "engine/function_ref.h"

namespace velquin::engine {

/// Worker threads that live from first use to the end of the process. The
/// calling thread always runs part 0 itself.
class ThreadPool {
 public:
  ThreadPool() = default;
  ThreadPool(const ThreadPool&) = delete;
  ThreadPool& operator=(const ThreadPool&) = delete;
  ~ThreadPool();

  /// Runs job(p) for every p in [0, parts), part 0 on the calling thread, and
  /// returns when all have finished. Not reentrant: one run at a time.
  void run(unsigned parts, FunctionRef<void(unsigned)> job);

  /// Whether a run is in progress.
  bool busy() const noexcept { return busy_.load(std::memory_order_acquire); }

 private:
  void ensure_workers(unsigned count);
  void worker_loop(unsigned index);

  std::mutex mutex_;
  std::condition_variable wake_;
  std::condition_variable done_;
  std::vector<std::thread> workers_;
  std::uint64_t generation_ = 0;
  unsigned parts_ = 0;
  unsigned pending_ = 0;
  const FunctionRef<void(unsigned)>* job_ = nullptr;
  bool stopping_ = false;
  std::atomic<bool> busy_{false};
};

/// The process's pool, made on first use. Around fork() an idle pool is shut
/// down first, so the process forks with one thread (as Python expects) and
/// both sides make a new pool on demand; a pool caught mid-run by a fork from
/// another thread is abandoned in the child, which has none of its threads.
ThreadPool& shared_pool();

/// Calls body(begin, end) on pieces covering [0, count): up to `threads`
/// pieces, each at least `min_per_piece` long, boundaries on multiples of
/// `align`. One piece runs inline on the calling thread without the pool.
void parallel_for(unsigned threads, std::uint64_t count, std::uint64_t align,
                  std::uint64_t min_per_piece,
                  FunctionRef<void(std::uint64_t, std::uint64_t)> body);

}  // namespace velquin::engine
