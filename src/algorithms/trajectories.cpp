#include "algorithms/trajectories.h"

#include <algorithm>
#include <atomic>
#include <cmath>
#include <cstring>
#include <memory>

#include "base/messages.h"
#include "engine/amplitude_array.h"
#include "engine/blocked_runner.h"
#include "engine/memory_budget.h"
#include "engine/op.h"
#include "engine/outcome_sampler.h"
#include "engine/reductions.h"
#include "engine/thread_pool.h"
#include "random/std_rng.h"

namespace velquin::algorithms {
namespace {

using engine::AmplitudeArray;
using math_core::OpKind;
using program::Program;
using Step = Program::Step;
using Group = std::vector<std::uint32_t>;

double uniform(std::uint64_t word) { return static_cast<double>(word >> 11) * 0x1.0p-53; }

// One group's state, and what is certain about it: a qubit measured or reset
// with nothing acting on it since has one value (-1: not known). Measuring or
// resetting such a qubit draws its words as ever, but the amplitudes stay as
// they are (a reset of a 1 only moves them back to 0).
struct Trajectory {
  AmplitudeArray amplitudes;
  std::vector<std::int8_t> known;

  std::span<Complex64> span() noexcept { return amplitudes.span(); }
  std::span<const Complex64> span() const noexcept { return amplitudes.span(); }
  Complex64* data() noexcept { return amplitudes.data(); }
  const Complex64* data() const noexcept { return amplitudes.data(); }
};

class Runner {
 public:
  // The shots [first, last) of a call, their bits and values written into
  // `bits` and `values` (laid out for every shot of the call).
  Runner(const Program& program, const program::Binding& binding, const engine::ExecPolicy& policy,
         std::uint64_t first, std::uint64_t last, std::uint64_t seed,
         engine::InterruptCheck interrupt, std::span<const program::Observable> observables,
         std::uint8_t* bits, double* values)
      : program_(program),
        ops_(program.compiled()),
        binding_(binding),
        policy_(policy),
        interrupt_(interrupt),
        observables_(observables),
        n_clbits_(program.n_clbits()),
        size_(std::uint64_t{1} << program.n_qubits()),
        first_(first),
        bits_(bits),
        values_(values) {
    rngs_.reserve(last - first);
    for (std::uint64_t i = first; i < last; ++i) {
      rngs_.push_back(random::StdRng::seed_from_u64_on_stream(seed, i));
    }
    // From which step on only measurements remain: those are sampled together.
    terminal_.assign(ops_.size() + 1, true);
    for (std::size_t k = ops_.size(); k-- > 0;) {
      terminal_[k] = terminal_[k + 1] && ops_[k].step == Step::kMeasure && !ops_[k].condition;
    }
    if (!observables.empty()) std::fill(terminal_.begin(), terminal_.end(), false);
    shape_ = engine::BlockShape::for_cache(policy.cache_amplitudes);
  }

  Status run(Trajectory& state, Group group, std::size_t pc, std::size_t sub);

 private:
  std::uint8_t* bits_of(std::uint32_t shot) { return bits_ + std::uint64_t{shot} * n_clbits_; }
  std::uint64_t draw(std::uint32_t shot) { return rngs_[shot - first_].next_u64(); }
  Result<Trajectory> clone(const Trajectory& state);
  void give_back(Trajectory& state) { spare_.push_back(std::move(state.amplitudes)); }
  bool play(std::span<const engine::Op> ops, Trajectory& state) {
    for (const engine::Op& op : ops) {
      for (unsigned i = 0; i < op.qubit_count(); ++i) state.known[op.qubit(i)] = -1;
    }
    return engine::run_blocked(state.span(), program_.n_qubits(), ops, policy_, shape_, interrupt_);
  }
  // Keeps the amplitudes whose `qubit` is `outcome`, times 1 / sqrt(p); a
  // reset then moves them back to the qubit's 0.
  void project(Trajectory& state, unsigned qubit, unsigned outcome, double p, bool reset);
  Status measure(Trajectory& state, Group& group, std::size_t pc, std::size_t sub);
  Status terminal(Trajectory& state, const Group& group, std::size_t pc);
  Status branch(Trajectory& state, Group& group, std::size_t pc,
                std::span<const double> probabilities,
                const std::vector<std::vector<engine::Op>>& arms);
  void finish(Trajectory& state, const Group& group);

  const Program& program_;
  const std::vector<Program::Compiled>& ops_;
  const program::Binding& binding_;
  const engine::ExecPolicy& policy_;
  engine::InterruptCheck interrupt_;
  std::span<const program::Observable> observables_;
  std::uint64_t n_clbits_;
  std::uint64_t size_;
  engine::BlockShape shape_;
  std::uint64_t first_;
  std::vector<random::StdRng> rngs_;
  std::uint8_t* bits_;
  double* values_;
  std::vector<bool> terminal_;
  std::vector<AmplitudeArray> spare_;  // states finished branches gave back
};

Result<Trajectory> Runner::clone(const Trajectory& state) {
  // A state a finished branch gave back, else a fresh one: every amplitude is overwritten.
  AmplitudeArray copy;
  if (!spare_.empty()) {
    copy = std::move(spare_.back());
    spare_.pop_back();
  } else {
    Result<AmplitudeArray> made = AmplitudeArray::zeroed(size_, policy_.threads);
    if (!made) return std::move(made).error();
    copy = std::move(made).value();
  }
  Complex64* to = copy.data();
  const Complex64* from = state.data();
  engine::parallel_for(policy_.threads_for(size_), size_, 1024, 1 << 16,
                       [&](std::uint64_t b, std::uint64_t e) {
                         std::memcpy(to + b, from + b, (e - b) * sizeof(Complex64));
                       });
  return Trajectory{std::move(copy), state.known};
}

void Runner::project(Trajectory& state, unsigned qubit, unsigned outcome, double p, bool reset) {
  const double r = 1.0 / std::sqrt(p);
  const std::uint64_t half = std::uint64_t{1} << qubit;  // runs of one value of the qubit
  Complex64* a = state.data();
  const std::uint64_t pairs = size_ / (2 * half);
  engine::parallel_for(policy_.threads_for(size_), pairs, 1,
                       std::max<std::uint64_t>(1, 4096 / half),
                       [&](std::uint64_t b, std::uint64_t e) {
                         for (std::uint64_t k = b; k < e; ++k) {
                           Complex64* zero = a + 2 * half * k;
                           Complex64* one = zero + half;
                           Complex64* kept = outcome ? one : zero;
                           Complex64* dropped = outcome ? zero : one;
                           for (std::uint64_t j = 0; j < half; ++j) {
                             kept[j] = {r * kept[j].re, r * kept[j].im};
                           }
                           if (reset && outcome) {
                             // The kept half moves to the qubit's 0, bit for bit.
                             std::memcpy(zero, one, half * sizeof(Complex64));
                             dropped = one;
                           }
                           std::fill(dropped, dropped + half, Complex64{0.0, 0.0});
                         }
                       });
  state.known[qubit] = reset ? 0 : static_cast<std::int8_t>(outcome);
}

Status Runner::measure(Trajectory& state, Group& group, std::size_t pc, std::size_t sub) {
  const Program::Compiled& op = ops_[pc];
  const bool reset = op.step == Step::kReset;
  for (std::size_t k = sub; k < op.qubits.size(); ++k) {
    const unsigned qubit = op.qubits[k];
    if (state.known[qubit] >= 0) {  // certain: the same words, no pass
      const unsigned outcome = static_cast<unsigned>(state.known[qubit]);
      for (std::uint32_t shot : group) {
        (void)draw(shot);
        if (op.step == Step::kMeasure) {
          unsigned recorded = outcome;
          if (!op.probabilities.empty() && uniform(draw(shot)) < op.probabilities[outcome]) {
            recorded ^= 1;
          }
          bits_of(shot)[op.clbits[k]] = static_cast<std::uint8_t>(recorded);
        }
      }
      if (reset && outcome == 1) {
        const std::uint64_t half = std::uint64_t{1} << qubit;
        Complex64* a = state.data();
        for (std::uint64_t base = 0; base < size_; base += 2 * half) {
          std::memcpy(a + base, a + base + half, half * sizeof(Complex64));
          std::fill(a + base + half, a + base + 2 * half, Complex64{0.0, 0.0});
        }
        state.known[qubit] = 0;
      }
      continue;
    }
    const unsigned which[1] = {qubit};
    const std::vector<double> p = engine::probabilities(state.span(), which, policy_);
    const double total = p[0] + p[1];
    Group zeros, ones;
    for (std::uint32_t shot : group) {
      const unsigned outcome = uniform(draw(shot)) * total >= p[0] ? 1 : 0;
      if (op.step == Step::kMeasure) {
        unsigned recorded = outcome;
        if (!op.probabilities.empty() && uniform(draw(shot)) < op.probabilities[outcome]) {
          recorded ^= 1;
        }
        bits_of(shot)[op.clbits[k]] = static_cast<std::uint8_t>(recorded);
      }
      (outcome ? ones : zeros).push_back(shot);
    }
    if (!zeros.empty() && !ones.empty()) {
      Result<Trajectory> copy = clone(state);
      if (!copy) return std::move(copy).error();
      project(copy.value(), qubit, 1, p[1], reset);
      if (Status done = run(copy.value(), std::move(ones), pc, k + 1); !done) return done;
      give_back(copy.value());
      group = std::move(zeros);
      project(state, qubit, 0, p[0], reset);
    } else {
      const unsigned outcome = ones.empty() ? 0 : 1;
      project(state, qubit, outcome, p[outcome], reset);
    }
  }
  return Status::Ok();
}

Status Runner::terminal(Trajectory& state, const Group& group, std::size_t pc) {
  std::vector<std::uint64_t> words;
  words.reserve(group.size());
  for (std::uint32_t shot : group) words.push_back(draw(shot));
  Result<std::vector<std::uint64_t>> outcomes =
      engine::outcomes_of_words(state.span(), words, interrupt_);
  if (!outcomes) return std::move(outcomes).error();
  for (std::size_t i = 0; i < group.size(); ++i) {
    const std::uint32_t shot = group[i];
    std::uint8_t* bits = bits_of(shot);
    for (std::size_t k = pc; k < ops_.size(); ++k) {
      const Program::Compiled& op = ops_[k];
      for (std::size_t q = 0; q < op.qubits.size(); ++q) {
        unsigned recorded = (outcomes.value()[i] >> op.qubits[q]) & 1;
        if (!op.probabilities.empty() && uniform(draw(shot)) < op.probabilities[recorded]) {
          recorded ^= 1;
        }
        bits[op.clbits[q]] = static_cast<std::uint8_t>(recorded);
      }
    }
  }
  return Status::Ok();
}

Status Runner::branch(Trajectory& state, Group& group, std::size_t pc,
                      std::span<const double> probabilities,
                      const std::vector<std::vector<engine::Op>>& arms) {
  std::vector<double> running(probabilities.size());
  for (std::size_t b = 0; b < probabilities.size(); ++b) {
    running[b] = b == 0 ? probabilities[0] : running[b - 1] + probabilities[b];
  }
  std::vector<Group> parts(probabilities.size());
  for (std::uint32_t shot : group) {
    const double u = uniform(draw(shot)) * running.back();
    std::size_t b = 0;
    while (b + 1 < running.size() && !(u < running[b])) ++b;
    parts[b].push_back(shot);
  }
  // The most populous part keeps the state; every other takes a copy, depth first.
  std::size_t keep = 0;
  for (std::size_t b = 1; b < parts.size(); ++b) {
    if (parts[b].size() > parts[keep].size()) keep = b;
  }
  for (std::size_t b = 0; b < parts.size(); ++b) {
    if (b == keep || parts[b].empty()) continue;
    Result<Trajectory> copy = clone(state);
    if (!copy) return std::move(copy).error();
    if (!play(arms[b], copy.value())) return engine::interrupted();
    if (Status done = run(copy.value(), std::move(parts[b]), pc + 1, 0); !done) return done;
    give_back(copy.value());
  }
  group = std::move(parts[keep]);
  if (!play(arms[keep], state)) return engine::interrupted();
  return Status::Ok();
}

void Runner::finish(Trajectory& state, const Group& group) {
  for (std::size_t o = 0; o < observables_.size(); ++o) {
    const double value = program::expectation(state.span(), observables_[o], policy_).re;
    for (std::uint32_t shot : group) values_[std::uint64_t{shot} * observables_.size() + o] = value;
  }
}

Status Runner::run(Trajectory& state, Group group, std::size_t pc, std::size_t sub) {
  engine::InterruptPoll poll(interrupt_);
  while (pc < ops_.size()) {
    if (poll.after(size_)) return engine::interrupted();
    const Program::Compiled& op = ops_[pc];
    if (op.condition && sub == 0) {
      Group yes, no;
      for (std::uint32_t shot : group) {
        const std::span<const std::uint8_t> bits(bits_of(shot), n_clbits_);
        (op.condition->holds(bits) ? yes : no).push_back(shot);
      }
      if (yes.empty()) {
        ++pc;
        continue;
      }
      if (!no.empty()) {
        Result<Trajectory> copy = clone(state);
        if (!copy) return std::move(copy).error();
        if (Status done = run(copy.value(), std::move(no), pc + 1, 0); !done) return done;
        give_back(copy.value());
      }
      group = std::move(yes);
    }
    switch (op.step) {
      case Step::kUnitary: {
        // This step and the unconditioned unitary steps after it, played together.
        std::vector<engine::Op> run_ops;
        std::size_t q = pc;
        while (q < ops_.size() && ops_[q].step == Step::kUnitary &&
               (q == pc || !ops_[q].condition)) {
          if (binding_.step_op[q] >= 0) run_ops.push_back(binding_.ops[binding_.step_op[q]]);
          ++q;
        }
        if (!play(run_ops, state)) return engine::interrupted();
        pc = q;
        sub = 0;
        continue;
      }
      case Step::kJump:
        pc = op.target;
        sub = 0;
        continue;
      case Step::kMeasure:
        if (sub == 0 && terminal_[pc]) {
          if (Status done = terminal(state, group, pc); !done) return done;
          finish(state, group);
          return Status::Ok();
        }
        [[fallthrough]];
      case Step::kReset:
        if (Status done = measure(state, group, pc, sub); !done) return done;
        break;
      case Step::kMixture: {
        std::vector<std::vector<engine::Op>> arms;
        for (const auto& [first, last] : op.branches) {
          std::vector<engine::Op>& arm = arms.emplace_back();
          for (std::size_t i = first; i < last; ++i) {
            if (binding_.branch_op[i] >= 0)
              arm.push_back(binding_.branch_ops[binding_.branch_op[i]]);
          }
        }
        if (Status done = branch(state, group, pc, op.probabilities, arms); !done) return done;
        break;
      }
      case Step::kKraus: {
        // Each operator's probability on this state, and the operator scaled by
        // 1 / sqrt of it.
        const std::uint64_t members = std::uint64_t{1} << op.qubits.size();
        std::vector<double> p;
        for (const auto& k : op.kraus) {
          std::vector<Complex64> kdk(members * members);
          for (std::uint64_t r = 0; r < members; ++r) {
            for (std::uint64_t c = 0; c < members; ++c) {
              double re = 0.0, im = 0.0;
              for (std::uint64_t i = 0; i < members; ++i) {
                const Complex64 a = k[i * members + r], b = k[i * members + c];  // conj(a) b
                re = i == 0 ? (a.re * b.re) + (a.im * b.im) : re + ((a.re * b.re) + (a.im * b.im));
                im = i == 0 ? (a.re * b.im) - (a.im * b.re) : im + ((a.re * b.im) - (a.im * b.re));
              }
              kdk[r * members + c] = {re, im};
            }
          }
          p.push_back(engine::matrix_value(state.span(), op.qubits, kdk, policy_));
        }
        std::vector<std::vector<Complex64>> scaled(op.kraus.size());
        std::vector<std::vector<engine::Op>> arms;
        for (std::size_t i = 0; i < op.kraus.size(); ++i) {
          const double r = p[i] > 0.0 ? 1.0 / std::sqrt(p[i]) : 0.0;
          for (const Complex64& c : op.kraus[i]) scaled[i].push_back({c.re * r, c.im * r});
          engine::GeneralOp apply;
          apply.kind = OpKind::kDense;
          apply.target_count = static_cast<unsigned>(op.qubits.size());
          std::copy(op.qubits.begin(), op.qubits.end(), apply.qubits.begin());
          apply.coefficients = scaled[i].data();
          arms.push_back({engine::Op(apply)});
        }
        if (Status done = branch(state, group, pc, p, arms); !done) return done;
        break;
      }
    }
    ++pc;
    sub = 0;
  }
  finish(state, group);
  return Status::Ok();
}

// Registers this small run whole in one core's cache: their shots are better
// split between threads (each running its share alone) than their operations.
constexpr std::uint64_t kSplitShotsUpTo = std::uint64_t{1} << 18;

// Every shot of `program`, its bits into `bits` (shots x n_clbits) and its
// values into `values` (shots x observables). A shot's results depend only on
// the seed, its index and the program, so shots may be split between threads
// at will: each share starts from its own fresh state.
Status run_all(const Program& program, std::span<const double> params, std::uint64_t shots,
               std::uint64_t seed, const engine::ExecPolicy& policy,
               engine::InterruptCheck interrupt, std::span<const program::Observable> observables,
               std::uint8_t* bits, double* values) {
  if (Status ok = program.check_parameters(params); !ok) return ok;
  const std::uint64_t record = program.n_clbits() + 8 * observables.size() + sizeof(random::StdRng);
  const std::uint64_t size = std::uint64_t{1} << program.n_qubits();
  if (shots > (std::uint64_t{1} << 40) ||
      !engine::check_allocation_in_limits(shots * record, messages::kForShotOutcomes).ok()) {
    return Error{ErrorKind::kMemoryError,
                 messages::allocation_failed(shots * record, messages::kForShotOutcomes)};
  }
  if (shots == 0) return Status::Ok();
  program::Binding binding;
  program.bind(params, binding);
  auto share = [&](std::uint64_t first, std::uint64_t last, const engine::ExecPolicy& inside,
                   engine::InterruptCheck check) -> Status {
    Runner runner(program, binding, inside, first, last, seed, check, observables, bits, values);
    Result<engine::Register> sv = engine::Register::create(program.n_qubits(), 0, inside.threads);
    if (!sv) return std::move(sv).error();
    sv.value().mutable_amplitudes()[0] = Program::start(binding);
    // |0...0>: every qubit certainly 0.
    Trajectory state{std::move(sv).value().take_amplitudes(),
                     std::vector<std::int8_t>(program.n_qubits(), 0)};
    Group group(last - first);
    for (std::uint64_t i = first; i < last; ++i) group[i - first] = static_cast<std::uint32_t>(i);
    return runner.run(state, std::move(group), 0, 0);
  };
  const unsigned threads = policy.threads;
  if (threads <= 1 || size > kSplitShotsUpTo || shots < 2 * std::uint64_t{threads}) {
    return share(0, shots, policy, interrupt);
  }
  // One share per thread, each alone on its core; only the calling thread's
  // share asks the interrupt check (the others stop when it has).
  const engine::ExecPolicy inside{policy.isa, 1, policy.prefetch_from, policy.cache_amplitudes};
  std::vector<Status> done(threads);
  std::atomic<bool> stop{false};
  engine::parallel_for(threads, shots, 1, 1, [&](std::uint64_t first, std::uint64_t last) {
    const unsigned part = static_cast<unsigned>(first * threads / shots);
    auto check = [&]() -> bool {
      if (part == 0 && interrupt()) stop.store(true);
      return stop.load();
    };
    done[part] = share(first, last, inside, check);
    if (!done[part].ok()) stop.store(true);
  });
  for (Status& status : done) {
    if (!status.ok() && status.error().kind != ErrorKind::kInterrupted) return std::move(status);
  }
  for (Status& status : done) {
    if (!status.ok()) return std::move(status);
  }
  return Status::Ok();
}

}  // namespace

Result<std::vector<std::uint8_t>> run_shots(const Program& program, std::span<const double> params,
                                            std::uint64_t shots, std::uint64_t seed,
                                            const engine::ExecPolicy& policy,
                                            engine::InterruptCheck interrupt) {
  std::vector<std::uint8_t> bits;
  if (shots <= (std::uint64_t{1} << 40)) bits.assign(shots * program.n_clbits(), 0);
  if (Status done =
          run_all(program, params, shots, seed, policy, interrupt, {}, bits.data(), nullptr);
      !done) {
    return std::move(done).error();
  }
  return bits;
}

Result<std::vector<double>> trajectory_means(const Program& program, std::span<const double> params,
                                             std::uint64_t shots, std::uint64_t seed,
                                             std::span<const program::Observable> observables,
                                             const engine::ExecPolicy& policy,
                                             engine::InterruptCheck interrupt) {
  std::vector<double> values;
  std::vector<std::uint8_t> bits;
  if (shots <= (std::uint64_t{1} << 40)) {
    values.assign(shots * observables.size(), 0.0);
    bits.assign(shots * program.n_clbits(), 0);
  }
  if (Status done = run_all(program, params, shots, seed, policy, interrupt, observables,
                            bits.data(), values.data());
      !done) {
    return std::move(done).error();
  }
  std::uint64_t padded = 1;
  while (padded < shots) padded *= 2;
  std::vector<double> means;
  for (std::size_t o = 0; o < observables.size(); ++o) {
    const double total = engine::fixed_sum(
        padded,
        [&](std::uint64_t first, std::uint64_t count, double* x) {
          for (std::uint64_t i = 0; i < count; ++i) {
            const std::uint64_t shot = first + i;
            x[i] = shot < shots ? values[shot * observables.size() + o] : 0.0;
          }
        },
        1);
    means.push_back(shots == 0 ? 0.0 : total / static_cast<double>(shots));
  }
  return means;
}

}  // namespace velquin::algorithms
