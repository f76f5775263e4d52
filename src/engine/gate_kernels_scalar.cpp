// The scalar variant: one pair at a time; the reference the others match.
#include "engine/gate_kernel_table.h"
#include "math_core/pair_traversal.h"

namespace velquin::engine {
namespace {

struct ScalarWalk {
  template <template <class> class Formula>
  static void run(Complex64* data, const PairSpace& space, const FormulaConstants& constants,
                  std::uint64_t begin, std::uint64_t end, bool) noexcept {
    math_core::traverse_pairs_scalar(data, space, Formula<math_core::Scalar::V>(constants), begin,
                                     end);
  }
};

}  // namespace

template <>
const PairKernelTable& pair_kernels<Isa::kScalar>() noexcept {
  static constexpr PairKernelTable kTable = make_pair_kernel_table<ScalarWalk>();
  return kTable;
}

}  // namespace velquin::engine
