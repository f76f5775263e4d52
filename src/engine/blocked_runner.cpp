#include "engine/blocked_runner.h"

#include <algorithm>
#include <array>
#include <bit>
#include <cstring>
#include <vector>

#include "engine/thread_pool.h"
#include "math_core/pair_space.h"

namespace velquin::engine {
namespace {

using math_core::Complex64;
using Positions = std::array<unsigned, kMaxOpQubits>;

// The high (>= low_bits) qubits a run's blocks keep free, ascending; few.
struct HighBits {
  std::array<unsigned, 64> bits{};
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
bool admit(const Op& op, unsigned low_bits, unsigned limit, HighBits& high) {
  HighBits grown = high;
  for (unsigned i = 0; i < op.qubit_count(); ++i) {
    if (op.qubit(i) >= low_bits) grown.insert(op.qubit(i));
    if (grown.count > limit) return false;
  }
  high = grown;
  return true;
}

// Where each qubit of `op` sits in a block that keeps `high` free (the
// register itself when high is empty and low_bits covers every qubit).
Positions positions_of(const Op& op, const HighBits& high, unsigned low_bits) {
  Positions at{};
  for (unsigned i = 0; i < op.qubit_count(); ++i) at[i] = high.position(op.qubit(i), low_bits);
  return at;
}

// One buffer per thread, reused across runs and calls.
std::span<Complex64> scratch(std::size_t size) {
  thread_local std::vector<Complex64> buffer;
  if (buffer.size() < size) buffer.resize(size);
  return {buffer.data(), size};
}

// How many operations a run may hold: the interrupt is asked between runs
// only, so a run holds a bounded amount of work (about 2^30 amplitude passes,
// at least 16 operations).
std::size_t longest_run(std::uint64_t amplitudes) {
  return std::max<std::uint64_t>(16, (std::uint64_t{1} << 30) / amplitudes);
}

// Operations on blocks of one size, in order: a segment of two or more whose
// positions all lie below inner_bits is played 2^inner_bits amplitudes at a
// time, in place, so each such piece stays in L1 through the segment; every
// other operation passes over the whole block alone. Placed once, played on
// every block of the run.
class Schedule {
 public:
  Schedule(std::span<const Op> ops, std::span<const Positions> positions, std::uint64_t size,
           unsigned inner_bits, const ExecPolicy& inside)
      : size_(size), inner_(std::uint64_t{1} << inner_bits) {
    const std::size_t longest = longest_run(size);
    auto low = [&](std::size_t i) {
      const unsigned count = ops[i].qubit_count();
      return count > 0 &&
             *std::max_element(positions[i].begin(), positions[i].begin() + count) < inner_bits;
    };
    std::size_t first = 0;
    while (first < ops.size()) {
      std::size_t last = first;
      while (size > inner_ && last < ops.size() && last - first < longest && low(last)) ++last;
      const bool inner = last - first >= 2;
      if (!inner) last = first + 1;
      for (std::size_t i = first; i < last; ++i) {
        const std::span<const unsigned> at(positions[i].data(), ops[i].qubit_count());
        placed_.emplace_back(ops[i], at, inner ? inner_ : size, inside);
      }
      segments_.push_back({first, last, inner});
      first = last;
    }
  }

  // Plays every operation on `data` (a block of the size placed for). `poll`,
  // if given, counts the work after each whole prefix and may stop it (false).
  bool play(std::span<Complex64> data, const ExecPolicy& inside, InterruptPoll* poll) const {
    for (const Segment& segment : segments_) {
      if (segment.inner) {
        for (std::uint64_t b = 0; b < size_; b += inner_) {
          const std::span<Complex64> piece = data.subspan(b, inner_);
          for (std::size_t i = segment.first; i < segment.last; ++i) placed_[i].run(piece, inside);
        }
      } else {
        placed_[segment.first].run(data, inside);
      }
      if (poll != nullptr && poll->after(size_ * (segment.last - segment.first))) return false;
    }
    return true;
  }

 private:
  struct Segment {
    std::size_t first, last;
    bool inner;
  };
  std::uint64_t size_;
  std::uint64_t inner_;
  std::vector<PlacedOp> placed_;
  std::vector<Segment> segments_;
};

// Plays `ops` block by block; every op's qubits are below low_bits or in `high`.
void run_group(std::span<Complex64> data, unsigned n_qubits, std::span<const Op> ops,
               const HighBits& high, unsigned low_bits, unsigned inner_bits,
               const ExecPolicy& policy) {
  const ExecPolicy inside{policy.isa, 1, policy.prefetch_from};
  std::vector<Positions> positions;
  positions.reserve(ops.size());
  for (const Op& op : ops) positions.push_back(positions_of(op, high, low_bits));

  const unsigned block_bits = low_bits + high.count;
  const std::uint64_t block_size = std::uint64_t{1} << block_bits;
  const std::uint64_t blocks = std::uint64_t{1} << (n_qubits - block_bits);
  const Schedule schedule(ops, positions, block_size, inner_bits, inside);

  if (high.count == 0) {  // blocks are contiguous: work in place
    parallel_for(policy.threads, blocks, 1, 1, [&](std::uint64_t begin, std::uint64_t end) {
      for (std::uint64_t b = begin; b < end; ++b) {
        schedule.play(data.subspan(b * block_size, block_size), inside, nullptr);
      }
    });
    return;
  }

  const std::uint64_t chunk = std::uint64_t{1} << low_bits;
  const std::uint64_t chunks = std::uint64_t{1} << high.count;
  parallel_for(policy.threads, blocks, 1, 1, [&](std::uint64_t begin, std::uint64_t end) {
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
      schedule.play(block, inside, nullptr);
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

bool run_blocked(std::span<Complex64> data, unsigned n_qubits, std::span<const Op> ops,
                 const ExecPolicy& policy, BlockShape shape, InterruptCheck interrupt) {
  // One unit of work per amplitude an operation passes over.
  InterruptPoll poll(interrupt);
  if (n_qubits <= std::max(shape.block_bits, shape.whole_bits)) {
    // The whole register fits the cache: operation after operation, on this thread.
    const ExecPolicy inside{policy.isa, 1, policy.prefetch_from};
    std::vector<Positions> positions;
    positions.reserve(ops.size());
    for (const Op& op : ops) positions.push_back(positions_of(op, HighBits{}, n_qubits));
    return Schedule(ops, positions, data.size(), shape.inner_bits, inside)
        .play(data, inside, &poll);
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
    if (last - first <= 1) {
      // A lone operation (or one with more high qubits than a block keeps
      // free) gains nothing from blocking: one threaded pass.
      last = first + 1;
      ops[first].run(data, policy);
    } else {
      run_group(data, n_qubits, ops.subspan(first, last - first), high, low_bits, shape.inner_bits,
                policy);
    }
    if (poll.after(data.size() * (last - first))) return false;
    first = last;
  }
  return true;
}

}  // namespace velquin::engine
