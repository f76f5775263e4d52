// Which amplitude pairs a one- or two-qubit operation visits, and the index
// helper every traversal is built on.
#pragma once

#include <cstdint>

namespace math_core {

/// k with a zero bit inserted at position q: the bits of k below q stay, the
/// bits from q up move one place higher.
///
/// The index invariant every traversal rests on: as k runs over 0 .. N/2 - 1,
/// insert_zero_bit(k, q) runs over every index of 0 .. N - 1 whose bit q is
/// clear, each exactly once and in increasing order; its partner is that index
/// plus 2^q. With two bits (lo < hi) inserted, k over 0 .. N/4 - 1 gives every
/// index with both bits clear, in increasing order, and the other three members
/// of its group are reached by adding 2^lo, 2^hi or both.
[[gnu::always_inline]] inline std::uint64_t insert_zero_bit(std::uint64_t k, unsigned q) noexcept {
  const std::uint64_t low = (std::uint64_t{1} << q) - 1;
  return ((k & ~low) << 1) | (k & low);
}

/// k with zero bits inserted at positions lo and hi, lo < hi (see above).
[[gnu::always_inline]] inline std::uint64_t insert_zero_bits(std::uint64_t k, unsigned lo,
                                                             unsigned hi) noexcept {
  return insert_zero_bit(insert_zero_bit(k, lo), hi);
}

/// The pairs an operation acts on. For k in 0 .. count - 1, base(k) is the k-th
/// index whose `bits` chosen bits are clear; the pair is (base + first,
/// base + second). A single-qubit gate on q has bits = 1, lo = q, first = 0,
/// second = 2^q; a two-qubit gate names its two positions and which members of
/// each group of four it pairs.
struct PairSpace {
  unsigned bits;  // 1 or 2
  unsigned lo;
  unsigned hi;  // only when bits == 2; lo < hi
  std::uint64_t first;
  std::uint64_t second;
  std::uint64_t count;

  /// The pairs (i, i + 2^q), bit q of i clear, in an array of n elements.
  static constexpr PairSpace single(std::uint64_t n, unsigned q) noexcept {
    return {1, q, q, 0, std::uint64_t{1} << q, n / 2};
  }

  /// Groups of four over qubits a != b in an array of n elements; the pair
  /// members are base + first and base + second, where first and second are
  /// sums of 2^a and 2^b.
  static constexpr PairSpace two(std::uint64_t n, unsigned a, unsigned b, std::uint64_t first,
                                 std::uint64_t second) noexcept {
    return {2, a < b ? a : b, a < b ? b : a, first, second, n / 4};
  }

  [[gnu::always_inline]] std::uint64_t base(std::uint64_t k) const noexcept {
    return bits == 1 ? insert_zero_bit(k, lo) : insert_zero_bits(k, lo, hi);
  }
};

}  // namespace math_core
