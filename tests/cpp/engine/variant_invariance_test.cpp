// One test body over every instruction-set variant and several thread counts:
// random gate sequences on random states must give the bits of the scalar,
// single-threaded run.
#include <gtest/gtest.h>

#include <algorithm>
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
using engine::ScopedExecPolicy;
using engine::Register;

struct Step {
  int gate;  // index into apply_step's switch
  std::uint64_t a;
  std::uint64_t b;
  double theta;
};

constexpr int kGateCount = 19;

void apply_step(Register& sv, const Step& s) {
  Status status;
  switch (s.gate) {
    case 0: status = sv.h(s.a); break;
    case 1: status = sv.x(s.a); break;
    case 2: status = sv.y(s.a); break;
    case 3: status = sv.z(s.a); break;
    case 4: status = sv.s(s.a); break;
    case 5: status = sv.sdg(s.a); break;
    case 6: status = sv.t(s.a); break;
    case 7: status = sv.tdg(s.a); break;
    case 8: status = sv.sx(s.a); break;
    case 9: status = sv.rx(s.a, s.theta); break;
    case 10: status = sv.ry(s.a, s.theta); break;
    case 11: status = sv.rz(s.a, s.theta); break;
    case 12: status = sv.cx(s.a, s.b); break;
    case 13: status = sv.cy(s.a, s.b); break;
    case 14: status = sv.cz(s.a, s.b); break;
    case 15: status = sv.swap(s.a, s.b); break;
    case 16: status = sv.h_cpp(s.a); break;
    case 17: status = sv.x_cpp(s.a); break;
    default: status = sv.cx_cpp(s.a, s.b); break;
  }
  ASSERT_TRUE(status.ok()) << "gate " << s.gate;
}

// Low qubits come up often: they take the in-register and fallback paths.
std::vector<Step> random_steps(unsigned n, std::size_t count, std::mt19937_64& gen) {
  std::uniform_int_distribution<int> gate(0, kGateCount - 1);
  std::uniform_int_distribution<unsigned> any(0, n - 1), low(0, std::min(2u, n - 1));
  std::uniform_real_distribution<double> angle(-7.0, 7.0);
  std::vector<Step> steps;
  for (std::size_t i = 0; i < count; ++i) {
    Step s{gate(gen), gen() % 2 ? low(gen) : any(gen), 0, angle(gen)};
    const bool two_qubit = (s.gate >= 12 && s.gate <= 15) || s.gate == 18;
    if (two_qubit && n == 1) s.gate = 0;
    if (n > 1) {
      do s.b = gen() % 3 ? any(gen) : low(gen);
      while (s.b == s.a);
    }
    steps.push_back(s);
  }
  return steps;
}

Amplitudes run(const Amplitudes& start, const std::vector<Step>& steps, ExecPolicy policy) {
  ScopedExecPolicy forced(policy);
  unsigned n = 0;
  while ((std::uint64_t{1} << n) < start.size()) ++n;
  Register sv = Register::create(n, 0).value();
  std::copy(start.begin(), start.end(), sv.mutable_amplitudes().begin());
  for (const Step& s : steps) apply_step(sv, s);
  return Amplitudes(sv.amplitudes().begin(), sv.amplitudes().end());
}

class VariantInvariance : public ::testing::TestWithParam<std::tuple<Isa, unsigned>> {};

TEST_P(VariantInvariance, same_bits_as_scalar_single_thread) {
  const auto [isa, threads] = GetParam();
  if (!isa_supported(isa)) GTEST_SKIP() << "CPU lacks " << isa_name(isa);
  std::mt19937_64 gen(static_cast<unsigned>(isa) * 10 + threads);
  // Small sizes take the narrow paths; 17 qubits is large enough to be split
  // over threads.
  for (unsigned n : {1u, 2u, 3u, 5u, 7u, 8u, 9u, 11u, 17u}) {
    const Amplitudes start = random_amplitudes(std::uint64_t{1} << n, gen);
    const std::vector<Step> steps = random_steps(n, n == 17 ? 40 : 120, gen);
    const Amplitudes want = run(start, steps, {Isa::kScalar, 1});
    const Amplitudes got = run(start, steps, {isa, threads});
    ASSERT_EQ(first_difference(got, want), -1) << "n=" << n;
  }
}

INSTANTIATE_TEST_SUITE_P(
    EveryVariant, VariantInvariance,
    ::testing::Combine(::testing::Values(Isa::kScalar, Isa::kSse2, Isa::kAvx2, Isa::kAvx512),
                       ::testing::Values(1u, 2u, 3u)),
    [](const auto& param_info) {
      return std::string(isa_name(std::get<0>(param_info.param))) + "_threads" +
             std::to_string(std::get<1>(param_info.param));
    });

}  // namespace
}  // namespace velquin::testing
