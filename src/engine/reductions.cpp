#include "engine/reductions.h"

#include <algorithm>
#include <array>
#include <bit>

#include "engine/thread_pool.h"
#include "math_core/pair_space.h"

namespace velquin::engine {
namespace {

constexpr std::uint64_t kLeaf = 32;
constexpr unsigned kLanes = 4;
// Leaves a thread's task sums into one subtree (32 Ki values).
constexpr std::uint64_t kTaskLeaves = 1024;

double leaf_sum(const double* x, std::uint64_t count) {
  std::array<double, kLanes> lane{};
  const unsigned lanes = static_cast<unsigned>(std::min<std::uint64_t>(kLanes, count));
  for (unsigned l = 0; l < lanes; ++l) {
    lane[l] = x[l];
    for (std::uint64_t i = l + kLanes; i < count; i += kLanes) lane[l] = lane[l] + x[i];
  }
  if (lanes == 1) return lane[0];
  if (lanes == 2) return lane[0] + lane[1];
  return (lane[0] + lane[1]) + (lane[2] + lane[3]);
}

// The perfect tree over v[0 .. n), n a power of two, in place.
double pairwise(double* v, std::uint64_t n) {
  for (std::uint64_t step = 1; step < n; step *= 2) {
    for (std::uint64_t i = 0; i < n; i += 2 * step) v[i] = v[i] + v[i + step];
  }
  return v[0];
}

double weight(const Complex64& a) { return a.re * a.re + a.im * a.im; }

}  // namespace

double fixed_sum(std::uint64_t size,
                 FunctionRef<void(std::uint64_t, std::uint64_t, double*)> values,
                 unsigned threads) {
  if (size == 0) return 0.0;
  if (size <= kLeaf) {
    std::array<double, kLeaf> x;
    values(0, size, x.data());
    return leaf_sum(x.data(), size);
  }
  const std::uint64_t leaves = size / kLeaf;
  const std::uint64_t per_task = std::min(leaves, kTaskLeaves);
  const std::uint64_t tasks = leaves / per_task;
  std::vector<double> subtree(tasks);
  parallel_for(threads, tasks, 1, 1, [&](std::uint64_t begin, std::uint64_t end) {
    std::vector<double> sums(per_task);
    std::array<double, kLeaf> x;
    for (std::uint64_t t = begin; t < end; ++t) {
      for (std::uint64_t l = 0; l < per_task; ++l) {
        values((t * per_task + l) * kLeaf, kLeaf, x.data());
        sums[l] = leaf_sum(x.data(), kLeaf);
      }
      subtree[t] = pairwise(sums.data(), per_task);
    }
  });
  return pairwise(subtree.data(), tasks);
}

double norm_squared(std::span<const Complex64> state, const ExecPolicy& policy) {
  return fixed_sum(
      state.size(),
      [&](std::uint64_t first, std::uint64_t count, double* out) {
        for (std::uint64_t i = 0; i < count; ++i) out[i] = weight(state[first + i]);
      },
      policy.threads_for(state.size()));
}

std::vector<double> probabilities(std::span<const Complex64> state,
                                  std::span<const unsigned> qubits, const ExecPolicy& policy) {
  const unsigned n = static_cast<unsigned>(std::countr_zero(state.size()));
  const unsigned m = static_cast<unsigned>(qubits.size());
  std::vector<unsigned> sorted(qubits.begin(), qubits.end());
  std::sort(sorted.begin(), sorted.end());
  std::vector<double> out(std::uint64_t{1} << m);
  const std::uint64_t members = std::uint64_t{1} << (n - m);
  for (std::uint64_t b = 0; b < out.size(); ++b) {
    std::uint64_t fixed = 0;
    for (unsigned i = 0; i < m; ++i) fixed |= ((b >> i) & 1) << qubits[i];
    // With every chosen qubit at or above a leaf's bits, a leaf's members lie
    // next to each other in memory: its first index is all there is to find.
    const bool contiguous = sorted.empty() || (std::uint64_t{1} << sorted[0]) >= kLeaf;
    out[b] = fixed_sum(
        members,
        [&](std::uint64_t first, std::uint64_t count, double* x) {
          std::uint64_t j = first;
          for (unsigned q : sorted) j = math_core::insert_zero_bit(j, q);
          if (contiguous) {
            const Complex64* run = state.data() + (j | fixed);
            for (std::uint64_t r = 0; r < count; ++r) x[r] = weight(run[r]);
            return;
          }
          for (std::uint64_t r = 0; r < count; ++r) {
            j = first + r;
            for (unsigned q : sorted) j = math_core::insert_zero_bit(j, q);
            x[r] = weight(state[j | fixed]);
          }
        },
        policy.threads_for(state.size()));
  }
  return out;
}

std::vector<double> pauli_values(std::span<const Complex64> state, std::span<const PauliWord> words,
                                 const ExecPolicy& policy) {
  std::vector<double> out;
  out.reserve(words.size());
  for (const PauliWord& w : words) {
    const unsigned quarter = w.y_count % 4;
    // Within a leaf (32 consecutive indices from a multiple of 32) the partner
    // and the sign's low part come from tables; the high part once per leaf.
    const std::uint64_t low = kLeaf - 1;
    std::array<std::uint8_t, kLeaf> partner{}, negate{};
    const bool flip_quarter = quarter == 1 || quarter == 2;
    for (std::uint64_t k = 0; k < kLeaf; ++k) {
      partner[k] = static_cast<std::uint8_t>(k ^ (w.flip & low));
      negate[k] = static_cast<std::uint8_t>((std::popcount(k & w.sign) & 1) != 0);
    }
    const bool second = quarter % 2 == 1;
    out.push_back(fixed_sum(
        state.size(),
        [&](std::uint64_t first, std::uint64_t count, double* x) {
          const std::uint64_t base = first & ~low;
          const Complex64* b_row = state.data() + base;
          const Complex64* a_row = state.data() + ((base ^ (w.flip & ~low)) & ~low);
          const bool high = (std::popcount(base & w.sign) & 1) != 0;
          for (std::uint64_t k = 0; k < count; ++k) {
            const std::uint64_t at = (first & low) + k;
            const Complex64 a = a_row[partner[at]];
            const Complex64 b = b_row[at];
            double value = second ? a.re * b.im - a.im * b.re : a.re * b.re + a.im * b.im;
            if (flip_quarter != ((negate[at] != 0) != high)) value = -value;
            x[k] = value;
          }
        },
        policy.threads_for(state.size())));
  }
  return out;
}

double matrix_value(std::span<const Complex64> state, std::span<const unsigned> qubits,
                    std::span<const Complex64> matrix, const ExecPolicy& policy) {
  const unsigned n = static_cast<unsigned>(std::countr_zero(state.size()));
  const unsigned k = static_cast<unsigned>(qubits.size());
  const std::uint64_t members = std::uint64_t{1} << k;
  std::vector<unsigned> sorted(qubits.begin(), qubits.end());
  std::sort(sorted.begin(), sorted.end());
  std::vector<std::uint64_t> offset(members);
  for (std::uint64_t m = 0; m < members; ++m) {
    for (unsigned i = 0; i < k; ++i) offset[m] |= ((m >> i) & 1) << qubits[i];
  }
  return fixed_sum(
      std::uint64_t{1} << (n - k),
      [&](std::uint64_t first, std::uint64_t count, double* x) {
        for (std::uint64_t g = 0; g < count; ++g) {
          std::uint64_t base = first + g;
          for (unsigned q : sorted) base = math_core::insert_zero_bit(base, q);
          double value = 0.0;
          for (std::uint64_t r = 0; r < members; ++r) {
            double re = 0.0, im = 0.0;
            for (std::uint64_t c = 0; c < members; ++c) {
              const Complex64 m = matrix[r * members + c], a = state[base + offset[c]];
              const double pr = (m.re * a.re) - (m.im * a.im), pi = (m.re * a.im) + (m.im * a.re);
              re = c == 0 ? pr : re + pr;
              im = c == 0 ? pi : im + pi;
            }
            const Complex64 a = state[base + offset[r]];
            const double term = (a.re * re) + (a.im * im);  // Re(conj(a) (re, im))
            value = r == 0 ? term : value + term;
          }
          x[g] = value;
        }
      },
      policy.threads_for(state.size()));
}

double inner_product(std::span<const Complex64> a, std::span<const Complex64> b, std::uint64_t mask,
                     std::uint64_t value, const ExecPolicy& policy) {
  std::vector<unsigned> fixed;
  for (unsigned q = 0; q < 64; ++q) {
    if ((mask >> q) & 1) fixed.push_back(q);
  }
  return fixed_sum(
      a.size() >> fixed.size(),
      [&](std::uint64_t first, std::uint64_t count, double* x) {
        for (std::uint64_t r = 0; r < count; ++r) {
          std::uint64_t j = first + r;
          for (unsigned q : fixed) j = math_core::insert_zero_bit(j, q);
          j |= value;
          x[r] = (a[j].re * b[j].re) + (a[j].im * b[j].im);
        }
      },
      policy.threads_for(a.size()));
}

}  // namespace velquin::engine
