// The general operations' walks, one set per instruction-set variant
// (op_kernels_<isa>.cpp, each built for its set). A variant prepares an
// operation once per placement (choosing a walk and filling its tables) and
// then runs it over ranges of units.
#pragma once

#include <cstdint>

#include "base/isa.h"
#include "math_core/op_kernels.h"

namespace math_core {

struct OpVariant {
  void (*prepare)(PreparedOp& op);
  void (*run)(const PreparedOp& op, Complex64* data, std::uint64_t begin, std::uint64_t end);
};

/// The walks of variant I; only the scalar and AVX2 sets exist.
template <Isa I>
const OpVariant& op_variant() noexcept;

}  // namespace math_core
