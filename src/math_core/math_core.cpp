#include "math_core/math_core.h"

#include <algorithm>
#include <cmath>

#include "math_core/kernel_variants.h"
#include "math_core/variant_fit.h"

namespace math_core {
namespace {

const KernelSet& kernels_of(Isa isa) noexcept {
  return velquin::with_isa(isa, []<Isa I>() -> const KernelSet& { return kernels_for<I>(); });
}

// The loops index raw memory; in checked builds make sure, through the view,
// that the highest element a range touches lies inside it.
void check_range(ComplexView state, const PairSpace& space, std::uint64_t end) noexcept {
#ifndef NDEBUG
  if (end > 0) (void)state[space.base(end - 1) + std::max(space.first, space.second)];
#else
  (void)state, (void)space, (void)end;
#endif
}

}  // namespace

void apply_kernel_range(Kernel kernel, ComplexView state, std::uint64_t a, std::uint64_t b, Isa isa,
                        std::uint64_t begin, std::uint64_t end, bool prefetch) noexcept {
  if (begin >= end || (kernel == Kernel::kCnot && a == b)) return;
  const std::uint64_t a_mask = std::uint64_t{1} << a;
  const PairSpace space =
      kernel == Kernel::kCnot
          ? PairSpace::two(state.size(), static_cast<unsigned>(a), static_cast<unsigned>(b), a_mask,
                           a_mask | (std::uint64_t{1} << b))
          : PairSpace::single(state.size(), static_cast<unsigned>(a));
  check_range(state, space, end);
  const KernelSet& kernels = kernels_of(isa_for(isa, space));
  if (kernel == Kernel::kHadamard) {
    kernels.hadamard(state.data(), space, {1.0 / std::sqrt(2.0), 0.0}, begin, end, prefetch);
  } else {
    kernels.exchange(state.data(), space, {}, begin, end, prefetch);
  }
}

namespace {

// A whole kernel call on the variant in force, prefetching by the state's size.
void apply_whole(Kernel kernel, ComplexView state, std::uint64_t a, std::uint64_t b) noexcept {
  apply_kernel_range(kernel, state, a, b, velquin::chosen_isa(), 0,
                     kernel_pairs(kernel, state.size()), state.size() >= kPrefetchFrom);
}

}  // namespace

void apply_h_cpp(ComplexView state, std::uint64_t q) noexcept {
  apply_whole(Kernel::kHadamard, state, q, q);
}

void apply_x_cpp(ComplexView state, std::uint64_t q) noexcept {
  apply_whole(Kernel::kPauliX, state, q, q);
}

void apply_cx_cpp(ComplexView state, std::uint64_t c, std::uint64_t t) noexcept {
  apply_whole(Kernel::kCnot, state, c, t);
}

}  // namespace math_core
