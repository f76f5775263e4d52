#include "engine/ffi.h"

#include "engine/gate_kernels.h"
#include "engine/thread_pool.h"
#include "math_core/forwarding.h"
#include "math_core/variant_fit.h"

namespace velquin::engine::ffi {

// Each piece of the pair range reaches the library as view plus indices.
void apply_kernel(Arithmetic kernel, std::span<Complex64> state, std::uint64_t a, std::uint64_t b,
                  const ExecPolicy& policy) noexcept {
  const math_core::Kernel which = kernel == Arithmetic::kKernelH   ? math_core::Kernel::kHadamard
                                  : kernel == Arithmetic::kKernelX ? math_core::Kernel::kPauliX
                                                                   : math_core::Kernel::kCnot;
  const math_core::ComplexView view{state.data(), state.size()};
  const bool prefetch = policy.prefetches(state.size());
  parallel_for(policy.threads_for(state.size()), math_core::kernel_pairs(which, state.size()),
               math_core::kRangeAlign, kMinPairsPerThread,
               [&](std::uint64_t begin, std::uint64_t end) {
                 math_core::forwarding::apply_kernel_range(which, view, a, b, policy.isa, begin,
                                                           end, prefetch);
               });
}

}  // namespace velquin::engine::ffi
