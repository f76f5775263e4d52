// Blocked execution must give bit for bit the state of applying every
// operation (gates and general operations) in order over the whole register,
// for any block shape and thread count.
#include "engine/blocked_runner.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstring>
#include <random>
#include <vector>

#include "engine/exec_policy.h"
#include "engine/register.h"

namespace velquin::engine {
namespace {

using math_core::Complex64;

Register random_register(unsigned n, std::mt19937_64& gen) {
  auto sv = Register::create(n, 1).value();
  std::normal_distribution<double> normal;
  for (Complex64& a : sv.mutable_amplitudes()) a = {normal(gen), normal(gen)};
  sv.mutable_amplitudes()[3] = {-0.0, 0.0};
  return sv;
}

// Storage the general operations' coefficients point into.
struct Coefficients {
  std::vector<std::vector<Complex64>> matrices;
  std::vector<std::vector<std::uint32_t>> permutations;
};

// A general operation of a random kind on random qubits, some controlled.
GeneralOp random_general(unsigned n, std::mt19937_64& gen, Coefficients& store) {
  std::vector<unsigned> qubits(n);
  for (unsigned q = 0; q < n; ++q) qubits[q] = q;
  std::shuffle(qubits.begin(), qubits.end(), gen);
  GeneralOp op;
  op.kind = static_cast<OpKind>(gen() % 9);
  op.target_count = 1 + static_cast<unsigned>(gen() % std::min(3u, n));
  op.control_count = static_cast<unsigned>(gen() % (std::min(2u, n - op.target_count) + 1));
  for (unsigned i = 0; i < op.qubit_count(); ++i) op.qubits[i] = qubits[i];
  op.control_values = static_cast<std::uint32_t>(gen() & 3);
  const std::uint32_t members = 1u << op.target_count;
  std::normal_distribution<double> normal;
  std::vector<Complex64>& c = store.matrices.emplace_back(members * members);
  for (Complex64& x : c) x = {normal(gen), normal(gen)};
  if (op.kind == OpKind::kPauliRotation) c[2] = {-c[1].re, -c[1].im};
  op.coefficients = c.data();
  std::vector<std::uint32_t>& p = store.permutations.emplace_back(members);
  for (std::uint32_t m = 0; m < members; ++m) p[m] = m;
  std::shuffle(p.begin(), p.end(), gen);
  op.permutation = p.data();
  op.m0 = static_cast<std::uint32_t>(gen() % members);
  op.m1 = (op.m0 + 1) % members;
  op.pauli_flip = static_cast<std::uint32_t>(gen() % members);
  op.pauli_sign = static_cast<std::uint32_t>(gen() % members);
  if (op.kind == OpKind::kPauliRotation && op.pauli_flip == 0) op.pauli_flip = 1;
  return op;
}

// Any gate of the table on random qubits, some of them CX(a, a) no-ops, and
// general operations among them.
std::vector<Op> random_ops(const Register& sv, std::size_t count, std::mt19937_64& gen,
                           Coefficients& store) {
  const auto n = sv.n_qubits();
  std::uniform_int_distribution<std::uint64_t> qubit(0, n - 1);
  std::uniform_int_distribution<std::size_t> kind(0, kGateKindCount - 1);
  std::normal_distribution<double> angle(0.0, 2.0);
  std::vector<Op> ops;
  while (ops.size() < count) {
    if (gen() % 3 == 0) {
      ops.push_back(random_general(static_cast<unsigned>(n), gen, store));
      continue;
    }
    Gate g{static_cast<GateKind>(kind(gen)), qubit(gen), qubit(gen), angle(gen)};
    if (g.b == g.a) g.b = (g.a + 1) % n;
    if (g.kind == GateKind::kCxCpp && gen() % 3 == 0) g.b = g.a;
    ops.push_back(sv.prepare(g).value());
  }
  return ops;
}

bool same_bits(std::span<const Complex64> a, std::span<const Complex64> b) {
  return a.size() == b.size() && std::memcmp(a.data(), b.data(), a.size_bytes()) == 0;
}

struct Case {
  unsigned n;
  BlockShape shape;
  unsigned threads;
};

class BlockedRunnerMatchesSequential : public ::testing::TestWithParam<Case> {};

TEST_P(BlockedRunnerMatchesSequential, same_bits_as_gate_after_gate) {
  const Case c = GetParam();
  std::mt19937_64 gen(c.n * 1000 + c.shape.block_bits * 10 + c.threads);
  const ExecPolicy policy{chosen_isa(), c.threads};
  for (int trial = 0; trial < 3; ++trial) {
    Register blocked = random_register(c.n, gen);
    auto sequential = Register::create(c.n, 1).value();
    auto stopped = Register::create(c.n, 1).value();
    for (Register* copy : {&sequential, &stopped}) {
      std::memcpy(copy->mutable_amplitudes().data(), blocked.amplitudes().data(),
                  blocked.amplitudes().size_bytes());
    }
    Coefficients store;
    const auto ops = random_ops(blocked, 60, gen, store);
    // Told to stop at its first question, it must leave the state after a
    // whole prefix of the ops: the sequential state at some step below.
    const bool finished =
        run_blocked(stopped.mutable_amplitudes(), c.n, ops, policy, c.shape, [] { return true; });
    bool prefix_seen = same_bits(stopped.amplitudes(), sequential.amplitudes());
    const ExecPolicy one{Isa::kScalar, 1};
    for (const Op& op : ops) {
      op.run(sequential.mutable_amplitudes(), one);
      prefix_seen = prefix_seen || same_bits(stopped.amplitudes(), sequential.amplitudes());
    }
    EXPECT_TRUE(run_blocked(blocked.mutable_amplitudes(), c.n, ops, policy, c.shape));
    EXPECT_TRUE(same_bits(blocked.amplitudes(), sequential.amplitudes())) << "trial " << trial;
    EXPECT_TRUE(prefix_seen) << "stopped mid-run, trial " << trial;
    if (finished) {
      EXPECT_TRUE(same_bits(stopped.amplitudes(), sequential.amplitudes()));
    }
  }
}

INSTANTIATE_TEST_SUITE_P(
    Shapes, BlockedRunnerMatchesSequential,
    ::testing::Values(Case{10, {4, 2}, 1}, Case{10, {5, 1}, 2}, Case{12, {6, 3}, 3},
                      Case{12, {8, 4}, 2}, Case{15, {14, 8}, 2}, Case{16, {14, 8}, 1},
                      Case{16, {10, 6}, 2}, Case{17, {9, 3}, 3}, Case{9, {14, 8}, 2},
                      Case{13, {8, 4, 13}, 2}, Case{14, {8, 4, 13}, 2}, Case{12, {8, 4, 12, 5}, 1},
                      Case{14, {10, 4, 0, 7}, 2}, Case{16, BlockShape::for_cache(1 << 16), 2},
                      Case{17, BlockShape::for_cache(1 << 16), 2}));

TEST(BlockedRunner, empty_list_changes_nothing) {
  std::mt19937_64 gen(5);
  Register sv = random_register(16, gen);
  std::vector<Complex64> before(sv.amplitudes().begin(), sv.amplitudes().end());
  EXPECT_TRUE(run_blocked(sv.mutable_amplitudes(), 16, {}, default_exec_policy()));
  EXPECT_TRUE(same_bits(sv.amplitudes(), before));
}

}  // namespace
}  // namespace velquin::engine
