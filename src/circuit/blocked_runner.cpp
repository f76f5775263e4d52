#include "circuit/blocked_runner.h"

#include <algorithm>
#include <array>
#include <bit>
#include <cstring>
#include <vector>

#include "engine/thread_pool.h"
#include "math_core/pair_space.h"

namespace velquin::circuit {
namespace {

using engine::ExecPolicy;
using engine::GateOp;
using math_core::Complex64;

// The high (>= low_bits) qubits a run's blocks keep free, ascending; few.
struct HighBits {
  std::array<unsigned, 32> bits{};
  unsigned count = 0;

  bool contains(unsigned q) const noexcept {
    return std::find(bits.begin(), bits.begin() + count, q) != bits.begin() + count;
  }
  void insert(unsigned q) noexcept {
    if (contains(q)) return;
    bits[count++] = q;
    std::sort(bits.begin(), bits.begin() + count);
  }
  unsigned position(unsigned q, unsigned low_bits) const noexcept {
    if (q < low_bits) return q;
    return low_bits +
           static_cast<unsigned>(std::find(bits.begin(), bits.begin() + count, q) - bits.begin());
  }
};

// Whether `op` fits a run whose blocks keep `high` free, if at most `limit`
// high bits may be free; on success `high` holds the op's high qubits too.
bool admit(const GateOp& op, unsigned low_bits, unsigned limit, HighBits& high) {
  HighBits grown = high;
  for (unsigned i = 0; i < op.arity(); ++i) {
    if (op.qubit(i) >= low_bits) grown.insert(op.qubit(i));
  }
  if (grown.count > limit) return false;
  high = grown;
  return true;
}

std::array<unsigned, 2> positions_of(const GateOp& op, const HighBits& high, unsigned low_bits) {
  return {high.position(op.qubit(0), low_bits), high.position(op.qubit(op.arity() - 1), low_bits)};
}

// One buffer per thread, reused across runs and calls.
std::span<Complex64> scratch(std::size_t size) {
  thread_local std::vector<Complex64> buffer;
  if (buffer.size() < size) buffer.resize(size);
  return {buffer.data(), size};
}

// How many gates a run may hold: the interrupt is asked between runs only,
// so a run holds a bounded amount of work (about 2^30 amplitude passes, at
// least 16 gates).
std::size_t longest_run(std::uint64_t amplitudes) {
  return std::max<std::uint64_t>(16, (std::uint64_t{1} << 30) / amplitudes);
}

using Positions = std::array<unsigned, 2>;

// Plays ops[i] at positions[i] on `data` in order, on this thread. A run of
// two or more gates whose positions all lie below inner_bits is played on
// 2^inner_bits amplitudes at a time, in place, so each such block stays in
// L1 through the run. `poll`, if given, counts the work after each whole
// prefix and may stop it (false).
bool play_in_cache(std::span<Complex64> data, std::span<const GateOp> ops,
                   std::span<const Positions> positions, const ExecPolicy& inside,
                   unsigned inner_bits, engine::InterruptPoll* poll) {
  const std::uint64_t inner = std::uint64_t{1} << inner_bits;
  const std::size_t longest = longest_run(data.size());
  auto low = [&](std::size_t i) { return std::max(positions[i][0], positions[i][1]) < inner_bits; };
  std::size_t first = 0;
  while (first < ops.size()) {
    std::size_t last = first;
    while (data.size() > inner && last < ops.size() && last - first < longest && low(last)) ++last;
    if (last - first >= 2) {
      for (std::uint64_t b = 0; b < data.size(); b += inner) {
        const std::span<Complex64> block = data.subspan(b, inner);
        for (std::size_t i = first; i < last; ++i) ops[i].run(block, positions[i], inside);
      }
    } else {
      last = first + 1;
      ops[first].run(data, positions[first], inside);
    }
    if (poll != nullptr && poll->after(data.size() * (last - first))) return false;
    first = last;
  }
  return true;
}

// Plays `ops` block by block; every op's qubits are below low_bits or in `high`.
void run_group(std::span<Complex64> data, unsigned n_qubits, std::span<const GateOp> ops,
               const HighBits& high, unsigned low_bits, unsigned inner_bits,
               const ExecPolicy& policy) {
  const ExecPolicy inside{policy.isa, 1, policy.prefetch_from};
  std::vector<Positions> positions;
  positions.reserve(ops.size());
  for (const GateOp& op : ops) positions.push_back(positions_of(op, high, low_bits));

  const unsigned block_bits = low_bits + high.count;
  const std::uint64_t block_size = std::uint64_t{1} << block_bits;
  const std::uint64_t blocks = std::uint64_t{1} << (n_qubits - block_bits);

  if (high.count == 0) {  // blocks are contiguous: work in place
    engine::parallel_for(policy.threads, blocks, 1, 1, [&](std::uint64_t begin, std::uint64_t end) {
      for (std::uint64_t b = begin; b < end; ++b) {
        play_in_cache(data.subspan(b * block_size, block_size), ops, positions, inside, inner_bits,
                      nullptr);
      }
    });
    return;
  }

  const std::uint64_t chunk = std::uint64_t{1} << low_bits;
  const std::uint64_t chunks = std::uint64_t{1} << high.count;
  engine::parallel_for(policy.threads, blocks, 1, 1, [&](std::uint64_t begin, std::uint64_t end) {
    const std::span<Complex64> block = scratch(block_size);
    for (std::uint64_t b = begin; b < end; ++b) {
      // The block's first index: b's bits spread over the bits that are not free.
      std::uint64_t base = b << low_bits;
      for (unsigned i = 0; i < high.count; ++i)
        base = math_core::insert_zero_bit(base, high.bits[i]);
      auto offset = [&](std::uint64_t c) {
        std::uint64_t index = base;
        for (unsigned i = 0; i < high.count; ++i) {
          if (((c >> i) & 1U) != 0) index |= std::uint64_t{1} << high.bits[i];
        }
        return index;
      };
      for (std::uint64_t c = 0; c < chunks; ++c) {
        std::memcpy(block.data() + c * chunk, data.data() + offset(c), chunk * sizeof(Complex64));
      }
      play_in_cache(block, ops, positions, inside, inner_bits, nullptr);
      for (std::uint64_t c = 0; c < chunks; ++c) {
        std::memcpy(data.data() + offset(c), block.data() + c * chunk, chunk * sizeof(Complex64));
      }
    }
  });
}

}  // namespace

BlockShape BlockShape::for_cache(std::uint64_t cache_amplitudes) noexcept {
  const auto bits = static_cast<unsigned>(std::bit_width(cache_amplitudes) - 1);
  BlockShape shape;
  shape.block_bits = std::max(shape.low_bits + 2, bits - 1);
  shape.whole_bits = bits;
  return shape;
}

bool run_blocked(std::span<Complex64> data, unsigned n_qubits, std::span<const GateOp> ops,
                 const ExecPolicy& policy, BlockShape shape, engine::InterruptCheck interrupt) {
  // One unit of work per amplitude a gate passes over.
  engine::InterruptPoll poll(interrupt);
  if (n_qubits <= std::max(shape.block_bits, shape.whole_bits)) {
    // The whole register fits the cache: gate after gate, on this thread.
    const ExecPolicy inside{policy.isa, 1, policy.prefetch_from};
    std::vector<Positions> positions;
    positions.reserve(ops.size());
    for (const GateOp& op : ops) positions.push_back({op.qubit(0), op.qubit(op.arity() - 1)});
    return play_in_cache(data, ops, positions, inside, shape.inner_bits, &poll);
  }
  const unsigned low_bits = std::min(shape.low_bits, shape.block_bits - 2);
  const unsigned limit = shape.block_bits - low_bits;
  const std::size_t longest = longest_run(data.size());
  std::size_t first = 0;
  while (first < ops.size()) {
    HighBits high;
    std::size_t last = first;
    while (last < ops.size() && last - first < longest && admit(ops[last], low_bits, limit, high)) {
      ++last;
    }
    const std::span<const GateOp> run = ops.subspan(first, last - first);
    if (run.size() == 1) {
      // A lone gate gains nothing from blocking: one threaded pass.
      run[0].run(data, {run[0].qubit(0), run[0].qubit(run[0].arity() - 1)}, policy);
    } else {
      run_group(data, n_qubits, run, high, low_bits, shape.inner_bits, policy);
    }
    first = last;
    if (poll.after(data.size() * run.size())) return false;
  }
  return true;
}

}  // namespace velquin::circuit
