// Times circuit execution on an existing register: the layered random circuit
// and the QFT-like circuit of the Python harness, gate after gate and cache
// blocked with a chosen block shape. Not a test; for tuning the block shape.
//
//   circuit_bench [--block B] [--low L] [--threads T] n...
#include <chrono>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <random>
#include <string>
#include <vector>

#include "circuit/blocked_runner.h"
#include "engine/exec_policy.h"
#include "engine/register.h"

namespace {

using velquin::Gate;
using velquin::GateKind;
using velquin::circuit::BlockShape;
using velquin::engine::ExecPolicy;
using velquin::engine::GateOp;
using velquin::engine::Register;

std::vector<GateOp> random_layers(const Register& sv, unsigned layers) {
  const auto n = sv.n_qubits();
  std::mt19937_64 gen(2024 + n);
  std::uniform_real_distribution<double> angle(0.0, 2.0 * M_PI);
  std::vector<GateOp> ops;
  for (unsigned layer = 0; layer < layers; ++layer) {
    for (std::uint64_t q = 0; q < n; ++q) {
      ops.push_back(sv.prepare(Gate{GateKind::kRx, q, 0, angle(gen)}).value());
      ops.push_back(sv.prepare(Gate{GateKind::kRz, q, 0, angle(gen)}).value());
    }
    for (std::uint64_t q = layer % 2; q + 1 < n; q += 2) ops.push_back(sv.prepare(Gate{GateKind::kCxCpp, q, q + 1}).value());
  }
  return ops;
}

std::vector<GateOp> qft_like(const Register& sv) {
  const auto n = sv.n_qubits();
  std::vector<GateOp> ops;
  for (std::uint64_t j = n; j-- > 0;) {
    ops.push_back(sv.prepare(Gate{GateKind::kHCpp, j}).value());
    for (std::uint64_t k = j; k-- > 0;) {
      const double phi = M_PI / std::pow(2.0, static_cast<double>(j - k));
      ops.push_back(sv.prepare(Gate{GateKind::kRz, k, 0, phi / 2.0}).value());
      ops.push_back(sv.prepare(Gate{GateKind::kRz, j, 0, phi / 2.0}).value());
      ops.push_back(sv.prepare(Gate{GateKind::kCxCpp, k, j}).value());
      ops.push_back(sv.prepare(Gate{GateKind::kRz, j, 0, -phi / 2.0}).value());
      ops.push_back(sv.prepare(Gate{GateKind::kCxCpp, k, j}).value());
    }
  }
  return ops;
}

double time_once(Register& sv, const std::vector<GateOp>& ops, const ExecPolicy& policy,
                 const BlockShape* shape) {
  const auto t0 = std::chrono::steady_clock::now();
  if (shape == nullptr) {
    for (const GateOp& op : ops) op.run(sv.mutable_amplitudes(), {op.qubit(0), op.qubit(op.arity() - 1)}, policy);
  } else {
    velquin::circuit::run_blocked(sv.mutable_amplitudes(), static_cast<unsigned>(sv.n_qubits()), ops, policy, *shape);
  }
  return std::chrono::duration<double>(std::chrono::steady_clock::now() - t0).count();
}

}  // namespace

int main(int argc, char** argv) {
  BlockShape shape;
  ExecPolicy policy = velquin::engine::default_exec_policy();
  bool sequential = false;
  std::vector<unsigned> sizes;
  for (int i = 1; i < argc; ++i) {
    const std::string arg = argv[i];
    if (arg == "--block") shape.block_bits = static_cast<unsigned>(std::atoi(argv[++i]));
    else if (arg == "--low") shape.low_bits = static_cast<unsigned>(std::atoi(argv[++i]));
    else if (arg == "--threads") policy.threads = static_cast<unsigned>(std::atoi(argv[++i]));
    else if (arg == "--sequential") sequential = true;
    else sizes.push_back(static_cast<unsigned>(std::atoi(arg.c_str())));
  }
  for (const unsigned n : sizes) {
    Register sv = Register::create(n, 1).value();
    for (auto& a : sv.mutable_amplitudes()) a = {0.5, 0.25};  // touch every page first
    for (const auto& [label, ops] : {std::pair{"random", random_layers(sv, 4)}, std::pair{"qft", qft_like(sv)}}) {
      double best = 1e9;
      for (int rep = 0; rep < (n >= 26 ? 1 : 3); ++rep) {
        best = std::min(best, time_once(sv, ops, policy, sequential ? nullptr : &shape));
      }
      std::printf("n=%u %-6s %5zu gates  block=%u low=%u threads=%u %s: %9.1f ms\n", n, label, ops.size(),
                  shape.block_bits, shape.low_bits, policy.threads, sequential ? "sequential" : "blocked",
                  best * 1e3);
    }
  }
}
