// How much memory the process can still obtain without the kernel's
// out-of-memory killer stepping in. Linux overcommits: a huge allocation
// "succeeds" and the process dies later, when the pages are touched. Large
// allocations are therefore checked against this figure first.
#pragma once

#include <cstdint>
#include <optional>

#include "engine/status.h"

namespace velquin::engine {

/// Requests below this size are not checked: they cannot threaten the machine.
inline constexpr std::uint64_t kCheckedAllocationBytes = std::uint64_t{64} << 20;

/// Bytes still obtainable: MemAvailable plus free swap, further limited by the
/// cgroup's memory limit when one is set. Empty when it cannot be determined.
std::optional<std::uint64_t> available_memory_bytes() noexcept;

/// Ok when `bytes` may be allocated; otherwise MemoryError naming the bytes
/// and `what`. Requests below kCheckedAllocationBytes always pass.
Status check_allocation(std::uint64_t bytes, const char* what);

}  // namespace velquin::engine
