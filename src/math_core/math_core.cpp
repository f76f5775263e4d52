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

void run(RangeKernel KernelSet::*which, ComplexView state, const PairSpace& space, Isa isa,
         const FormulaConstants& constants, std::uint64_t begin, std::uint64_t end) noexcept {
  if (begin >= end) return;
  check_range(state, space, end);
  (kernels_of(isa_for(isa, space)).*which)(state.data(), space, constants, begin, end);
}

}  // namespace

void apply_h_cpp_range(ComplexView state, std::uint64_t q, Isa isa, std::uint64_t begin,
                       std::uint64_t end) noexcept {
  const FormulaConstants hadamard{1.0 / std::sqrt(2.0), 0.0};
  run(&KernelSet::hadamard, state, PairSpace::single(state.size(), static_cast<unsigned>(q)), isa,
      hadamard, begin, end);
}

void apply_x_cpp_range(ComplexView state, std::uint64_t q, Isa isa, std::uint64_t begin,
                       std::uint64_t end) noexcept {
  run(&KernelSet::exchange, state, PairSpace::single(state.size(), static_cast<unsigned>(q)), isa,
      {}, begin, end);
}

void apply_cx_cpp_range(ComplexView state, std::uint64_t c, std::uint64_t t, Isa isa,
                        std::uint64_t begin, std::uint64_t end) noexcept {
  if (c == t) return;
  const std::uint64_t c_mask = std::uint64_t{1} << c;
  const std::uint64_t t_mask = std::uint64_t{1} << t;
  run(&KernelSet::exchange, state,
      PairSpace::two(state.size(), static_cast<unsigned>(c), static_cast<unsigned>(t), c_mask,
                     c_mask | t_mask),
      isa, {}, begin, end);
}

void apply_h_cpp(ComplexView state, std::uint64_t q) noexcept {
  apply_h_cpp_range(state, q, velquin::chosen_isa(), 0, state.size() / 2);
}

void apply_x_cpp(ComplexView state, std::uint64_t q) noexcept {
  apply_x_cpp_range(state, q, velquin::chosen_isa(), 0, state.size() / 2);
}

void apply_cx_cpp(ComplexView state, std::uint64_t c, std::uint64_t t) noexcept {
  apply_cx_cpp_range(state, c, t, velquin::chosen_isa(), 0, state.size() / 4);
}

}  // namespace math_core
