#include "engine/memory_budget.h"

#include <algorithm>
#include <cstdio>
#include <cstring>

#include "engine/messages.h"

namespace velquin::engine {
namespace {

// Reads "<key>: <value> kB" from /proc/meminfo.
std::optional<std::uint64_t> meminfo_bytes(const char* key) noexcept {
  std::FILE* f = std::fopen("/proc/meminfo", "re");
  if (f == nullptr) return std::nullopt;
  char line[256];
  std::optional<std::uint64_t> found;
  const std::size_t key_len = std::strlen(key);
  while (std::fgets(line, sizeof line, f) != nullptr) {
    if (std::strncmp(line, key, key_len) == 0 && line[key_len] == ':') {
      unsigned long long kib = 0;
      if (std::sscanf(line + key_len + 1, "%llu", &kib) == 1) found = kib * 1024ULL;
      break;
    }
  }
  std::fclose(f);
  return found;
}

// Reads one unsigned number from a cgroup file; "max" or a missing file gives empty.
std::optional<std::uint64_t> cgroup_value(const char* path) noexcept {
  std::FILE* f = std::fopen(path, "re");
  if (f == nullptr) return std::nullopt;
  unsigned long long value = 0;
  const bool ok = std::fscanf(f, "%llu", &value) == 1;
  std::fclose(f);
  if (!ok) return std::nullopt;
  return value;
}

}  // namespace

std::optional<std::uint64_t> available_memory_bytes() noexcept {
  std::optional<std::uint64_t> available = meminfo_bytes("MemAvailable");
  if (!available) return std::nullopt;
  std::uint64_t total = *available + meminfo_bytes("SwapFree").value_or(0);
  const auto limit = cgroup_value("/sys/fs/cgroup/memory.max");
  const auto usage = cgroup_value("/sys/fs/cgroup/memory.current");
  if (limit && usage) total = std::min(total, *limit > *usage ? *limit - *usage : 0);
  return total;
}

Status check_allocation(std::uint64_t bytes, const char* what) {
  if (bytes < kCheckedAllocationBytes) return Status::Ok();
  const auto available = available_memory_bytes();
  if (available && bytes > *available) {
    return Error{ErrorKind::kMemoryError, messages::allocation_failed(bytes, what) +
                                              " (" + std::to_string(*available) +
                                              " bytes available)"};
  }
  return Status::Ok();
}

}  // namespace velquin::engine
