#include "engine/amplitude_array.h"

#include <sys/mman.h>

#include <cstdlib>
#include <cstring>
#include <utility>

#include "engine/memory_budget.h"
#include "engine/messages.h"

namespace velquin::engine {
namespace {

constexpr std::size_t kAlignment = 64;
// Blocks from this size on come straight from the kernel: already zero, and
// eligible for transparent huge pages.
constexpr std::uint64_t kMapThresholdBytes = std::uint64_t{2} << 20;

}  // namespace

AmplitudeArray::AmplitudeArray(AmplitudeArray&& other) noexcept
    : data_(std::exchange(other.data_, nullptr)),
      count_(std::exchange(other.count_, 0)),
      mapped_(std::exchange(other.mapped_, false)) {}

AmplitudeArray& AmplitudeArray::operator=(AmplitudeArray&& other) noexcept {
  if (this != &other) {
    release();
    data_ = std::exchange(other.data_, nullptr);
    count_ = std::exchange(other.count_, 0);
    mapped_ = std::exchange(other.mapped_, false);
  }
  return *this;
}

AmplitudeArray::~AmplitudeArray() { release(); }

void AmplitudeArray::release() noexcept {
  if (data_ == nullptr) return;
  if (mapped_) {
    ::munmap(data_, count_ * sizeof(Complex64));
  } else {
    std::free(data_);
  }
  data_ = nullptr;
  count_ = 0;
}

Result<AmplitudeArray> AmplitudeArray::zeroed(std::uint64_t count) {
  const std::uint64_t bytes = count * sizeof(Complex64);
  constexpr const char* kWhat = "the amplitude array";
  if (Status budget = check_allocation(bytes, kWhat); !budget) return std::move(budget).error();

  if (bytes >= kMapThresholdBytes) {
    void* p = ::mmap(nullptr, bytes, PROT_READ | PROT_WRITE, MAP_PRIVATE | MAP_ANONYMOUS, -1, 0);
    if (p == MAP_FAILED) return Error{ErrorKind::kMemoryError, messages::allocation_failed(bytes, kWhat)};
#ifdef MADV_HUGEPAGE
    ::madvise(p, bytes, MADV_HUGEPAGE);  // advisory: ignore failure
#endif
    return AmplitudeArray(static_cast<Complex64*>(p), count, true);
  }
  void* p = nullptr;
  const std::size_t padded = (bytes + kAlignment - 1) / kAlignment * kAlignment;
  if (::posix_memalign(&p, kAlignment, padded) != 0 || p == nullptr) {
    return Error{ErrorKind::kMemoryError, messages::allocation_failed(bytes, kWhat)};
  }
  std::memset(p, 0, padded);
  return AmplitudeArray(static_cast<Complex64*>(p), count, false);
}

}  // namespace velquin::engine
