// Every gate against the copy-then-replace model of reference_gates.h, on
// random states with special values, for every qubit and qubit pair.
#include <gtest/gtest.h>

#include <cmath>
#include <functional>
#include <string>
#include <vector>

#include "engine/register.h"
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
  using SV = Register;
  auto plain = [](Status (SV::*gate)(std::uint64_t)) {
    return [gate](SV& sv, std::uint64_t q, double) { return (sv.*gate)(q); };
  };
  auto rotation = [](Status (SV::*gate)(std::uint64_t, double)) {
    return [gate](SV& sv, std::uint64_t q, double theta) { return (sv.*gate)(q, theta); };
  };
  auto fixed = [](Amplitudes (*ref)(const Amplitudes&, unsigned)) {
    return [ref](const Amplitudes& a, unsigned q, double) { return ref(a, q); };
  };
  auto phase = [](Complex64 p) {
    return [p](const Amplitudes& a, unsigned q, double) { return ref_phase(a, q, p); };
  };
  return {
      {"h", plain(&SV::h), fixed(ref_h)},
      {"x", plain(&SV::x), fixed(ref_x)},
      {"y", plain(&SV::y), fixed(ref_y)},
      {"z", plain(&SV::z), fixed(ref_z)},
      {"s", plain(&SV::s), phase({0.0, 1.0})},
      {"sdg", plain(&SV::sdg), phase({0.0, -1.0})},
      {"t", plain(&SV::t), phase(ref_t_phase(1.0))},
      {"tdg", plain(&SV::tdg), phase(ref_t_phase(-1.0))},
      {"sx", plain(&SV::sx), fixed(ref_sx)},
      {"rx", rotation(&SV::rx), ref_rx},
      {"ry", rotation(&SV::ry), ref_ry},
      {"rz", rotation(&SV::rz), ref_rz},
      {"h_cpp", plain(&SV::h_cpp), fixed(ref_h)},
      {"x_cpp", plain(&SV::x_cpp), fixed(ref_x)},
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
    for (std::uint64_t q : {std::uint64_t{n}, std::uint64_t{n} + 1, std::uint64_t{64},
                            ~std::uint64_t{0}}) {
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
  Status (Register::*engine)(std::uint64_t, std::uint64_t);
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
        ASSERT_TRUE((sv.*gate.engine)(a, b).ok());
        ASSERT_EQ(first_difference(sv.amplitudes(), gate.reference(before, a, b)), -1)
            << "n=" << n << " qubits " << a << ", " << b;
      }
    }
  }
}

INSTANTIATE_TEST_SUITE_P(AllGates, TwoQubitGate,
                         ::testing::Values(TwoCase{"cx", &Register::cx, ref_cx},
                                           TwoCase{"cy", &Register::cy, ref_cy},
                                           TwoCase{"cz", &Register::cz, ref_cz},
                                           TwoCase{"swap", &Register::swap, ref_swap},
                                           TwoCase{"cx_cpp", &Register::cx_cpp, ref_cx}),
                         [](const auto& param_info) { return param_info.param.name; });

// The checks of each two-qubit gate, in order: (a, b) on a 3-qubit register,
// and the error each must report.
struct CheckCase {
  std::string label;
  Status (Register::*gate)(std::uint64_t, std::uint64_t);
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
  const Status status = (sv.*c.gate)(c.a, c.b);
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
        CheckCase{"cx_target", &Register::cx, 0, 3, ErrorKind::kIndexError, kRange},
        CheckCase{"cx_control", &Register::cx, 3, 0, ErrorKind::kIndexError, kRange},
        CheckCase{"cx_equal_out_of_range", &Register::cx, 5, 5, ErrorKind::kIndexError, kRange},
        CheckCase{"cx_equal", &Register::cx, 1, 1, ErrorKind::kIndexError,
                  "control and target must be different qubits"},
        CheckCase{"cy_target", &Register::cy, 0, 3, ErrorKind::kIndexError, kQubit},
        CheckCase{"cy_control", &Register::cy, 3, 0, ErrorKind::kIndexError, kQubit},
        CheckCase{"cy_equal_out_of_range", &Register::cy, 4, 4, ErrorKind::kIndexError, kQubit},
        CheckCase{"cy_equal", &Register::cy, 1, 1, ErrorKind::kValueError,
                  "control and target must differ"},
        CheckCase{"cz_target", &Register::cz, 0, 3, ErrorKind::kIndexError, kQubit},
        CheckCase{"cz_control", &Register::cz, 3, 0, ErrorKind::kIndexError, kQubit},
        CheckCase{"cz_equal", &Register::cz, 2, 2, ErrorKind::kValueError,
                  "control and target must differ"},
        CheckCase{"swap_first", &Register::swap, 3, 0, ErrorKind::kIndexError, kSwapRange},
        CheckCase{"swap_second", &Register::swap, 0, 3, ErrorKind::kIndexError, kSwapRange},
        CheckCase{"swap_equal_out_of_range", &Register::swap, 9, 9, ErrorKind::kIndexError,
                  kSwapRange},
        CheckCase{"swap_equal", &Register::swap, 1, 1, ErrorKind::kIndexError,
                  "swap indices must differ"},
        CheckCase{"cx_cpp_control", &Register::cx_cpp, 5, 0, ErrorKind::kIndexError, kQubit},
        CheckCase{"cx_cpp_target", &Register::cx_cpp, 0, 5, ErrorKind::kIndexError, kQubit},
        CheckCase{"cx_cpp_huge", &Register::cx_cpp, ~std::uint64_t{0}, 0,
                  ErrorKind::kIndexError, kQubit}),
    [](const auto& param_info) { return param_info.param.label; });

TEST(KernelBackedGates, equal_indices_in_cx_cpp_change_nothing) {
  std::mt19937_64 gen(3);
  const Amplitudes before = random_amplitudes(16, gen);
  for (std::uint64_t c = 0; c < 4; ++c) {
    Register sv = register_with(before);
    ASSERT_TRUE(sv.cx_cpp(c, c).ok());
    EXPECT_TRUE(identical_bits(sv.amplitudes(), before));
  }
}

TEST(KernelBackedGates, agree_with_engine_gates_on_random_states) {
  std::mt19937_64 gen(5);
  for (unsigned n = 1; n <= 9; ++n) {
    for (unsigned q = 0; q < n; ++q) {
      const Amplitudes before = random_amplitudes(std::uint64_t{1} << n, gen);
      Register native = register_with(before), engine = register_with(before);
      ASSERT_TRUE(native.h_cpp(q).ok() && engine.h(q).ok());
      EXPECT_EQ(first_difference(native.amplitudes(), contents(engine)), -1);
      ASSERT_TRUE(native.x_cpp(q).ok() && engine.x(q).ok());
      EXPECT_TRUE(identical_bits(native.amplitudes(), contents(engine)));
      for (unsigned t = 0; t < n; ++t) {
        if (t == q) continue;
        ASSERT_TRUE(native.cx_cpp(q, t).ok() && engine.cx(q, t).ok());
        EXPECT_TRUE(identical_bits(native.amplitudes(), contents(engine)));
      }
    }
  }
}

}  // namespace
}  // namespace velquin::testing
