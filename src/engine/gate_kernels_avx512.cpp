// The Avx512 variant of every gate loop; built with its own instruction-set flags.
#include "engine/gate_kernel_table.h"
#include "math_core/lanes_avx512.h"
#include "math_core/vector_traversal.h"

namespace velquin::engine {
namespace {

struct Avx512Walk {
  template <template <class> class Formula>
  static void run(Complex64* data, const PairSpace& space, const FormulaConstants& constants,
                  std::uint64_t begin, std::uint64_t end, bool prefetch) noexcept {
    math_core::traverse_pairs_vector<math_core::Avx512>(
        data, space, Formula<math_core::Avx512::V>(constants), begin, end, prefetch);
  }
};

}  // namespace

template <>
const PairKernelTable& pair_kernels<Isa::kAvx512>() noexcept {
  static constexpr PairKernelTable kTable = make_pair_kernel_table<Avx512Walk>();
  return kTable;
}

}  // namespace velquin::engine
