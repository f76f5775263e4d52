// Runs a list of prepared operations over a register in cache-sized blocks:
// the gate player of circuits and programs alike.
//
// A block is every amplitude whose index agrees on all bits except the low
// bits [0, low_bits) and a few chosen higher bits. Consecutive operations whose
// qubits all lie among a block's free bits only ever mix amplitudes of the
// same block, so such a run of gates can be played block by block: each
// block is gathered into a small buffer (contiguous chunks of 2^low_bits
// amplitudes), every gate of the run is applied to it in order, and it is
// written back. Each pair still sees the same gates in the same order with
// the same operands, so the result is bit for bit that of applying the gates
// one after another over the whole register; only the memory traffic drops.
// Gates are never fused or reordered.
#pragma once

#include <cstdint>
#include <span>

#include "engine/exec_policy.h"
#include "engine/interrupt.h"
#include "engine/op.h"
#include "math_core/math_core.h"

namespace velquin::engine {

struct BlockShape {
  unsigned block_bits = 14;  // 2^14 amplitudes: 256 KiB, well inside a core's L2
  unsigned low_bits = 8;     // chunks of 2^8 amplitudes (4 KiB) are always free bits
  unsigned whole_bits = 0;   // registers up to 2^max(block_bits, whole_bits) run whole
  // Runs of gates on qubits below inner_bits go 2^inner_bits amplitudes at a
  // time through a whole register or block: 32 KiB, inside every x86 L1.
  unsigned inner_bits = 11;

  /// For a core whose L2 holds `cache_amplitudes` (a power of two): a
  /// register that fits runs gate after gate, as blocking would only add
  /// copies; larger ones in blocks of half the cache.
  static BlockShape for_cache(std::uint64_t cache_amplitudes) noexcept;
};

/// Applies `ops` in order to `data` (2^n_qubits amplitudes) with `policy`;
/// every op's qubits must be below n_qubits. `interrupt` is asked only where
/// `data` holds exactly the state after a whole prefix of `ops` (after a run
/// has been played on every block); false when it said stop there.
bool run_blocked(std::span<math_core::Complex64> data, unsigned n_qubits, std::span<const Op> ops,
                 const ExecPolicy& policy, BlockShape shape = {},
                 InterruptCheck interrupt = kNeverInterrupt);

}  // namespace velquin::engine
