// Probes of where a gate's time goes on registers that fit in the cache: per
// call times of every gate (calls batched so a microsecond gate is not clock
// jitter), one thread against two interleaved, the round trip of the thread
// pool, circuits gate after gate against several block shapes, and fixed call
// counts for instruction counting under callgrind. Interleaved comparisons
// alternate their variants round by round and report minima, the figures least
// disturbed by a shared machine. Not a test.
//
//   probe gates   [--threads T] [--isa I] [--only GATE] n...
//   probe threads [--isa I] [--only GATE] n...
//   probe pool
//   probe blocks  [--threads T] n...
//   probe calls GATE a b n K          (K calls of one gate; b ignored for one-qubit gates)
//   probe circuit-calls CIRCUIT n K   (K fresh executions of random, qft or ansatz)
#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <functional>
#include <memory>
#include <random>
#include <string>
#include <vector>

#ifdef _OPENMP
#include <omp.h>
#endif

#include "engine/blocked_runner.h"
#include "circuit/quantum_circuit.h"
#include "engine/exec_policy.h"
#include "engine/register.h"
#include "engine/thread_pool.h"

namespace {

using velquin::Gate;
using velquin::GateKind;
using velquin::circuit::QuantumCircuit;
using velquin::Isa;
using velquin::isa_name;
using velquin::kIsaCount;
using velquin::engine::ExecPolicy;
using velquin::engine::GateOp;
using velquin::engine::Register;
using SV = Register;
using Call = std::function<void(SV&, const ExecPolicy&)>;

double now() {
  return std::chrono::duration<double>(std::chrono::steady_clock::now().time_since_epoch()).count();
}

double median(std::vector<double> v) {
  std::sort(v.begin(), v.end());
  return v[v.size() / 2];
}

double minimum(const std::vector<double>& v) { return *std::min_element(v.begin(), v.end()); }

// One gate by its Python name; b is the second qubit of a two-qubit gate.
Call gate_call(const std::string& g, unsigned a, unsigned b) {
  for (const auto& info : velquin::kGates) {
    if (info.text.name != g) continue;
    const Gate gate{info.kind, a, b, 0.3};
    return [gate](SV& s, const ExecPolicy& policy) { (void)s.apply(gate, policy); };
  }
  std::fprintf(stderr, "unknown gate %s\n", g.c_str());
  std::exit(2);
}

struct Case {
  std::string label;
  Call call;
};

// Every gate at qubit 0, 1, 2, the middle and the top; pairs with a low qubit
// on either side, a middle pair and both orders against the top.
std::vector<Case> cases(unsigned n, const std::string& only) {
  const unsigned mid = n / 2, top = n - 1;
  std::vector<unsigned> qubits = {0, 1, 2, mid, top};
  qubits.erase(std::unique(qubits.begin(), qubits.end()), qubits.end());
  const std::vector<std::pair<unsigned, unsigned>> pairs = {
      {0, 1}, {0, top}, {top, 0}, {mid - 1, mid}, {1, top}, {top, 1}, {2, top}};
  std::vector<Case> out;
  for (const char* g : {"h", "x", "z", "s", "sx", "rx", "ry", "rz", "h_cpp", "x_cpp"}) {
    if (!only.empty() && only != g) continue;
    for (unsigned q : qubits) out.push_back({std::string(g) + "(" + std::to_string(q) + ")", gate_call(g, q, q)});
  }
  for (const char* g : {"cx", "cz", "swap", "cy", "cx_cpp"}) {
    if (!only.empty() && only != g) continue;
    for (const auto& [a, b] : pairs) {
      out.push_back({std::string(g) + "(" + std::to_string(a) + "," + std::to_string(b) + ")", gate_call(g, a, b)});
    }
  }
  return out;
}

SV filled_register(unsigned n) {
  SV sv = SV::create(n, 1).value();
  auto data = sv.mutable_amplitudes();
  const double r = 1.0 / std::sqrt(static_cast<double>(data.size()));
  for (std::uint64_t i = 0; i < data.size(); ++i) data[i] = {r, (i & 1) != 0 ? -r : r};
  return sv;
}

// Calls per sample so that one sample takes about 300 us.
std::uint64_t batch_for(const std::function<void()>& f) {
  f();
  std::uint64_t batch = 1;
  for (;;) {
    const double t0 = now();
    for (std::uint64_t i = 0; i < batch; ++i) f();
    if (now() - t0 > 300e-6 || batch >= (std::uint64_t{1} << 20)) return batch;
    batch *= 2;
  }
}

// Alternates the variants round by round; per variant, the seconds of one call
// in each round.
std::vector<std::vector<double>> interleaved(const std::vector<std::function<void()>>& variants,
                                             int rounds, const std::function<void(std::size_t)>& select) {
  select(0);
  const std::uint64_t batch = batch_for(variants[0]);
  std::vector<std::vector<double>> samples(variants.size());
  for (int r = 0; r < rounds; ++r) {
    for (std::size_t k = 0; k < variants.size(); ++k) {
      const std::size_t v = (k + static_cast<std::size_t>(r)) % variants.size();
      select(v);
      variants[v]();  // the variant's own warm-up (its threads, its cache state)
      const double t0 = now();
      for (std::uint64_t i = 0; i < batch; ++i) variants[v]();
      samples[v].push_back((now() - t0) / static_cast<double>(batch));
    }
  }
  return samples;
}

std::vector<Gate> circuit_gates(const std::string& which, unsigned n) {
  std::vector<Gate> g;
  std::mt19937_64 gen(7 + n);
  std::uniform_real_distribution<double> angle(0.0, 2.0 * M_PI);
  if (which == "random" || which == "ansatz") {
    const bool ansatz = which == "ansatz";
    for (unsigned layer = 0; layer < (ansatz ? 6u : 4u); ++layer) {
      for (unsigned q = 0; q < n; ++q) {
        g.push_back({ansatz ? GateKind::kRy : GateKind::kRx, q, 0, angle(gen)});
        g.push_back({GateKind::kRz, q, 0, angle(gen)});
      }
      for (unsigned q = ansatz ? 0 : layer % 2; q + 1 < n; q += ansatz ? 1 : 2) {
        g.push_back({ansatz ? GateKind::kCz : GateKind::kCx, q, q + 1, 0});
      }
    }
    return g;
  }
  for (unsigned j = n; j-- > 0;) {  // QFT-like: H and controlled phases from rz and cx
    g.push_back({GateKind::kH, j, 0, 0});
    for (unsigned k = j; k-- > 0;) {
      const double phi = M_PI / std::pow(2.0, static_cast<double>(j - k));
      g.push_back({GateKind::kRz, k, 0, phi / 2});
      g.push_back({GateKind::kRz, j, 0, phi / 2});
      g.push_back({GateKind::kCx, k, j, 0});
      g.push_back({GateKind::kRz, j, 0, -phi / 2});
      g.push_back({GateKind::kCx, k, j, 0});
    }
  }
  return g;
}

// A record as circuit execution prepares it.
velquin::Result<GateOp> prepare(const SV& sv, const Gate& gate) {
  return sv.prepare(Gate{velquin::gate_info(gate.kind).played_as, gate.a, gate.b, gate.theta});
}

void gates(const std::vector<unsigned>& sizes, const std::string& only, const ExecPolicy& policy) {
  std::printf("%-3s %-14s %12s %12s %10s\n", "n", "gate", "median us", "min us", "ns/amp");
  for (unsigned n : sizes) {
    SV sv = filled_register(n);
    for (const Case& c : cases(n, only)) {
      const auto s = interleaved({[&] { c.call(sv, policy); }}, 15, [](std::size_t) {})[0];
      std::printf("%-3u %-14s %12.3f %12.3f %10.3f\n", n, c.label.c_str(), median(s) * 1e6,
                  minimum(s) * 1e6, minimum(s) * 1e9 / static_cast<double>(sv.length()));
    }
  }
}

void threads(const std::vector<unsigned>& sizes, const std::string& only, Isa isa) {
  std::printf("%-3s %-14s %12s %12s %10s %10s\n", "n", "gate", "1 thread us", "2 threads us",
              "2/1 min", "2/1 med");
  for (unsigned n : sizes) {
    SV sv = filled_register(n);
    for (const Case& c : cases(n, only)) {
      const ExecPolicy one{isa, 1}, two{isa, 2};
      const auto s = interleaved({[&] { c.call(sv, one); }, [&] { c.call(sv, two); }}, 21,
                                 [](std::size_t) {});
      std::printf("%-3u %-14s %12.3f %12.3f %10.2f %10.2f\n", n, c.label.c_str(), minimum(s[0]) * 1e6,
                  minimum(s[1]) * 1e6, minimum(s[1]) / minimum(s[0]), median(s[1]) / median(s[0]));
    }
  }
}

// An empty two-piece parallel_for after a pause of `gap` (the caller spinning,
// as between two gates), against an OpenMP region where built with OpenMP.
void pool() {
  volatile double sink = 0;
  auto pause = [](double us) {
    const double t0 = now();
    while (now() - t0 < us * 1e-6) {
    }
  };
  for (double gap : {0.0, 2.0, 20.0, 200.0}) {
    std::vector<double> ours, omp;
    for (int r = 0; r < 1500; ++r) {
      pause(gap);
      const double t0 = now();
      velquin::engine::parallel_for(2, 128, 64, 64, [&](std::uint64_t b, std::uint64_t e) {
        sink = sink + static_cast<double>(e - b);
      });
      ours.push_back(now() - t0);
    }
#ifdef _OPENMP
    for (int r = 0; r < 1500; ++r) {
      pause(gap);
      const double t0 = now();
#pragma omp parallel num_threads(2)
      { sink = sink + 1; }
      omp.push_back(now() - t0);
    }
#endif
    std::sort(ours.begin(), ours.end());
    std::sort(omp.begin(), omp.end());
    auto at = [](const std::vector<double>& v, double f) {
      return v.empty() ? 0.0 : v[static_cast<std::size_t>(f * static_cast<double>(v.size() - 1))] * 1e6;
    };
    std::printf("gap %5.0f us: pool min %.2f median %.2f p90 %.2f us", gap, at(ours, 0), at(ours, 0.5),
                at(ours, 0.9));
    if (!omp.empty()) {
      std::printf(" | OpenMP region min %.2f median %.2f p90 %.2f us", at(omp, 0), at(omp, 0.5), at(omp, 0.9));
    }
    std::printf("\n");
  }
}

void blocks(const std::vector<unsigned>& sizes, const ExecPolicy& policy) {
  const std::vector<unsigned> shapes = {14, 16, 17, 18};
  std::printf("minimum ms of 9 interleaved rounds, %u threads: gate after gate, then blocked with "
              "blocks of 2^14, 2^16, 2^17, 2^18 amplitudes\n", policy.threads);
  for (unsigned n : sizes) {
    for (const std::string which : {"random", "qft", "ansatz"}) {
      SV sv = filled_register(n);
      std::vector<GateOp> ops;
      for (const Gate& g : circuit_gates(which, n)) ops.push_back(prepare(sv, g).value());
      std::vector<std::function<void()>> variants = {[&] {
        for (const GateOp& op : ops) op.run(sv.mutable_amplitudes(), {op.qubit(0), op.qubit(op.arity() - 1)}, policy);
      }};
      for (unsigned b : shapes) {
        variants.push_back([&, b] {
          velquin::engine::BlockShape shape;
          shape.block_bits = b;
          velquin::engine::run_blocked(sv.mutable_amplitudes(), n, std::vector<velquin::engine::Op>(ops.begin(), ops.end()), policy, shape);
        });
      }
      const auto s = interleaved(variants, 9, [](std::size_t) {});
      std::printf("%-3u %-7s %5zu gates:", n, which.c_str(), ops.size());
      for (const auto& v : s) std::printf(" %10.3f", minimum(v) * 1e3);
      std::printf("\n");
    }
  }
}

}  // namespace

int main(int argc, char** argv) {
  if (argc < 2) {
    std::fprintf(stderr, "usage: probe gates|threads|pool|blocks|calls|circuit-calls ...\n");
    return 2;
  }
  const std::string mode = argv[1];
  ExecPolicy policy = velquin::engine::default_exec_policy();
  std::string only;
  std::vector<std::string> rest;
  for (int i = 2; i < argc; ++i) {
    const std::string a = argv[i];
    if (a == "--threads" && i + 1 < argc) {
      policy.threads = static_cast<unsigned>(std::atoi(argv[++i]));
    } else if (a == "--only" && i + 1 < argc) {
      only = argv[++i];
    } else if (a == "--isa" && i + 1 < argc) {
      const std::string name = argv[++i];
      for (unsigned k = 0; k < kIsaCount; ++k) {
        if (name == isa_name(static_cast<Isa>(k))) policy.isa = static_cast<Isa>(k);
      }
    } else {
      rest.push_back(a);
    }
  }
  if (!velquin::isa_supported(policy.isa)) policy.isa = velquin::detected_isa();
  std::vector<unsigned> sizes;
  auto numbers = [&] {
    for (const std::string& r : rest) sizes.push_back(static_cast<unsigned>(std::stoul(r)));
  };
  std::printf("# %s, %u threads\n", isa_name(policy.isa), policy.threads);
  if (mode == "gates") {
    numbers();
    gates(sizes, only, policy);
  } else if (mode == "threads") {
    numbers();
    threads(sizes, only, policy.isa);
  } else if (mode == "pool") {
    pool();
  } else if (mode == "blocks") {
    numbers();
    blocks(sizes, policy);
  } else if (mode == "calls" && rest.size() == 5) {
    const unsigned n = static_cast<unsigned>(std::stoul(rest[3]));
    SV sv = filled_register(n);
    const Call call = gate_call(rest[0], static_cast<unsigned>(std::stoul(rest[1])),
                                static_cast<unsigned>(std::stoul(rest[2])));
    for (unsigned long k = std::stoul(rest[4]); k > 0; --k) call(sv, policy);
  } else if (mode == "circuit-calls" && rest.size() == 3) {
    const unsigned n = static_cast<unsigned>(std::stoul(rest[1]));
    QuantumCircuit qc(n);
    for (const Gate& g : circuit_gates(rest[0], n)) qc.append(g);
    for (unsigned long k = std::stoul(rest[2]); k > 0; --k) (void)qc.execute_fresh(1, policy);
  } else {
    std::fprintf(stderr, "unknown mode or arguments\n");
    return 2;
  }
  return 0;
}
