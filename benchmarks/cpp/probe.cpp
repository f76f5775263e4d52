// The engine's gates below Python: per-call times of every gate at qubits 0, 1, 2, the
// middle and the top, and of two-qubit gates with a low qubit on either side (calls
// batched so a microsecond gate is not clock jitter; medians and minima, the figure a
// shared machine disturbs least); and fixed call counts for callgrind. The harness
// (velquin_bench) times the same gates through Python against the peers. Not a test.
//
//   probe gates [--threads T] [--isa I] [--only GATE] n...
//   probe calls GATE a b n K      (K calls of one gate; b ignored for one-qubit gates)
#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <functional>
#include <string>
#include <vector>

#include "engine/exec_policy.h"
#include "engine/register.h"

namespace {

using velquin::Gate;
using velquin::engine::ExecPolicy;
using velquin::engine::Register;
using Call = std::function<void(Register&, const ExecPolicy&)>;

double now() {
  return std::chrono::duration<double>(std::chrono::steady_clock::now().time_since_epoch()).count();
}

double minimum(const std::vector<double>& v) { return *std::min_element(v.begin(), v.end()); }

double median(std::vector<double> v) {
  std::sort(v.begin(), v.end());
  return v[v.size() / 2];
}

// One gate by its Python name; b is the second qubit of a two-qubit gate.
Call gate_call(const std::string& g, unsigned a, unsigned b) {
  for (const auto& info : velquin::kGates) {
    if (info.text.name != g) continue;
    const Gate gate{info.kind, a, b, 0.3};
    return [gate](Register& s, const ExecPolicy& policy) { (void)s.apply(gate, policy); };
  }
  std::fprintf(stderr, "unknown gate %s\n", g.c_str());
  std::exit(2);
}

Register filled_register(unsigned n) {
  Register sv = Register::create(n, 1).value();
  auto data = sv.mutable_amplitudes();
  const double r = 1.0 / std::sqrt(static_cast<double>(data.size()));
  for (std::uint64_t i = 0; i < data.size(); ++i) data[i] = {r, (i & 1) != 0 ? -r : r};
  return sv;
}

// The seconds of one call in each of `rounds` samples, a sample a batch of calls
// of about 300 us after one untimed call (the threads, the cache state).
std::vector<double> samples(const std::function<void()>& call, int rounds) {
  std::uint64_t batch = 1;
  for (call(); batch < (std::uint64_t{1} << 20); batch *= 2) {
    const double t0 = now();
    for (std::uint64_t i = 0; i < batch; ++i) call();
    if (now() - t0 > 300e-6) break;
  }
  std::vector<double> out;
  for (int r = 0; r < rounds; ++r) {
    call();
    const double t0 = now();
    for (std::uint64_t i = 0; i < batch; ++i) call();
    out.push_back((now() - t0) / static_cast<double>(batch));
  }
  return out;
}

void gates(const std::vector<unsigned>& sizes, const std::string& only, const ExecPolicy& policy) {
  std::printf("%-3s %-14s %12s %12s %10s\n", "n", "gate", "median us", "min us", "ns/amp");
  for (unsigned n : sizes) {
    Register sv = filled_register(n);
    const unsigned mid = n / 2, top = n - 1;
    const std::vector<std::pair<unsigned, unsigned>> ones = {{0, 0}, {1, 1}, {2, 2}, {mid, mid}, {top, top}},
                                                     twos = {{0, 1}, {0, top}, {top, 0}, {mid - 1, mid},
                                                             {1, top}, {top, 1}, {2, top}};
    for (const std::string g : {"h", "x", "z", "s", "sx", "rx", "ry", "rz", "h_cpp", "x_cpp", "cx", "cz",
                                "swap", "cy", "cx_cpp"}) {
      const bool two = g == "swap" || g[0] == 'c';
      for (const auto& [a, b] : two ? twos : ones) {
        if (!only.empty() && only != g) continue;
        const std::string label = g + "(" + std::to_string(a) + (two ? "," + std::to_string(b) : "") + ")";
        const Call call = gate_call(g, a, b);
        const auto s = samples([&] { call(sv, policy); }, 15);
        std::printf("%-3u %-14s %12.3f %12.3f %10.3f\n", n, label.c_str(), median(s) * 1e6, minimum(s) * 1e6,
                    minimum(s) * 1e9 / static_cast<double>(sv.length()));
      }
    }
  }
}

}  // namespace

int main(int argc, char** argv) {
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
      for (unsigned k = 0; k < velquin::kIsaCount; ++k) {
        if (name == velquin::isa_name(static_cast<velquin::Isa>(k))) policy.isa = static_cast<velquin::Isa>(k);
      }
    } else {
      rest.push_back(a);
    }
  }
  if (!velquin::isa_supported(policy.isa)) policy.isa = velquin::detected_isa();
  const std::string mode = argc > 1 ? argv[1] : "";
  std::vector<unsigned> sizes;
  for (std::size_t i = mode == "calls" ? 1 : 0; i < rest.size(); ++i) sizes.push_back(std::stoul(rest[i]));
  std::printf("# %s, %u threads\n", velquin::isa_name(policy.isa), policy.threads);
  if (mode == "gates") {
    gates(sizes, only, policy);
  } else if (mode == "calls" && sizes.size() == 4) {  // a b n K
    Register sv = filled_register(sizes[2]);
    const Call call = gate_call(rest[0], sizes[0], sizes[1]);
    for (unsigned k = sizes[3]; k > 0; --k) call(sv, policy);
  } else {
    std::fprintf(stderr, "usage: probe gates [options] n... | probe calls GATE a b n K\n");
    return 2;
  }
  return 0;
}
