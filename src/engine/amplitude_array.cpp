#include "engine/amplitude_array.h"

#include <sys/mman.h>

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <utility>

#include "base/messages.h"
#include "engine/memory_budget.h"
#include "engine/thread_pool.h"

// Older C library headers lack it; older kernels answer EINVAL (see below).
#ifndef MADV_POPULATE_WRITE
#define MADV_POPULATE_WRITE 23
#endif

namespace velquin::engine {
namespace {

constexpr std::size_t kAlignment = 64;
constexpr std::uint64_t kHugePage = std::uint64_t{2} << 20;
constexpr std::uint64_t kSmallPage = 4096;
// Blocks from this size on come straight from the kernel: already zero, and
// eligible for transparent huge pages.
constexpr std::uint64_t kMapThresholdBytes = kHugePage;
// Below this a block is populated on the calling thread alone.
constexpr std::uint64_t kHugePagesPerPiece = 16;
// Population re-checks the available memory after each slice this long.
constexpr std::uint64_t kPopulateSlice = std::uint64_t{256} << 20;

Error allocation_error(std::uint64_t bytes) {
  return Error{ErrorKind::kMemoryError,
               messages::allocation_failed(bytes, messages::kForAmplitudeArray)};
}

// Maps `bytes` (a multiple of the huge-page size) at a huge-page boundary, so
// that every 2 MiB of the block can be one transparent huge page.
void* map_aligned(std::uint64_t bytes) {
  const std::uint64_t padded = bytes + kHugePage;
  void* raw = ::mmap(nullptr, padded, PROT_READ | PROT_WRITE, MAP_PRIVATE | MAP_ANONYMOUS, -1, 0);
  if (raw == MAP_FAILED) return nullptr;
  const auto start = reinterpret_cast<std::uintptr_t>(raw);
  const std::uintptr_t aligned = (start + kHugePage - 1) / kHugePage * kHugePage;
  const std::uint64_t head = aligned - start;
  if (head > 0) ::munmap(raw, head);
  const std::uint64_t tail = padded - head - bytes;
  if (tail > 0) ::munmap(reinterpret_cast<void*>(aligned + bytes), tail);
  return reinterpret_cast<void*>(aligned);
}

// Faults every page of [p, p + bytes) in now, on `threads` threads. False when
// the kernel refuses.
bool populate_range(unsigned char* base, std::uint64_t bytes, unsigned threads) {
  std::atomic<bool> failed{false};
  parallel_for(threads, bytes / kHugePage, 1, kHugePagesPerPiece,
               [&](std::uint64_t begin, std::uint64_t end) {
                 unsigned char* first = base + begin * kHugePage;
                 const std::uint64_t length = (end - begin) * kHugePage;
                 if (::madvise(first, length, MADV_POPULATE_WRITE) == 0) return;
                 // EINVAL: a kernel without it. Touching pages does the same, slower.
                 if (errno != EINVAL && errno != EINTR) {
                   failed.store(true, std::memory_order_relaxed);
                   return;
                 }
                 detail::touch_pages(first, length);
               });
  return !failed.load(std::memory_order_relaxed);
}

// Backs the whole block with memory before it is handed out. A lazily mapped
// block leaves the machine's available memory unchanged until it is touched,
// so a second large request would be promised the same memory again and the
// out-of-memory killer would settle the difference later. The block is filled
// a slice at a time, checking before each slice that the rest still fits:
// another process filling a block at the same moment makes one of the two
// fail with MemoryError instead of both running the machine out of memory.
Status populate(void* p, std::uint64_t mapped, std::uint64_t requested, unsigned threads) {
  auto* base = static_cast<unsigned char*>(p);
  for (std::uint64_t done = 0; done < mapped; done += kPopulateSlice) {
    if (done > 0) {
      if (Status room = check_allocation(requested, messages::kForAmplitudeArray, done); !room)
        return room;
    }
    if (!populate_range(base + done, std::min(kPopulateSlice, mapped - done), threads)) {
      return allocation_error(requested);
    }
  }
  return Status::Ok();
}

}  // namespace

void detail::touch_pages(unsigned char* first, std::uint64_t bytes) noexcept {
  for (std::uint64_t offset = 0; offset < bytes; offset += kSmallPage) {
    *static_cast<volatile unsigned char*>(first + offset) = 0;
  }
}

AmplitudeArray::AmplitudeArray(AmplitudeArray&& other) noexcept
    : data_(std::exchange(other.data_, nullptr)),
      count_(std::exchange(other.count_, 0)),
      mapped_bytes_(std::exchange(other.mapped_bytes_, 0)) {}

AmplitudeArray& AmplitudeArray::operator=(AmplitudeArray&& other) noexcept {
  if (this != &other) {
    release();
    data_ = std::exchange(other.data_, nullptr);
    count_ = std::exchange(other.count_, 0);
    mapped_bytes_ = std::exchange(other.mapped_bytes_, 0);
  }
  return *this;
}

AmplitudeArray::~AmplitudeArray() { release(); }

void AmplitudeArray::release() noexcept {
  if (data_ == nullptr) return;
  if (mapped_bytes_ > 0) {
    ::munmap(data_, mapped_bytes_);
  } else {
    std::free(data_);
  }
  data_ = nullptr;
  count_ = 0;
  mapped_bytes_ = 0;
}

Result<AmplitudeArray> AmplitudeArray::zeroed(std::uint64_t count, unsigned threads) {
  // Saturates far beyond any machine's memory, so the request fails below.
  constexpr std::uint64_t kMostBytes = std::uint64_t{1} << 62;
  const std::uint64_t bytes =
      count <= kMostBytes / sizeof(Complex64) ? count * sizeof(Complex64) : kMostBytes;
  if (Status budget = check_allocation(bytes, messages::kForAmplitudeArray); !budget)
    return std::move(budget).error();

  if (bytes >= kMapThresholdBytes) {
    const std::uint64_t mapped = (bytes + kHugePage - 1) / kHugePage * kHugePage;
    void* p = map_aligned(mapped);
    if (p == nullptr) return allocation_error(bytes);
    // Owned from here on: every failure below unmaps it.
    AmplitudeArray array(static_cast<Complex64*>(p), count, mapped);
#ifdef MADV_HUGEPAGE
    ::madvise(p, mapped, MADV_HUGEPAGE);  // advisory: ignore failure
#endif
    if (Status filled = populate(p, mapped, bytes, threads); !filled) {
      return std::move(filled).error();
    }
    return array;
  }
  void* p = nullptr;
  const std::size_t padded = (bytes + kAlignment - 1) / kAlignment * kAlignment;
  if (::posix_memalign(&p, kAlignment, padded) != 0 || p == nullptr) {
    return allocation_error(bytes);
  }
  std::memset(p, 0, padded);
  return AmplitudeArray(static_cast<Complex64*>(p), count, 0);
}

}  // namespace velquin::engine
