// Runs a test body on every ChaCha variant this machine can execute.
#pragma once

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "base/isa.h"

namespace velquin::random::testing_support {

/// Every ChaCha variant the CPU supports, as the instruction set that picks
/// it; the scalar one is always there.
inline std::vector<Isa> available_variants() {
  std::vector<Isa> variants{Isa::kScalar};
  if (isa_supported(Isa::kAvx2)) variants.push_back(Isa::kAvx2);
  return variants;
}

inline std::string variant_name(const ::testing::TestParamInfo<Isa>& info) {
  return isa_name(info.param);
}

/// Fixture base: every TEST_P body runs with GetParam() in force.
class OnEveryVariant : public ::testing::TestWithParam<Isa> {
 private:
  IsaOverride forced_{GetParam()};
};

}  // namespace velquin::random::testing_support
