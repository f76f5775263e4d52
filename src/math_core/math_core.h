// math_core: in-place Hadamard, Pauli-X and CNOT kernels on a run of complex
// amplitudes. The library knows nothing of registers, Python or errors: its
// whole interface is a view (first address, element count) plus qubit indices.
// Kernels never throw and never allocate.
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>

#include "base/complex64.h"
#include "base/isa.h"
#include "base/messages.h"

namespace math_core {

/// The amplitude record shared with the engine (base/complex64.h).
using velquin::Complex64;

/// A mutable, non-owning view of `count` contiguous amplitudes starting at
/// `first`. Valid only for the duration of one kernel call. Element access is
/// bounds-checked when assertions are enabled; a violation ends the process.
class ComplexView {
 public:
  constexpr ComplexView(Complex64* first, std::uint64_t count) noexcept
      : first_(first), count_(count) {}

  constexpr Complex64* data() const noexcept { return first_; }
  constexpr std::uint64_t size() const noexcept { return count_; }

  Complex64& operator[](std::uint64_t i) const noexcept {
#ifndef NDEBUG
    if (i >= count_) {
      std::fprintf(stderr, velquin::messages::kViewIndexOutsideFormat,
                   static_cast<unsigned long long>(i), static_cast<unsigned long long>(count_));
      std::abort();
    }
#endif
    return first_[i];
  }

 private:
  Complex64* first_;
  std::uint64_t count_;
};

/// Hadamard on qubit `q`, in place. Requires size() == 2^m with m >= 1, q < m.
/// Each pair becomes ((a0 + a1) * s, (a0 - a1) * s) with s = 1.0 / sqrt(2.0).
void apply_h_cpp(ComplexView state, std::uint64_t q) noexcept;

/// Pauli-X on qubit `q`, in place: exchanges each pair bit for bit.
/// Requires size() == 2^m with q < m.
void apply_x_cpp(ComplexView state, std::uint64_t q) noexcept;

/// CNOT with control `c` and target `t`, in place. Requires size() == 2^m with
/// c < m and t < m; c == t leaves the state unchanged.
void apply_cx_cpp(ComplexView state, std::uint64_t c, std::uint64_t t) noexcept;

using velquin::Isa;

/// The three kernels, for the ranged entry below.
enum class Kernel : std::uint8_t { kHadamard, kPauliX, kCnot };

/// How many pairs `kernel` visits in an array of `count` amplitudes: count / 2
/// for H and X, count / 4 for CNOT.
constexpr std::uint64_t kernel_pairs(Kernel kernel, std::uint64_t count) noexcept {
  return kernel == Kernel::kCnot ? count / 4 : count / 2;
}

/// States of at least this many amplitudes are taken to lie beyond the
/// caches: there the loops prefetch ahead of themselves where the pairs'
/// layout defeats the hardware prefetchers (vector_traversal.h).
inline constexpr std::uint64_t kPrefetchFrom = std::uint64_t{1} << 22;

/// The kernels in ranged form, so a caller can spread one over threads of its
/// own (the library itself starts none): `kernel` on qubit a (H, X) or with
/// control a and target b (CNOT; a == b does nothing), over the pairs
/// [begin, end) as the kernel visits them (kernel_pairs), on the variant
/// `isa` (base/isa.h), prefetching if `prefetch` (see kPrefetchFrom). begin
/// and end are multiples of kRangeAlign, or end is the pair count. Any split
/// into ranges, any variant and either `prefetch` give the bits of the whole
/// call.
void apply_kernel_range(Kernel kernel, ComplexView state, std::uint64_t a, std::uint64_t b, Isa isa,
                        std::uint64_t begin, std::uint64_t end, bool prefetch) noexcept;

}  // namespace math_core
