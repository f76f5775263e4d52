// Programs: every operation of the gate library, with controls and phases, at
// every variant, thread count and blocking gives the bits of the scalar,
// single-threaded run; programs of velquin's sixteen gates give the bits of
// velquin's circuits; each faulty operation is refused, named by its index;
// reductions and per-shot samples keep their bits at any thread count.
#include "program/program.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstring>
#include <map>
#include <numeric>
#include <random>
#include <string>
#include <tuple>

#include "../engine/reference_gates.h"
#include "circuit/quantum_circuit.h"
#include "engine/outcome_sampler.h"
#include "engine/reductions.h"
#include "random/std_rng.h"

namespace velquin::program {
namespace {

using engine::ExecPolicy;
using testing::Amplitudes;
using testing::identical_bits;

// A random operation of `info` on a register of n qubits (empty when it cannot fit).
std::optional<OperationRequest> random_operation(const OperationInfo& info, unsigned n,
                                                 unsigned n_params, std::mt19937_64& gen) {
  std::vector<std::uint64_t> qubits(n);
  std::iota(qubits.begin(), qubits.end(), 0);
  std::shuffle(qubits.begin(), qubits.end(), gen);
  const bool enumerated = info.kind == OpKind::kDense || info.kind == OpKind::kDiagonal ||
                          info.kind == OpKind::kPermutation || info.kind == OpKind::kTwoLevel;
  unsigned targets = info.targets;
  if (targets == kAnyTargets)
    targets = 1 + static_cast<unsigned>(gen() % std::min(enumerated ? 3u : 5u, n));
  const unsigned fixed = targets + info.leading_controls;
  if (fixed > n) return std::nullopt;
  const unsigned extra = static_cast<unsigned>(gen() % (std::min(2u, n - fixed) + 1));
  OperationRequest op;
  op.name = std::string(info.name);
  op.qubits.assign(qubits.begin(), qubits.begin() + fixed);
  op.controls.assign(qubits.begin() + fixed, qubits.begin() + fixed + extra);
  for (unsigned i = 0; i < extra; ++i) op.control_values.push_back(gen() & 1);
  std::uniform_real_distribution<double> angle(-7.0, 7.0);
  auto expression = [&] {
    Expression e = Expression::of(angle(gen));
    if (n_params > 0 && gen() % 2) {
      e.terms.emplace_back(static_cast<std::uint32_t>(gen() % n_params), angle(gen));
      if (gen() % 2) e.terms.emplace_back(static_cast<std::uint32_t>(gen() % n_params), 1.0);
      if (gen() % 2) e.constant = 0.0;
    }
    return e;
  };
  for (unsigned i = 0; i < parameter_count(info, targets); ++i) op.params.push_back(expression());
  if (gen() % 3 == 0) op.phase = expression();
  const std::uint64_t members = std::uint64_t{1} << targets;
  std::normal_distribution<double> normal;
  if (info.payload == Payload::kMatrix || info.payload == Payload::kDiagonal) {
    op.has_matrix = true;
    const bool square = info.payload == Payload::kMatrix;
    op.matrix_shape =
        square ? std::vector<std::uint64_t>{members, members} : std::vector<std::uint64_t>{members};
    op.matrix.resize(square ? members * members : members);
    for (Complex64& c : op.matrix) c = {normal(gen), normal(gen)};
  }
  if (info.payload == Payload::kPermutation) {
    op.permutation.resize(members);
    std::iota(op.permutation.begin(), op.permutation.end(), 0);
    std::shuffle(op.permutation.begin(), op.permutation.end(), gen);
  }
  if (info.payload == Payload::kWord) {
    for (unsigned i = 0; i < targets; ++i) op.word += "XYZ"[gen() % 3];
  }
  return op;
}

Program random_program(unsigned n, unsigned n_params, std::size_t count, std::mt19937_64& gen) {
  const auto table = operations();
  std::vector<OperationRequest> ops;
  while (ops.size() < count) {
    const OperationInfo& info = table[gen() % table.size()];
    if (auto op = random_operation(info, n, n_params, gen)) ops.push_back(std::move(*op));
  }
  Result<Program> program = Program::compile(n, n_params, std::move(ops), Expression::of(0.25));
  EXPECT_TRUE(program.ok()) << (program.ok() ? "" : program.error().message);
  return std::move(program).value();
}

Amplitudes play(const Program& program, const Amplitudes& start, std::span<const double> params,
                const ExecPolicy& policy) {
  Binding binding;
  program.bind(params, binding);
  Amplitudes state = start;
  EXPECT_TRUE(program.play(binding, state, policy));
  return state;
}

class ProgramVariants : public ::testing::TestWithParam<std::tuple<Isa, unsigned>> {};

TEST_P(ProgramVariants, every_operation_same_bits_as_scalar_single_thread) {
  const auto [isa, threads] = GetParam();
  if (!isa_supported(isa)) GTEST_SKIP() << "CPU lacks " << isa_name(isa);
  std::mt19937_64 gen(static_cast<unsigned>(isa) * 10 + threads);
  // Registers from 2^9 amplitudes prefetched, above 2^10 threaded and blocked
  // (a 2^11-amplitude cache): both sides of each threshold.
  const ExecPolicy policy{isa, threads, std::uint64_t{1} << 9, std::uint64_t{1} << 11};
  const ExecPolicy reference{Isa::kScalar, 1, math_core::kPrefetchFrom, std::uint64_t{1} << 18};
  for (unsigned n : {1u, 2u, 3u, 4u, 5u, 7u, 9u, 11u, 14u}) {
    const Program program = random_program(n, 3, n >= 11 ? 60 : 150, gen);
    const double params[3] = {0.3, -1.7, 2.9};
    Amplitudes start = testing::random_amplitudes(std::uint64_t{1} << n, gen);
    for (Complex64& c : start) {  // NaNs spread to everything and hide wrong operands
      if (!std::isfinite(c.re)) c.re = 0.5;
      if (!std::isfinite(c.im)) c.im = -0.25;
    }
    const Amplitudes want = play(program, start, params, reference);
    ASSERT_TRUE(identical_bits(play(program, start, params, policy), want)) << "n=" << n;
  }
}

INSTANTIATE_TEST_SUITE_P(EveryVariant, ProgramVariants,
                         ::testing::Combine(::testing::Values(Isa::kScalar, Isa::kSse2, Isa::kAvx2,
                                                              Isa::kAvx512),
                                            ::testing::Values(1u, 2u, 3u)),
                         [](const auto& param_info) {
                           return std::string(isa_name(std::get<0>(param_info.param))) +
                                  "_threads" + std::to_string(std::get<1>(param_info.param));
                         });

TEST(Program, sixteen_gates_give_the_bits_of_a_velquin_circuit) {
  // From states with signed zeros, infinities and NaNs: any other formula shows.
  std::mt19937_64 gen(3);
  const char* names[] = {"x",  "y",  "z",  "h",  "s",  "sdg",  "t",  "tdg",
                         "sx", "rx", "ry", "rz", "cx", "swap", "cy", "cz"};
  for (unsigned n : {1u, 2u, 5u, 12u, 16u}) {
    circuit::QuantumCircuit circuit(n);
    std::vector<OperationRequest> ops;
    for (int k = 0; k < 200; ++k) {
      const unsigned kind = static_cast<unsigned>(gen() % (n == 1 ? 12 : 16));
      const std::uint64_t a = gen() % n, b = (a + 1 + gen() % std::max(1u, n - 1)) % n;
      const double theta = std::uniform_real_distribution<double>(-9, 9)(gen);
      circuit.append(Gate{static_cast<GateKind>(kind), a, b, theta});
      OperationRequest op;
      op.name = names[kind];
      op.qubits = kind >= 12 ? std::vector<std::uint64_t>{a, b} : std::vector<std::uint64_t>{a};
      if (kind >= 9 && kind <= 11) op.params.push_back(Expression::of(theta));
      ops.push_back(op);
    }
    const ExecPolicy policy = engine::default_exec_policy();
    const Amplitudes start = testing::random_amplitudes(std::uint64_t{1} << n, gen);
    engine::Register sv = engine::Register::create(n, 1).value();
    std::copy(start.begin(), start.end(), sv.mutable_amplitudes().begin());
    ASSERT_TRUE(circuit.apply_gates(sv, policy).ok());
    Result<Program> program = Program::compile(n, 0, std::move(ops), std::nullopt);
    ASSERT_TRUE(program.ok());
    EXPECT_TRUE(identical_bits(play(program.value(), start, {}, policy), sv.amplitudes()))
        << "n=" << n;
  }
}

std::string refusal(OperationRequest op, std::uint64_t n_qubits = 3, std::uint64_t n_params = 1) {
  std::vector<OperationRequest> ops(2);
  ops[0].name = "h";
  ops[0].qubits = {0};
  ops[1] = std::move(op);
  Result<Program> program = Program::compile(n_qubits, n_params, std::move(ops), std::nullopt);
  if (program.ok()) return "accepted";
  EXPECT_EQ(program.error().kind, ErrorKind::kValueError);
  return program.error().message;
}

TEST(Program, each_faulty_operation_is_named_by_its_index) {
  auto op = [](std::string name, std::vector<std::uint64_t> qubits) {
    OperationRequest r;
    r.name = std::move(name);
    r.qubits = std::move(qubits);
    return r;
  };
  EXPECT_EQ(refusal(op("cnot", {0, 1})), "operation 1: unknown operation 'cnot'");
  EXPECT_EQ(refusal(op("cx", {0})), "operation 1 (cx): acts on 2 qubits, got 1");
  EXPECT_EQ(refusal(op("h", {3})), "operation 1 (h): qubit 3 is out of range for 3 qubits");
  EXPECT_EQ(refusal(op("swap", {1, 1})), "operation 1 (swap): qubit 1 appears more than once");
  OperationRequest controlled = op("x", {0});
  controlled.controls = {0};
  EXPECT_EQ(refusal(controlled), "operation 1 (x): qubit 0 appears more than once");
  controlled.controls = {1, 2};
  controlled.control_values = {1};
  EXPECT_EQ(refusal(controlled), "operation 1 (x): 2 controls but 1 control value");
  controlled.control_values = {1, 2};
  EXPECT_EQ(refusal(controlled), "operation 1 (x): control values must be 0 or 1");
  EXPECT_EQ(refusal(op("rx", {0})), "operation 1 (rx): takes 1 parameter, got 0");
  OperationRequest slot = op("rx", {0});
  slot.params.push_back(Expression{0.0, {{1, 1.0}}});
  EXPECT_EQ(refusal(slot), "operation 1 (rx): refers to parameter 1 of a program with 1 parameter");
  OperationRequest matrix = op("unitary", {0, 1});
  matrix.has_matrix = true;
  matrix.matrix_shape = {2, 2};
  matrix.matrix.resize(4);
  EXPECT_EQ(refusal(matrix),
            "operation 1 (unitary): needs a 4 x 4 complex matrix for 2 target qubits");
  OperationRequest permutation = op("permutation", {0, 1});
  permutation.permutation = {0, 1, 1, 3};
  EXPECT_EQ(refusal(permutation),
            "operation 1 (permutation): the permutation must hold each member index once");
  OperationRequest word = op("pauli", {0, 1});
  word.word = "XQ";
  EXPECT_EQ(refusal(word),
            "operation 1 (pauli): the word must hold one letter X, Y or Z per target");
  EXPECT_EQ(refusal(op("unitary", {0, 1, 2, 3, 4, 5, 6, 7, 8, 9, 10}), 12),
            "operation 1 (unitary): acts on at most 10 target qubits");
  OperationRequest extra = op("h", {0});
  extra.word = "X";
  EXPECT_EQ(refusal(extra), "operation 1 (h): takes no matrix, permutation or word");
}

// A 20-qubit state whose sums are long enough to split over threads.
Amplitudes big_state() {
  std::mt19937_64 gen(11);
  std::normal_distribution<double> normal;
  Amplitudes state(std::uint64_t{1} << 20);
  for (Complex64& c : state) c = {normal(gen) * 1e-3, normal(gen) * 1e-3};
  return state;
}

TEST(Reductions, same_bits_at_any_thread_count) {
  const Amplitudes state = big_state();
  const std::vector<engine::PauliWord> words = {
      {0, 0b1011, 0}, {0b110, 0b100, 1}, {1 << 19, 1 << 3, 0}};
  const unsigned qubits[] = {19, 0, 7};
  std::vector<double> want;
  for (unsigned threads : {1u, 2u, 3u}) {
    const ExecPolicy policy{Isa::kScalar, threads, math_core::kPrefetchFrom, 1u << 11};
    std::vector<double> got = engine::pauli_values(state, words, policy);
    got.push_back(engine::norm_squared(state, policy));
    for (double p : engine::probabilities(state, qubits, policy)) got.push_back(p);
    if (want.empty()) want = got;
    ASSERT_EQ(std::memcmp(got.data(), want.data(), got.size() * sizeof(double)), 0) << threads;
  }
  // ... and the values of the sums they stand for.
  long double norm = 0, z = 0;
  for (std::uint64_t i = 0; i < state.size(); ++i) {
    const long double w = state[i].re * state[i].re + state[i].im * state[i].im;
    norm += w;
    z += (std::popcount(i & 0b1011) & 1) ? -w : w;
  }
  EXPECT_NEAR(want[3], static_cast<double>(norm), 1e-12);
  EXPECT_NEAR(want[0], static_cast<double>(z), 1e-12);
}

TEST(Sampling, per_shot_outcomes_count_to_measure_counts) {
  const Amplitudes state = big_state();
  for (std::uint64_t chunk : {std::uint64_t{7}, engine::kSampleChunk}) {
    random::StdRng a = random::StdRng::seed_from_u64(5), b = random::StdRng::seed_from_u64(5);
    const auto counts = engine::sample_outcomes(state, a, 5000).value();
    const auto shots = engine::sample_shots(state, b, 5000, chunk).value();
    std::map<std::uint64_t, std::uint64_t> tally;
    for (std::uint64_t outcome : shots) ++tally[outcome];
    EXPECT_EQ((engine::OutcomeCounts(tally.begin(), tally.end())), counts);
    EXPECT_EQ(a.next_u64(), b.next_u64());
  }
}

}  // namespace
}  // namespace velquin::program
