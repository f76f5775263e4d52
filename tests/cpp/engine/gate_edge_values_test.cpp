// Values that show the exact rounding and sign rules on tiny registers.
#include <gtest/gtest.h>

#include <bit>
#include <cmath>
#include <functional>
#include <string>
#include <vector>

#include "engine/register.h"
#include "gate_calls.h"

namespace velquin::engine {
namespace {

using velquin::testing::apply;
using velquin::testing::rotate;

struct Expected {
  std::uint64_t index;
  double re;
  double im;
};

struct EdgeCase {
  std::string label;
  std::uint64_t n_qubits;
  std::function<void(Register&)> gates;
  std::vector<Expected> expected;
};

void PrintTo(const EdgeCase& c, std::ostream* os) { *os << c.label; }

class EdgeValues : public ::testing::TestWithParam<EdgeCase> {};

std::uint64_t bits(double x) { return std::bit_cast<std::uint64_t>(x); }

TEST_P(EdgeValues, exact_bits) {
  const EdgeCase& c = GetParam();
  Register sv = Register::create(c.n_qubits, 0).value();
  c.gates(sv);
  for (const Expected& e : c.expected) {
    const Complex64 got = sv.amplitudes()[e.index];
    EXPECT_EQ(bits(got.re), bits(e.re)) << "index " << e.index << " re " << got.re;
    EXPECT_EQ(bits(got.im), bits(e.im)) << "index " << e.index << " im " << got.im;
  }
}

void ok(Status s) { ASSERT_TRUE(s.ok()); }

const double kR = 0.7071067811865475;

INSTANTIATE_TEST_SUITE_P(
    Gates, EdgeValues,
    ::testing::Values(
        EdgeCase{"h_factor",
                 1,
                 [](Register& sv) { ok(apply(sv, GateKind::kH, 0)); },
                 {{0, kR, 0.0}, {1, kR, 0.0}}},
        EdgeCase{
            "h_twice_does_not_restore_norm",
            1,
            [](Register& sv) { ok(apply(sv, GateKind::kH, 0)), ok(apply(sv, GateKind::kH, 0)); },
            {{0, 0.9999999999999998, 0.0}, {1, 0.0, 0.0}}},
        EdgeCase{"h_cpp_twice",
                 1,
                 [](Register& sv) {
                   ok(apply(sv, GateKind::kHCpp, 0)), ok(apply(sv, GateKind::kHCpp, 0));
                 },
                 {{0, 0.9999999999999998, 0.0}, {1, 0.0, 0.0}}},
        EdgeCase{"y_negative_zero",
                 1,
                 [](Register& sv) { ok(apply(sv, GateKind::kY, 0)); },
                 {{0, 0.0, -0.0}, {1, 0.0, 1.0}}},
        EdgeCase{"sx",
                 1,
                 [](Register& sv) { ok(apply(sv, GateKind::kSx, 0)); },
                 {{0, 0.5, 0.5}, {1, 0.5, -0.5}}},
        EdgeCase{"rx_pi",
                 1,
                 [](Register& sv) { ok(rotate(sv, GateKind::kRx, 0, M_PI)); },
                 {{0, 6.123233995736766e-17, 0.0}, {1, 0.0, -1.0}}},
        EdgeCase{"ry_half_pi",
                 1,
                 [](Register& sv) { ok(rotate(sv, GateKind::kRy, 0, M_PI / 2)); },
                 {{0, 0.7071067811865476, 0.0}, {1, kR, 0.0}}},
        EdgeCase{"rz_half_pi",
                 1,
                 [](Register& sv) { ok(rotate(sv, GateKind::kRz, 0, M_PI / 2)); },
                 {{0, 0.7071067811865476, -kR}, {1, 0.0, 0.0}}},
        EdgeCase{
            "t_on_one",
            1,
            [](Register& sv) { ok(apply(sv, GateKind::kX, 0)), ok(apply(sv, GateKind::kT, 0)); },
            {{1, 0.7071067811865476, kR}}},
        EdgeCase{
            "tdg_on_one",
            1,
            [](Register& sv) { ok(apply(sv, GateKind::kX, 0)), ok(apply(sv, GateKind::kTdg, 0)); },
            {{1, 0.7071067811865476, -kR}}},
        EdgeCase{
            "s_on_one",
            1,
            [](Register& sv) { ok(apply(sv, GateKind::kX, 0)), ok(apply(sv, GateKind::kS, 0)); },
            {{1, 0.0, 1.0}}},
        EdgeCase{
            "z_negates_both_parts",
            1,
            [](Register& sv) { ok(apply(sv, GateKind::kX, 0)), ok(apply(sv, GateKind::kZ, 0)); },
            {{0, 0.0, 0.0}, {1, -1.0, -0.0}}},
        EdgeCase{"x_high_qubit",
                 2,
                 [](Register& sv) { ok(apply(sv, GateKind::kX, 1)); },
                 {{0, 0.0, 0.0}, {2, 1.0, 0.0}}},
        EdgeCase{"cx_moves_when_control_set",
                 2,
                 [](Register& sv) {
                   ok(apply(sv, GateKind::kX, 0)), ok(apply(sv, GateKind::kCx, 0, 1));
                 },
                 {{1, 0.0, 0.0}, {3, 1.0, 0.0}}},
        EdgeCase{"cx_leaves_when_control_clear",
                 2,
                 [](Register& sv) {
                   ok(apply(sv, GateKind::kX, 0)), ok(apply(sv, GateKind::kCx, 1, 0));
                 },
                 {{1, 1.0, 0.0}}},
        EdgeCase{"cy_negative_zero",
                 2,
                 [](Register& sv) {
                   ok(apply(sv, GateKind::kX, 0)), ok(apply(sv, GateKind::kCy, 0, 1));
                 },
                 {{1, 0.0, -0.0}, {3, 0.0, 1.0}}},
        EdgeCase{"cz",
                 2,
                 [](Register& sv) {
                   ok(apply(sv, GateKind::kX, 0)), ok(apply(sv, GateKind::kX, 1)),
                       ok(apply(sv, GateKind::kCz, 0, 1));
                 },
                 {{3, -1.0, -0.0}}},
        EdgeCase{"cz_reversed",
                 2,
                 [](Register& sv) {
                   ok(apply(sv, GateKind::kX, 0)), ok(apply(sv, GateKind::kX, 1)),
                       ok(apply(sv, GateKind::kCz, 1, 0));
                 },
                 {{3, -1.0, -0.0}}},
        EdgeCase{"swap",
                 2,
                 [](Register& sv) {
                   ok(apply(sv, GateKind::kX, 0)), ok(apply(sv, GateKind::kSwap, 0, 1));
                 },
                 {{1, 0.0, 0.0}, {2, 1.0, 0.0}}},
        EdgeCase{
            "swap_reversed",
            2,
            [](Register&
                   sv) { ok(apply(sv, GateKind::kX, 0)), ok(apply(sv, GateKind::kSwap, 1, 0)); },
            {{2, 1.0, 0.0}}}),
    [](const auto& param_info) { return param_info.param.label; });

TEST(NonFiniteAngles, rotations_make_every_part_nan) {
  for (GateKind rotation : {GateKind::kRx, GateKind::kRy, GateKind::kRz}) {
    for (double theta : {NAN, INFINITY, -INFINITY}) {
      Register sv = Register::create(2, 0).value();
      ASSERT_TRUE(rotate(sv, rotation, 1, theta).ok());
      for (const Complex64& a : sv.amplitudes()) {
        EXPECT_TRUE(std::isnan(a.re) && std::isnan(a.im));
      }
    }
  }
}

}  // namespace
}  // namespace velquin::engine
