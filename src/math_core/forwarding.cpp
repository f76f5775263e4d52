#include "math_core/forwarding.h"

namespace math_core::forwarding {

void apply_kernel_range(Kernel kernel, ComplexView state, std::uint64_t a, std::uint64_t b, Isa isa,
                        std::uint64_t begin, std::uint64_t end, bool prefetch) noexcept {
  math_core::apply_kernel_range(kernel, state, a, b, isa, begin, end, prefetch);
}

}  // namespace math_core::forwarding
