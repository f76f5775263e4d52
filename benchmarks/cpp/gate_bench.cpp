// Times every gate at qubit 0, 1, the middle and the top (two-qubit gates on
// pairs of those) against the yardstick: multiply every double of an array of
// the same size by 1.0 in place, with the same threads. Yardstick and gate runs
// alternate and each is reported as a median, so drift on a shared machine hits
// both alike.
//
//   gate_bench [--threads T] [--isa scalar|sse2|avx2|avx512] [--reps R] [--every-qubit] n...
#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <functional>
#include <string>
#include <vector>

#include "base/gate_table.h"
#include "engine/exec_policy.h"
#include "engine/register.h"
#include "engine/thread_pool.h"

namespace {

using velquin::Isa;
using velquin::isa_name;
using velquin::kIsaCount;
using velquin::engine::ExecPolicy;
using velquin::engine::Register;

double seconds(const std::function<void()>& f) {
  const auto t0 = std::chrono::steady_clock::now();
  f();
  return std::chrono::duration<double>(std::chrono::steady_clock::now() - t0).count();
}

double median(std::vector<double> v) {
  std::sort(v.begin(), v.end());
  return v[v.size() / 2];
}

[[gnu::noinline]] void scale_range(double* d, std::uint64_t begin, std::uint64_t end, double one) {
  for (std::uint64_t i = begin; i < end; ++i) d[i] *= one;
}

struct Row {
  std::string gate;
  std::string where;
  std::function<void(Register&)> run;
};

// Every gate of the table but sdg and tdg (the same loop as s and t).
std::vector<Row> rows(unsigned n, bool every_qubit, const ExecPolicy& policy) {
  using velquin::Gate;
  using velquin::GateShape;
  const unsigned mid = n / 2, top = n - 1;
  std::vector<Row> out;
  std::vector<unsigned> qubits = {0u, 1u, mid, top};
  if (every_qubit) {
    qubits.clear();
    for (unsigned q = 0; q < n; ++q) qubits.push_back(q);
  }
  const std::vector<std::pair<unsigned, unsigned>> qubit_pairs = {
      {0, 1}, {1, 0}, {0, mid}, {mid, 0}, {2, 7}, {0, top}, {top, 0}, {mid, mid + 1}, {top - 1, top}};
  for (const auto& info : velquin::kGates) {
    const std::string name(info.text.name);
    if (name == "sdg" || name == "tdg") continue;
    if (info.shape == GateShape::kTwoQubits) {
      for (const auto& [a, b] : qubit_pairs) {
        out.push_back({name, std::to_string(a) + "," + std::to_string(b),
                       [&policy, kind = info.kind, a, b](Register& sv) {
                         (void)sv.apply(Gate{kind, a, b}, policy);
                       }});
      }
      continue;
    }
    for (unsigned q : qubits) {
      out.push_back({name, std::to_string(q), [&policy, kind = info.kind, q](Register& sv) {
                       (void)sv.apply(Gate{kind, q, 0, 0.3}, policy);
                     }});
    }
  }
  return out;
}

}  // namespace

int main(int argc, char** argv) {
  ExecPolicy policy = velquin::engine::default_exec_policy();
  int reps = 7;
  bool every_qubit = false;
  std::vector<unsigned> sizes;
  for (int i = 1; i < argc; ++i) {
    if (!std::strcmp(argv[i], "--threads") && i + 1 < argc) {
      policy.threads = static_cast<unsigned>(std::atoi(argv[++i]));
    } else if (!std::strcmp(argv[i], "--every-qubit")) {
      every_qubit = true;
    } else if (!std::strcmp(argv[i], "--reps") && i + 1 < argc) {
      reps = std::atoi(argv[++i]);
    } else if (!std::strcmp(argv[i], "--isa") && i + 1 < argc) {
      const std::string name = argv[++i];
      for (unsigned k = 0; k < kIsaCount; ++k) {
        if (name == isa_name(static_cast<Isa>(k))) {
          policy.isa = static_cast<Isa>(k);
        }
      }
    } else {
      sizes.push_back(static_cast<unsigned>(std::atoi(argv[i])));
    }
  }
  if (sizes.empty()) sizes = {20, 24, 26};
  if (!velquin::isa_supported(policy.isa)) policy.isa = velquin::detected_isa();
  std::printf("variant %s, %u threads, median of %d\n\n", isa_name(policy.isa),
              policy.threads, reps);

  volatile double one_source = 1.0;
  const double one = one_source;
  for (unsigned n : sizes) {
    Register sv = Register::create(n, 0).value();
    const std::span<math_core::Complex64> data = sv.mutable_amplitudes();
    for (std::uint64_t i = 0; i < data.size(); ++i) {
      data[i] = {1.0 / static_cast<double>(i + 1), -0.5 / static_cast<double>(i + 2)};
    }
    double* doubles = &data.data()->re;
    const std::uint64_t count = 2 * data.size();
    auto yardstick = [&] {
      velquin::engine::parallel_for(policy.threads, count, 64, std::uint64_t{1} << 15,
                                    [&](std::uint64_t b, std::uint64_t e) {
                                      scale_range(doubles, b, e, one);
                                    });
    };
    std::printf("n = %u (%.0f MiB)\n%-8s %-8s %10s %10s %7s\n", n,
                static_cast<double>(count) * 8 / (1 << 20), "gate", "qubits", "gate ms",
                "yard ms", "ratio");
    double worst = 0;
    std::string worst_row;
    for (const Row& row : rows(n, every_qubit, policy)) {
      std::vector<double> g, y;
      row.run(sv);  // warm
      for (int r = 0; r < reps; ++r) {
        y.push_back(seconds(yardstick));
        g.push_back(seconds([&] { row.run(sv); }));
      }
      const double ratio = median(g) / median(y);
      if (ratio > worst) worst = ratio, worst_row = row.gate + " " + row.where;
      std::printf("%-8s %-8s %10.3f %10.3f %7.2f\n", row.gate.c_str(), row.where.c_str(),
                  median(g) * 1e3, median(y) * 1e3, ratio);
    }
    std::printf("worst at n = %u: %.2f (%s)\n\n", n, worst, worst_row.c_str());
  }
  return 0;
}
