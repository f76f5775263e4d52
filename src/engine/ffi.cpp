#include "engine/ffi.h"

#include "engine/exec_policy.h"
#include "engine/gate_kernels.h"
#include "engine/thread_pool.h"
#include "math_core/forwarding.h"

namespace velquin::engine::ffi {
namespace {

math_core::ComplexView view_of(std::span<Complex64> state) noexcept {
  return {state.data(), state.size()};
}

}  // namespace

// The kernels run on the policy's variant, their pair range split over the
// policy's threads; each piece reaches the library as view plus indices.
void apply_h_cpp(std::span<Complex64> state, std::uint64_t q, const ExecPolicy& policy) noexcept {
  const math_core::ComplexView view = view_of(state);
  parallel_for(policy.threads, state.size() / 2, math_core::kRangeAlign, kMinPairsPerThread,
               [&](std::uint64_t begin, std::uint64_t end) {
                 math_core::forwarding::apply_h_cpp_range(view, q, policy.isa, begin, end);
               });
}

void apply_x_cpp(std::span<Complex64> state, std::uint64_t q, const ExecPolicy& policy) noexcept {
  const math_core::ComplexView view = view_of(state);
  parallel_for(policy.threads, state.size() / 2, math_core::kRangeAlign, kMinPairsPerThread,
               [&](std::uint64_t begin, std::uint64_t end) {
                 math_core::forwarding::apply_x_cpp_range(view, q, policy.isa, begin, end);
               });
}

void apply_cx_cpp(std::span<Complex64> state, std::uint64_t c, std::uint64_t t,
                  const ExecPolicy& policy) noexcept {
  const math_core::ComplexView view = view_of(state);
  parallel_for(policy.threads, state.size() / 4, math_core::kRangeAlign, kMinPairsPerThread,
               [&](std::uint64_t begin, std::uint64_t end) {
                 math_core::forwarding::apply_cx_cpp_range(view, c, t, policy.isa, begin, end);
               });
}

}  // namespace velquin::engine::ffi
