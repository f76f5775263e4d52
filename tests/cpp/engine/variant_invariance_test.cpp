// One test body over every instruction-set variant and several thread counts:
// random gate sequences on random states (NaNs of both signs among their
// parts) must give the bits of the scalar, single-threaded run, every bit of
// every NaN included.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <random>
#include <string>
#include <tuple>

#include "engine/exec_policy.h"
#include "engine/register.h"
#include "math_core/variant_fit.h"
#include "reference_gates.h"

namespace velquin::testing {
namespace {

using engine::ExecPolicy;
using engine::Register;

// Any gate of the table on random qubits; low qubits come up often: they take
// the in-register paths (one or both qubits of a pair inside one vector).
std::vector<Gate> random_steps(unsigned n, std::size_t count, std::mt19937_64& gen) {
  std::uniform_int_distribution<std::size_t> kind(0, kGateKindCount - 1);
  std::uniform_int_distribution<unsigned> any(0, n - 1), low(0, std::min(2u, n - 1));
  std::uniform_real_distribution<double> angle(-7.0, 7.0);
  std::vector<Gate> steps;
  while (steps.size() < count) {
    Gate g{static_cast<GateKind>(kind(gen)), gen() % 2 ? low(gen) : any(gen), 0, angle(gen)};
    if (gate_info(g.kind).shape == GateShape::kTwoQubits) {
      if (n == 1) continue;
      do g.b = gen() % 3 ? any(gen) : low(gen);
      while (g.b == g.a);
    }
    steps.push_back(g);
  }
  return steps;
}

Amplitudes run(const Amplitudes& start, const std::vector<Gate>& steps, ExecPolicy policy) {
  unsigned n = 0;
  while ((std::uint64_t{1} << n) < start.size()) ++n;
  Register sv = Register::create(n, 0).value();
  std::copy(start.begin(), start.end(), sv.mutable_amplitudes().begin());
  for (const Gate& g : steps) EXPECT_TRUE(sv.apply(g, policy).ok());
  return Amplitudes(sv.amplitudes().begin(), sv.amplitudes().end());
}

// `start` with every infinite or NaN part made finite: in a long gate sequence
// NaNs spread to every amplitude, and a NaN hides a wrong sign or operand.
Amplitudes finite(Amplitudes start) {
  for (Complex64& c : start) {
    if (!std::isfinite(c.re)) c.re = 0.5;
    if (!std::isfinite(c.im)) c.im = -0.25;
  }
  return start;
}

class VariantInvariance : public ::testing::TestWithParam<std::tuple<Isa, unsigned>> {};

TEST_P(VariantInvariance, same_bits_as_scalar_single_thread) {
  const auto [isa, threads] = GetParam();
  if (!isa_supported(isa)) GTEST_SKIP() << "CPU lacks " << isa_name(isa);
  std::mt19937_64 gen(static_cast<unsigned>(isa) * 10 + threads);
  // Small sizes take the narrow paths (below 64 pairs the scalar one: one-qubit
  // gates up to n = 6, two-qubit gates up to n = 7); 17 qubits is large
  // enough to be split over threads. Registers from 2^9 amplitudes are
  // prefetched here and those above 2^10 threaded, so both sides of each
  // threshold are covered.
  const ExecPolicy policy{isa, threads, std::uint64_t{1} << 9, std::uint64_t{1} << 11};
  for (unsigned n : {1u, 2u, 3u, 5u, 6u, 7u, 8u, 9u, 11u, 17u}) {
    const Amplitudes special = random_amplitudes(std::uint64_t{1} << n, gen);
    const std::vector<Gate> steps = random_steps(n, n == 17 ? 40 : 120, gen);
    for (const Amplitudes& start : {special, finite(special)}) {
      const Amplitudes want = run(start, steps, {Isa::kScalar, 1});
      const Amplitudes got = run(start, steps, policy);
      ASSERT_TRUE(identical_bits(got, want)) << "n=" << n;
    }
  }
}

INSTANTIATE_TEST_SUITE_P(EveryVariant, VariantInvariance,
                         ::testing::Combine(::testing::Values(Isa::kScalar, Isa::kSse2, Isa::kAvx2,
                                                              Isa::kAvx512),
                                            ::testing::Values(1u, 2u, 3u)),
                         [](const auto& param_info) {
                           return std::string(isa_name(std::get<0>(param_info.param))) +
                                  "_threads" + std::to_string(std::get<1>(param_info.param));
                         });

}  // namespace
}  // namespace velquin::testing
