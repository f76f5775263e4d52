// How much memory the process can still obtain without the kernel's
// out-of-memory killer stepping in. Linux overcommits: a huge allocation
// "succeeds" and the process dies later, when the pages are touched. Large
// allocations are therefore checked against this figure first.
#pragma once

#include <cstdint>
#include <optional>
#include <string>

#include "base/result.h"

namespace velquin::engine {

/// Requests below this size are not checked: they cannot threaten the machine.
inline constexpr std::uint64_t kCheckedAllocationBytes = std::uint64_t{64} << 20;

/// Bytes still obtainable: MemAvailable plus free swap, further limited by the
/// room left under the memory limit of this process's cgroup and each of its
/// ancestors (v1 or v2). Empty when it cannot be determined.
std::optional<std::uint64_t> available_memory_bytes() noexcept;

/// Ok when `bytes` may be allocated, `resident` of which the caller already
/// holds (and so are no longer counted as available); otherwise MemoryError
/// naming the bytes, `what` and the bytes the request could have had.
/// Requests below kCheckedAllocationBytes always pass.
Status check_allocation(std::uint64_t bytes, const char* what, std::uint64_t resident = 0);

/// Room left under this process's address-space limit (RLIMIT_AS), when one is set.
std::optional<std::uint64_t> address_space_room_bytes() noexcept;

/// check_allocation for work beyond a register's own (the companion module's
/// extra states): the address-space limit, when set, counts as well.
Status check_allocation_in_limits(std::uint64_t bytes, const char* what);

namespace detail {

/// The decision of check_allocation for a given figure of available memory.
Status check_against(std::uint64_t bytes, const char* what, std::uint64_t resident,
                     std::optional<std::uint64_t> available);

/// Room under the memory limits of the cgroup named in `proc_self_cgroup`
/// (the text of /proc/self/cgroup) and its ancestors, read from the cgroup
/// file systems mounted at `v2_root` (unified) and `v1_root` (memory
/// controller). Empty when no limit applies or none can be read.
std::optional<std::uint64_t> cgroup_room_bytes(const std::string& proc_self_cgroup,
                                               const std::string& v2_root,
                                               const std::string& v1_root) noexcept;

}  // namespace detail
}  // namespace velquin::engine
