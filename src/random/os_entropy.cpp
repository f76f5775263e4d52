#include "random/os_entropy.h"

#include <fcntl.h>
#include <poll.h>
#include <sys/syscall.h>
#include <unistd.h>

#include <array>
#include <atomic>
#include <cstring>
#include <mutex>
#include <optional>
#include <string_view>

#include "base/messages.h"

#if defined(__GLIBC__)
// The XSI strerror_r: glibc exports it under this name when _GNU_SOURCE makes
// strerror_r the GNU variant.
extern "C" int __xpg_strerror_r(int errnum, char* buf, std::size_t buflen);
#endif

namespace velquin::random {
namespace {

bool is_valid_utf8(std::string_view text) {
  std::size_t i = 0;
  while (i < text.size()) {
    const auto lead = static_cast<unsigned char>(text[i]);
    std::size_t extra;
    std::uint32_t value;
    if (lead < 0x80) {
      ++i;
      continue;
    } else if ((lead & 0xE0) == 0xC0) {
      extra = 1;
      value = lead & 0x1F;
    } else if ((lead & 0xF0) == 0xE0) {
      extra = 2;
      value = lead & 0x0F;
    } else if ((lead & 0xF8) == 0xF0) {
      extra = 3;
      value = lead & 0x07;
    } else {
      return false;
    }
    if (text.size() - i <= extra) return false;
    for (std::size_t k = 1; k <= extra; ++k) {
      const auto next = static_cast<unsigned char>(text[i + k]);
      if ((next & 0xC0) != 0x80) return false;
      value = (value << 6) | (next & 0x3F);
    }
    constexpr std::uint32_t kSmallestOfLength[4] = {0, 0x80, 0x800, 0x10000};
    if (value < kSmallestOfLength[extra] || value > 0x10FFFF ||
        (value >= 0xD800 && value <= 0xDFFF)) {
      return false;
    }
    i += extra + 1;
  }
  return true;
}

// The system's text for an error number, or nothing when it has none.
std::optional<std::string> os_error_text(int code) {
  std::array<char, 128> buffer{};
#if defined(__GLIBC__)
  const int failed = __xpg_strerror_r(code, buffer.data(), buffer.size());
#else
  const int failed = strerror_r(code, buffer.data(), buffer.size());
#endif
  if (failed != 0) return std::nullopt;
  const std::string_view text(buffer.data(), strnlen(buffer.data(), buffer.size()));
  if (!is_valid_utf8(text)) return std::nullopt;
  return std::string(text);
}

// Owns one file descriptor and closes it on every path.
class ScopedDescriptor {
 public:
  explicit ScopedDescriptor(int fd) noexcept : fd_(fd) {}
  ScopedDescriptor(const ScopedDescriptor&) = delete;
  ScopedDescriptor& operator=(const ScopedDescriptor&) = delete;
  ~ScopedDescriptor() { ::close(fd_); }
  int get() const noexcept { return fd_; }

 private:
  int fd_;
};

Result<int> open_read_only(const char* path) {
  for (;;) {
    const int fd = ::open(path, O_RDONLY | O_CLOEXEC);
    if (fd >= 0) return fd;
    const EntropyError error = EntropyError::from_errno();
    if (error != EntropyError::os(EINTR)) return error.as_error();
  }
}

// Blocks until the kernel's pool is initialised, shown by "/dev/random"
// becoming readable; then "/dev/urandom" never returns weak bytes.
Status wait_until_pool_ready() {
  Result<int> opened = open_read_only("/dev/random");
  if (!opened) return std::move(opened).error();
  const ScopedDescriptor random_fd(opened.value());
  pollfd request{random_fd.get(), POLLIN, 0};
  for (;;) {
    if (::poll(&request, 1, -1) >= 0) return Status::Ok();
    const EntropyError error = EntropyError::from_errno();
    if (error != EntropyError::os(EINTR) && error != EntropyError::os(EAGAIN)) {
      return error.as_error();
    }
  }
}

constexpr int kNoDescriptor = -1;
std::atomic<int> g_urandom_fd{kNoDescriptor};
std::mutex g_urandom_mutex;

// The process-wide "/dev/urandom" descriptor, opened on first use and never
// closed.
Result<int> urandom_descriptor() {
  int fd = g_urandom_fd.load(std::memory_order_acquire);
  if (fd != kNoDescriptor) return fd;
  const std::lock_guard<std::mutex> lock(g_urandom_mutex);
  fd = g_urandom_fd.load(std::memory_order_acquire);
  if (fd != kNoDescriptor) return fd;
  if (Status ready = wait_until_pool_ready(); !ready) return std::move(ready).error();
  Result<int> opened = open_read_only("/dev/urandom");
  if (opened) g_urandom_fd.store(opened.value(), std::memory_order_release);
  return opened;
}

enum class Getrandom : int { kUnknown, kUsable, kUnusable };
std::atomic<Getrandom> g_getrandom{Getrandom::kUnknown};

ssize_t getrandom_call(void* buffer, std::size_t length) {
  return static_cast<ssize_t>(::syscall(SYS_getrandom, buffer, length, 0));
}

// Decided once per process; racing threads compute the same answer.
bool getrandom_usable() {
  Getrandom known = g_getrandom.load(std::memory_order_relaxed);
  if (known == Getrandom::kUnknown) {
    bool usable = true;
    if (getrandom_call(nullptr, 0) < 0) {
      const int error = errno;
      usable = error != ENOSYS && error != EPERM;
    }
    known = usable ? Getrandom::kUsable : Getrandom::kUnusable;
    g_getrandom.store(known, std::memory_order_relaxed);
  }
  return known == Getrandom::kUsable;
}

}  // namespace

std::string EntropyError::description() const {
  if (code_ == kUnexpected) return messages::kEntropyUnexpected;
  if (code_ == kErrnoNotPositive) return messages::kEntropyErrnoNotPositive;
  if (code_ >= kInternalStart) return messages::entropy_unknown_code(code_);
  const int os_code = static_cast<int>(code_);
  if (std::optional<std::string> text = os_error_text(os_code)) return *std::move(text);
  return messages::entropy_os_code(os_code);
}

Error EntropyError::as_error() const {
  return Error{ErrorKind::kPanic, messages::entropy_failed(description())};
}

Status fill_from_device_files(std::span<std::uint8_t> dest) {
  if (dest.empty()) return Status::Ok();
  const Result<int> urandom = urandom_descriptor();
  if (!urandom) return urandom.error();
  return fill_by_reads(dest, [fd = urandom.value()](std::uint8_t* data, std::size_t length) {
    return ::read(fd, data, length);
  });
}

Status fill_from_os(std::span<std::uint8_t> dest) {
  if (dest.empty()) return Status::Ok();
  if (!getrandom_usable()) return fill_from_device_files(dest);
  return fill_by_reads(
      dest, [](std::uint8_t* data, std::size_t length) { return getrandom_call(data, length); });
}

Result<StdRng> seed_from_entropy_source(const EntropyFill& fill) {
  std::array<std::uint8_t, 32> seed{};
  if (Status filled = fill(seed); !filled) return std::move(filled).error();
  return StdRng::from_seed(seed);
}

}  // namespace velquin::random
