#include "engine/thread_pool.h"

#include <pthread.h>

#include <algorithm>
#include <atomic>

namespace velquin::engine {

ThreadPool::~ThreadPool() {
  {
    std::lock_guard<std::mutex> lock(mutex_);
    stopping_ = true;
  }
  wake_.notify_all();
  for (std::thread& worker : workers_) worker.join();
}

void ThreadPool::ensure_workers(unsigned count) {
  while (workers_.size() < count) {
    const unsigned index = static_cast<unsigned>(workers_.size());
    workers_.emplace_back([this, index] { worker_loop(index); });
  }
}

void ThreadPool::worker_loop(unsigned index) {
  std::uint64_t seen = 0;
  std::unique_lock<std::mutex> lock(mutex_);
  for (;;) {
    wake_.wait(lock, [&] { return stopping_ || generation_ != seen; });
    if (stopping_) return;
    seen = generation_;
    const unsigned part = index + 1;  // part 0 belongs to the caller
    if (part >= parts_) continue;
    const FunctionRef<void(unsigned)>* job = job_;
    lock.unlock();
    (*job)(part);
    lock.lock();
    if (--pending_ == 0) done_.notify_one();
  }
}

void ThreadPool::run(unsigned parts, FunctionRef<void(unsigned)> job) {
  if (parts <= 1) {
    job(0);
    return;
  }
  busy_.store(true, std::memory_order_release);
  {
    std::lock_guard<std::mutex> lock(mutex_);
    ensure_workers(parts - 1);
    job_ = &job;
    parts_ = parts;
    pending_ = parts - 1;
    ++generation_;
  }
  wake_.notify_all();
  job(0);
  std::unique_lock<std::mutex> lock(mutex_);
  done_.wait(lock, [&] { return pending_ == 0; });
  busy_.store(false, std::memory_order_release);
}

namespace {

std::atomic<ThreadPool*> g_pool{nullptr};

// Before fork: join an idle pool's workers so the process forks single-threaded.
void stop_idle_pool() {
  ThreadPool* pool = g_pool.load(std::memory_order_acquire);
  if (pool != nullptr && !pool->busy()) {
    g_pool.store(nullptr, std::memory_order_release);
    delete pool;
  }
}

// In a child, a pool still present was busy at the fork: its workers do not
// exist there and its lock may be in any state, so leave it untouched (leaked).
void forget_pool_in_child() { g_pool.store(nullptr, std::memory_order_relaxed); }

}  // namespace

ThreadPool& shared_pool() {
  static std::once_flag registered;
  std::call_once(registered,
                 [] { ::pthread_atfork(stop_idle_pool, nullptr, forget_pool_in_child); });
  ThreadPool* pool = g_pool.load(std::memory_order_acquire);
  if (pool == nullptr) {
    pool = new ThreadPool();  // lives until a fork or the end of the process
    g_pool.store(pool, std::memory_order_release);
  }
  return *pool;
}

void parallel_for(unsigned threads, std::uint64_t count, std::uint64_t align,
                  std::uint64_t min_per_piece,
                  FunctionRef<void(std::uint64_t, std::uint64_t)> body) {
  const std::uint64_t most =
      std::max<std::uint64_t>(1, count / std::max<std::uint64_t>(1, min_per_piece));
  const unsigned pieces =
      static_cast<unsigned>(std::min<std::uint64_t>(std::max(threads, 1u), most));
  if (pieces <= 1) {
    if (count > 0) body(0, count);
    return;
  }
  auto boundary = [&](unsigned p) -> std::uint64_t {
    if (p >= pieces) return count;
    return count / pieces * p / align * align;
  };
  shared_pool().run(pieces, [&](unsigned p) {
    const std::uint64_t begin = boundary(p), end = boundary(p + 1);
    if (begin < end) body(begin, end);
  });
}

}  // namespace velquin::engine
