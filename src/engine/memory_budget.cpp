#include "engine/memory_budget.h"

#include <sys/resource.h>

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <string_view>

#include "base/messages.h"

namespace velquin::engine {
namespace {

// cgroup v1 writes "no limit" as a huge page-rounded number, v2 as "max".
constexpr std::uint64_t kUnlimited = std::uint64_t{1} << 62;

// The values of "<key> <number>" lines (with an optional colon after the key
// and an optional " kB" after the number) for each of `keys`, in one pass.
template <std::size_t N>
bool read_keyed(const std::string& path, const char* const (&keys)[N],
                std::optional<std::uint64_t> (&values)[N], std::uint64_t unit) {
  std::FILE* f = std::fopen(path.c_str(), "re");
  if (f == nullptr) return false;
  char line[256];
  std::size_t found = 0;
  while (found < N && std::fgets(line, sizeof line, f) != nullptr) {
    for (std::size_t k = 0; k < N; ++k) {
      const std::size_t length = std::strlen(keys[k]);
      if (values[k] || std::strncmp(line, keys[k], length) != 0) continue;
      const char* rest = line + length;
      if (*rest == ':') ++rest;
      if (*rest != ' ' && *rest != '\t') continue;
      unsigned long long number = 0;
      if (std::sscanf(rest, "%llu", &number) == 1) {
        values[k] = number * unit;
        ++found;
      }
    }
  }
  std::fclose(f);
  return true;
}

// One number from a cgroup file; "max", a missing file or junk give empty.
std::optional<std::uint64_t> read_number(const std::string& path) {
  std::FILE* f = std::fopen(path.c_str(), "re");
  if (f == nullptr) return std::nullopt;
  unsigned long long value = 0;
  const bool ok = std::fscanf(f, "%llu", &value) == 1;
  std::fclose(f);
  if (!ok) return std::nullopt;
  return value;
}

struct CgroupFiles {
  const char* limit;
  const char* usage;
  const char* inactive_file;  // key in memory.stat: page cache the kernel drops first
};
constexpr CgroupFiles kV2Files{"memory.max", "memory.current", "inactive_file"};
constexpr CgroupFiles kV1Files{"memory.limit_in_bytes", "memory.usage_in_bytes",
                               "total_inactive_file"};

// Room under the limit of one cgroup directory: limit minus the usage that
// reclaiming page cache cannot give back.
std::optional<std::uint64_t> room_in(const std::string& dir, const CgroupFiles& files) {
  const auto limit = read_number(dir + "/" + files.limit);
  if (!limit || *limit >= kUnlimited) return std::nullopt;
  std::uint64_t usage = read_number(dir + "/" + files.usage).value_or(0);
  const char* const keys[1] = {files.inactive_file};
  std::optional<std::uint64_t> inactive[1];
  read_keyed(dir + "/memory.stat", keys, inactive, 1);
  usage -= std::min(usage, inactive[0].value_or(0));
  return *limit > usage ? *limit - usage : 0;
}

// The smallest room along `path` and its ancestors below `root`.
std::optional<std::uint64_t> room_along(const std::string& root, std::string path,
                                        const CgroupFiles& files) {
  std::optional<std::uint64_t> least;
  while (true) {
    while (path.size() > 1 && path.back() == '/') path.pop_back();
    if (const auto room = room_in(root + (path == "/" ? "" : path), files)) {
      least = least ? std::min(*least, *room) : *room;
    }
    const std::size_t slash = path.rfind('/');
    if (slash == std::string::npos || path == "/") break;
    path.resize(slash == 0 ? 1 : slash);
  }
  return least;
}

// Whether the comma-separated `list` names `controller`.
bool lists_controller(std::string_view list, std::string_view controller) {
  while (!list.empty()) {
    const std::size_t comma = list.find(',');
    if (list.substr(0, comma) == controller) return true;
    if (comma == std::string_view::npos) break;
    list.remove_prefix(comma + 1);
  }
  return false;
}

std::string read_text(const char* path) {
  std::string text;
  std::FILE* f = std::fopen(path, "re");
  if (f == nullptr) return text;
  char buffer[512];
  std::size_t got = 0;
  while ((got = std::fread(buffer, 1, sizeof buffer, f)) > 0) text.append(buffer, got);
  std::fclose(f);
  return text;
}

}  // namespace

namespace detail {

std::optional<std::uint64_t> cgroup_room_bytes(const std::string& proc_self_cgroup,
                                               const std::string& v2_root,
                                               const std::string& v1_root) noexcept {
  try {
    std::optional<std::uint64_t> least;
    std::string_view text = proc_self_cgroup;
    while (!text.empty()) {
      const std::size_t end = text.find('\n');
      const std::string_view line = text.substr(0, end);
      text.remove_prefix(end == std::string_view::npos ? text.size() : end + 1);
      // "<hierarchy id>:<controllers>:<path>"
      const std::size_t first = line.find(':');
      const std::size_t second =
          first == std::string_view::npos ? first : line.find(':', first + 1);
      if (second == std::string_view::npos) continue;
      const std::string_view controllers = line.substr(first + 1, second - first - 1);
      const std::string path(line.substr(second + 1));
      if (path.empty() || path[0] != '/') continue;
      std::optional<std::uint64_t> room;
      if (line.substr(0, first) == "0" && controllers.empty()) {
        room = room_along(v2_root, path, kV2Files);
      } else if (lists_controller(controllers, "memory")) {
        room = room_along(v1_root, path, kV1Files);
      }
      if (room) least = least ? std::min(*least, *room) : *room;
    }
    return least;
  } catch (...) {  // out of memory for a path string: no figure, not a failure
    return std::nullopt;
  }
}

Status check_against(std::uint64_t bytes, const char* what, std::uint64_t resident,
                     std::optional<std::uint64_t> available) {
  if (bytes < kCheckedAllocationBytes || !available) return Status::Ok();
  // What this request could have had: what is left plus what it already holds.
  const std::uint64_t obtainable = *available + std::min(resident, bytes);
  if (bytes <= obtainable) return Status::Ok();
  return Error{ErrorKind::kMemoryError, messages::allocation_refused(bytes, what, obtainable)};
}

}  // namespace detail

std::optional<std::uint64_t> available_memory_bytes() noexcept {
  const char* const keys[2] = {"MemAvailable", "SwapFree"};
  std::optional<std::uint64_t> values[2];
  try {
    if (!read_keyed("/proc/meminfo", keys, values, 1024) || !values[0]) return std::nullopt;
    std::uint64_t total = *values[0] + values[1].value_or(0);
    const auto room = detail::cgroup_room_bytes(read_text("/proc/self/cgroup"), "/sys/fs/cgroup",
                                                "/sys/fs/cgroup/memory");
    if (room) total = std::min(total, *room);
    return total;
  } catch (...) {
    return std::nullopt;
  }
}

Status check_allocation(std::uint64_t bytes, const char* what, std::uint64_t resident) {
  if (bytes < kCheckedAllocationBytes) return Status::Ok();
  return detail::check_against(bytes, what, resident, available_memory_bytes());
}

std::optional<std::uint64_t> address_space_room_bytes() noexcept {
  struct rlimit limit;
  if (::getrlimit(RLIMIT_AS, &limit) != 0 || limit.rlim_cur == RLIM_INFINITY) return std::nullopt;
  const char* const keys[1] = {"VmSize"};
  std::optional<std::uint64_t> values[1];
  if (!read_keyed("/proc/self/status", keys, values, 1024) || !values[0]) return std::nullopt;
  const std::uint64_t cap = static_cast<std::uint64_t>(limit.rlim_cur);
  return cap > *values[0] ? cap - *values[0] : 0;
}

Status check_allocation_in_limits(std::uint64_t bytes, const char* what) {
  if (bytes < kCheckedAllocationBytes) return Status::Ok();
  std::optional<std::uint64_t> available = available_memory_bytes();
  if (const std::optional<std::uint64_t> room = address_space_room_bytes()) {
    available = available ? std::min(*available, *room) : *room;
  }
  return detail::check_against(bytes, what, 0, available);
}

}  // namespace velquin::engine
