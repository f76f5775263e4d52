// Runs a test body on every ChaCha variant this machine can execute.
#pragma once

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "random/chacha_dispatch.h"

namespace velquin::random::testing_support {

/// Every variant the CPU supports; the scalar one is always there.
inline std::vector<ChaChaVariant> available_variants() {
  std::vector<ChaChaVariant> variants{ChaChaVariant::kScalar};
  if (chacha_variant_available(ChaChaVariant::kAvx2)) variants.push_back(ChaChaVariant::kAvx2);
  return variants;
}

inline std::string variant_name(const ::testing::TestParamInfo<ChaChaVariant>& info) {
  return info.param == ChaChaVariant::kAvx2 ? "avx2" : "scalar";
}

/// Forces one variant for a test's lifetime, then restores the automatic choice.
class ScopedChaChaVariant {
 public:
  explicit ScopedChaChaVariant(ChaChaVariant variant) { EXPECT_TRUE(force_chacha_variant(variant)); }
  ScopedChaChaVariant(const ScopedChaChaVariant&) = delete;
  ScopedChaChaVariant& operator=(const ScopedChaChaVariant&) = delete;
  ~ScopedChaChaVariant() { reset_chacha_variant(); }
};

/// Fixture base: every TEST_P body runs with GetParam() forced.
class OnEveryVariant : public ::testing::TestWithParam<ChaChaVariant> {
 private:
  ScopedChaChaVariant forced_{GetParam()};
};

}  // namespace velquin::random::testing_support
