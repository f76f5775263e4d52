#include "engine/gate_kernels.h"

#include "engine/gate_kernel_table.h"
#include "engine/thread_pool.h"
#include "math_core/variant_fit.h"

namespace velquin::engine {
namespace {

const PairKernelTable& table_for(Isa isa) noexcept {
  return with_isa(isa, []<Isa I>() -> const PairKernelTable& { return pair_kernels<I>(); });
}

}  // namespace

void run_pair_formula(std::span<Complex64> data, Arithmetic formula, const PairSpace& space,
                      const FormulaConstants& constants, const ExecPolicy& policy) {
  const PairKernel kernel =
      table_for(math_core::isa_for(policy.isa, space))[static_cast<unsigned>(formula)];
  Complex64* first = data.data();
  const bool prefetch = policy.prefetches(data.size());
  parallel_for(policy.threads_for(data.size()), space.count, math_core::kRangeAlign,
               kMinPairsPerThread, [&](std::uint64_t begin, std::uint64_t end) {
                 kernel(first, space, constants, begin, end, prefetch);
               });
}

}  // namespace velquin::engine
