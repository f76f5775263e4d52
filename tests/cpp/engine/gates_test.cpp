// Every gate against the copy-then-replace model of reference_gates.h, on
// random states with special values, for every qubit and qubit pair.
#include <gtest/gtest.h>

#include <cmath>
#include <functional>
#include <string>
#include <vector>

#include "engine/register.h"
#include "gate_calls.h"
#include "reference_gates.h"

namespace velquin::testing {
namespace {

using engine::Register;

Register register_with(const Amplitudes& amplitudes) {
  unsigned n = 0;
  while ((std::uint64_t{1} << n) < amplitudes.size()) ++n;
  Result<Register> made = Register::create(n, 1);
  Register sv = std::move(made).value();
  std::copy(amplitudes.begin(), amplitudes.end(), sv.mutable_amplitudes().begin());
  return sv;
}

Amplitudes contents(const Register& sv) {
  return Amplitudes(sv.amplitudes().begin(), sv.amplitudes().end());
}

// Angles that matter: ordinary ones, the signed zeros, π, and the non-finite.
const std::vector<double> kAngles = {0.3, -2.7, 0.0, -0.0, M_PI, 1e6, NAN, INFINITY, -INFINITY};

struct SingleCase {
  std::string name;
  std::function<Status(Register&, std::uint64_t, double)> engine;
  std::function<Amplitudes(const Amplitudes&, unsigned, double)> reference;
};

std::vector<SingleCase> single_cases() {
  // Every one-qubit gate takes the angle; only the rotations read it.
  auto gate = [](GateKind kind) {
    return
        [kind](Register& sv, std::uint64_t q, double theta) { return rotate(sv, kind, q, theta); };
  };
  auto fixed = [](Amplitudes (*ref)(const Amplitudes&, unsigned)) {
    return [ref](const Amplitudes& a, unsigned q, double) { return ref(a, q); };
  };
  auto phase = [](Complex64 p) {
    return [p](const Amplitudes& a, unsigned q, double) { return ref_phase(a, q, p); };
  };
  return {
      {"h", gate(GateKind::kH), fixed(ref_h)},
      {"x", gate(GateKind::kX), fixed(ref_x)},
      {"y", gate(GateKind::kY), fixed(ref_y)},
      {"z", gate(GateKind::kZ), fixed(ref_z)},
      {"s", gate(GateKind::kS), phase({0.0, 1.0})},
      {"sdg", gate(GateKind::kSdg), phase({0.0, -1.0})},
      {"t", gate(GateKind::kT), phase(ref_t_phase(1.0))},
      {"tdg", gate(GateKind::kTdg), phase(ref_t_phase(-1.0))},
      {"sx", gate(GateKind::kSx), fixed(ref_sx)},
      {"rx", gate(GateKind::kRx), ref_rx},
      {"ry", gate(GateKind::kRy), ref_ry},
      {"rz", gate(GateKind::kRz), ref_rz},
      {"h_cpp", gate(GateKind::kHCpp), fixed(ref_h)},
      {"x_cpp", gate(GateKind::kXCpp), fixed(ref_x)},
  };
}

void PrintTo(const SingleCase& c, std::ostream* os) { *os << c.name; }

class SingleQubitGate : public ::testing::TestWithParam<SingleCase> {};

TEST_P(SingleQubitGate, matches_formulas_bit_for_bit_on_every_qubit) {
  const SingleCase& gate = GetParam();
  std::mt19937_64 gen(std::hash<std::string>{}(gate.name));
  for (unsigned n = 1; n <= 10; ++n) {
    for (unsigned q = 0; q < n; ++q) {
      for (double theta : kAngles) {
        const Amplitudes before = random_amplitudes(std::uint64_t{1} << n, gen);
        Register sv = register_with(before);
        ASSERT_TRUE(gate.engine(sv, q, theta).ok());
        const Amplitudes want = gate.reference(before, q, theta);
        ASSERT_EQ(first_difference(sv.amplitudes(), want), -1)
            << "n=" << n << " q=" << q << " theta=" << theta;
      }
    }
  }
}

TEST_P(SingleQubitGate, out_of_range_index_changes_nothing) {
  const SingleCase& gate = GetParam();
  std::mt19937_64 gen(7);
  for (unsigned n = 1; n <= 4; ++n) {
    const Amplitudes before = random_amplitudes(std::uint64_t{1} << n, gen);
    for (std::uint64_t q :
         {std::uint64_t{n}, std::uint64_t{n} + 1, std::uint64_t{64}, ~std::uint64_t{0}}) {
      Register sv = register_with(before);
      const Status status = gate.engine(sv, q, 0.5);
      ASSERT_FALSE(status.ok());
      EXPECT_EQ(status.error().kind, ErrorKind::kIndexError);
      EXPECT_EQ(status.error().message, "qubit index out of range");
      EXPECT_TRUE(identical_bits(sv.amplitudes(), before));
    }
  }
}

INSTANTIATE_TEST_SUITE_P(AllGates, SingleQubitGate, ::testing::ValuesIn(single_cases()),
                         [](const auto& param_info) { return param_info.param.name; });

struct TwoCase {
  std::string name;
  GateKind kind;
  Amplitudes (*reference)(const Amplitudes&, unsigned, unsigned);
};

void PrintTo(const TwoCase& c, std::ostream* os) { *os << c.name; }

class TwoQubitGate : public ::testing::TestWithParam<TwoCase> {};

TEST_P(TwoQubitGate, matches_formulas_bit_for_bit_on_every_pair) {
  const TwoCase& gate = GetParam();
  std::mt19937_64 gen(std::hash<std::string>{}(gate.name));
  for (unsigned n = 2; n <= 9; ++n) {
    for (unsigned a = 0; a < n; ++a) {
      for (unsigned b = 0; b < n; ++b) {
        if (a == b) continue;
        const Amplitudes before = random_amplitudes(std::uint64_t{1} << n, gen);
        Register sv = register_with(before);
        ASSERT_TRUE(apply(sv, gate.kind, a, b).ok());
        ASSERT_EQ(first_difference(sv.amplitudes(), gate.reference(before, a, b)), -1)
            << "n=" << n << " qubits " << a << ", " << b;
      }
    }
  }
}

INSTANTIATE_TEST_SUITE_P(AllGates, TwoQubitGate,
                         ::testing::Values(TwoCase{"cx", GateKind::kCx, ref_cx},
                                           TwoCase{"cy", GateKind::kCy, ref_cy},
                                           TwoCase{"cz", GateKind::kCz, ref_cz},
                                           TwoCase{"swap", GateKind::kSwap, ref_swap},
                                           TwoCase{"cx_cpp", GateKind::kCxCpp, ref_cx}),
                         [](const auto& param_info) { return param_info.param.name; });

// The checks of each two-qubit gate, in order: (a, b) on a 3-qubit register,
// and the error each must report.
struct CheckCase {
  std::string label;
  GateKind gate;
  std::uint64_t a;
  std::uint64_t b;
  ErrorKind kind;
  std::string message;
};

void PrintTo(const CheckCase& c, std::ostream* os) { *os << c.label; }

class TwoQubitChecks : public ::testing::TestWithParam<CheckCase> {};

TEST_P(TwoQubitChecks, report_in_order_and_change_nothing) {
  const CheckCase& c = GetParam();
  std::mt19937_64 gen(11);
  const Amplitudes before = random_amplitudes(8, gen);
  Register sv = register_with(before);
  const Status status = apply(sv, c.gate, c.a, c.b);
  ASSERT_FALSE(status.ok());
  EXPECT_EQ(status.error().kind, c.kind);
  EXPECT_EQ(status.error().message, c.message);
  EXPECT_TRUE(identical_bits(sv.amplitudes(), before));
}

const std::string kRange = "control or target qubit index out of range";
const std::string kQubit = "qubit index out of range";
const std::string kSwapRange = "swap qubit index out of range";

INSTANTIATE_TEST_SUITE_P(
    EveryCheck, TwoQubitChecks,
    ::testing::Values(
        CheckCase{"cx_target", GateKind::kCx, 0, 3, ErrorKind::kIndexError, kRange},
        CheckCase{"cx_control", GateKind::kCx, 3, 0, ErrorKind::kIndexError, kRange},
        CheckCase{"cx_equal_out_of_range", GateKind::kCx, 5, 5, ErrorKind::kIndexError, kRange},
        CheckCase{"cx_equal", GateKind::kCx, 1, 1, ErrorKind::kIndexError,
                  "control and target must be different qubits"},
        CheckCase{"cy_target", GateKind::kCy, 0, 3, ErrorKind::kIndexError, kQubit},
        CheckCase{"cy_control", GateKind::kCy, 3, 0, ErrorKind::kIndexError, kQubit},
        CheckCase{"cy_equal_out_of_range", GateKind::kCy, 4, 4, ErrorKind::kIndexError, kQubit},
        CheckCase{"cy_equal", GateKind::kCy, 1, 1, ErrorKind::kValueError,
                  "control and target must differ"},
        CheckCase{"cz_target", GateKind::kCz, 0, 3, ErrorKind::kIndexError, kQubit},
        CheckCase{"cz_control", GateKind::kCz, 3, 0, ErrorKind::kIndexError, kQubit},
        CheckCase{"cz_equal", GateKind::kCz, 2, 2, ErrorKind::kValueError,
                  "control and target must differ"},
        CheckCase{"swap_first", GateKind::kSwap, 3, 0, ErrorKind::kIndexError, kSwapRange},
        CheckCase{"swap_second", GateKind::kSwap, 0, 3, ErrorKind::kIndexError, kSwapRange},
        CheckCase{"swap_equal_out_of_range", GateKind::kSwap, 9, 9, ErrorKind::kIndexError,
                  kSwapRange},
        CheckCase{"swap_equal", GateKind::kSwap, 1, 1, ErrorKind::kIndexError,
                  "swap indices must differ"},
        CheckCase{"cx_cpp_control", GateKind::kCxCpp, 5, 0, ErrorKind::kIndexError, kQubit},
        CheckCase{"cx_cpp_target", GateKind::kCxCpp, 0, 5, ErrorKind::kIndexError, kQubit},
        CheckCase{"cx_cpp_huge", GateKind::kCxCpp, ~std::uint64_t{0}, 0, ErrorKind::kIndexError,
                  kQubit}),
    [](const auto& param_info) { return param_info.param.label; });

TEST(KernelBackedGates, equal_indices_in_cx_cpp_change_nothing) {
  std::mt19937_64 gen(3);
  const Amplitudes before = random_amplitudes(16, gen);
  for (std::uint64_t c = 0; c < 4; ++c) {
    Register sv = register_with(before);
    ASSERT_TRUE(apply(sv, GateKind::kCxCpp, c, c).ok());
    EXPECT_TRUE(identical_bits(sv.amplitudes(), before));
  }
}

// Every bit, NaN signs included, on every variant and on registers on both
// sides of the scalar/vector threshold (64 pairs).
TEST(KernelBackedGates, agree_with_engine_gates_on_random_states) {
  std::mt19937_64 gen(5);
  for (Isa isa : {Isa::kScalar, Isa::kSse2, Isa::kAvx2, Isa::kAvx512}) {
    if (!isa_supported(isa)) continue;
    const engine::ExecPolicy policy{isa, 1};
    for (unsigned n = 1; n <= 9; ++n) {
      for (unsigned q = 0; q < n; ++q) {
        const Amplitudes before = random_amplitudes(std::uint64_t{1} << n, gen);
        Register native = register_with(before), engine = register_with(before);
        ASSERT_TRUE(apply(native, GateKind::kHCpp, q, 0, policy).ok() &&
                    apply(engine, GateKind::kH, q, 0, policy).ok());
        EXPECT_TRUE(identical_bits(native.amplitudes(), contents(engine)))
            << isa_name(isa) << " n=" << n << " q=" << q;
        ASSERT_TRUE(apply(native, GateKind::kXCpp, q, 0, policy).ok() &&
                    apply(engine, GateKind::kX, q, 0, policy).ok());
        EXPECT_TRUE(identical_bits(native.amplitudes(), contents(engine)));
        for (unsigned t = 0; t < n; ++t) {
          if (t == q) continue;
          ASSERT_TRUE(apply(native, GateKind::kCxCpp, q, t, policy).ok() &&
                      apply(engine, GateKind::kCx, q, t, policy).ok());
          EXPECT_TRUE(identical_bits(native.amplitudes(), contents(engine)));
        }
      }
    }
  }
}

}  // namespace
}  // namespace velquin::testing
