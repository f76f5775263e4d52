#include "algorithms/adjoint.h"

#include <algorithm>
#include <cstring>
#include <set>
#include <string>

#include "base/program_messages.h"
#include "engine/amplitude_array.h"
#include "engine/memory_budget.h"
#include "engine/op.h"
#include "engine/reductions.h"
#include "engine/thread_pool.h"

namespace velquin::algorithms {
namespace {

using engine::AmplitudeArray;
using engine::GeneralOp;
using math_core::OpKind;
using program::Program;

Complex64 conj(Complex64 c) { return {c.re, -c.im}; }

// U^dagger of the general operation `op` whose coefficients are `c`: its
// coefficients into `coefficients` (and a permutation's inverse into
// `permutation`), and `op` made to point at them.
void invert(GeneralOp& op, const Complex64* c, std::uint64_t count,
            std::vector<Complex64>& coefficients, std::vector<std::uint32_t>& permutation) {
  const std::uint64_t members = std::uint64_t{1} << op.target_count;
  coefficients.assign(count, Complex64{0.0, 0.0});
  switch (op.kind) {
    case OpKind::kDense:
      for (std::uint64_t r = 0; r < members; ++r) {
        for (std::uint64_t k = 0; k < members; ++k)
          coefficients[r * members + k] = conj(c[k * members + r]);
      }
      break;
    case OpKind::kTwoLevel:
      coefficients = {conj(c[0]), conj(c[2]), conj(c[1]), conj(c[3])};
      break;
    case OpKind::kDiagonal:
    case OpKind::kMaskPhase:
    case OpKind::kParityPhase:
      for (std::uint64_t i = 0; i < count; ++i) coefficients[i] = conj(c[i]);
      break;
    case OpKind::kPauliRotation:  // exp(+i theta/2 P): the same cosine, the opposite sine
      coefficients = {c[0], {-c[1].re, -c[1].im}, {-c[2].re, -c[2].im}};
      break;
    case OpKind::kPermutation:
      permutation.assign(members, 0);
      for (std::uint32_t m = 0; m < members; ++m) permutation[op.permutation[m]] = m;
      op.permutation = permutation.data();
      break;
    case OpKind::kMonomial:  // out[perm[m]] = conj(c[m]) in[m]
      permutation.assign(members, 0);
      for (std::uint32_t m = 0; m < members; ++m) permutation[op.permutation[m]] = m;
      for (std::uint64_t i = 0; i < members; ++i) coefficients[i] = conj(c[permutation[i]]);
      op.permutation = permutation.data();
      break;
    case OpKind::kPauli:  // a Pauli word is its own inverse
      break;
  }
  op.coefficients = coefficients.data();
}

// The bits of an operation's controls, and the values they ask for.
std::pair<std::uint64_t, std::uint64_t> control_subspace(const GeneralOp& op) {
  std::uint64_t mask = 0, value = 0;
  for (unsigned i = 0; i < op.control_count; ++i) {
    const std::uint64_t bit = std::uint64_t{1} << op.qubits[op.target_count + i];
    mask |= bit;
    if ((op.control_values >> i) & 1) value |= bit;
  }
  return {mask, value};
}

std::set<std::uint32_t> slots_of(const Program::Compiled& op) {
  std::set<std::uint32_t> slots;
  for (const program::Expression& e : op.params) {
    for (const auto& term : e.terms) slots.insert(term.first);
  }
  if (op.phase) {
    for (const auto& term : op.phase->terms) slots.insert(term.first);
  }
  return slots;
}

void copy_state(std::span<const Complex64> from, std::span<Complex64> to, unsigned threads) {
  engine::parallel_for(threads, from.size(), 1024, 1 << 16, [&](std::uint64_t b, std::uint64_t e) {
    std::memcpy(to.data() + b, from.data() + b, (e - b) * sizeof(Complex64));
  });
}

}  // namespace

Result<Gradient> adjoint_gradient(const Program& program, std::span<const double> params,
                                  std::span<const program::Observable> observables,
                                  const engine::ExecPolicy& policy,
                                  engine::InterruptCheck interrupt) {
  namespace text = messages::program;
  if (Status ok = program.check_parameters(params); !ok) return std::move(ok).error();
  const std::uint64_t size = std::uint64_t{1} << program.n_qubits();
  const std::uint64_t states = 2 + observables.size();
  if (Status room = engine::check_allocation_in_limits(states * size * sizeof(Complex64),
                                                       text::kForAdjointStates);
      !room) {
    return std::move(room).error();
  }
  // Forward: the state, then each observable's image O |psi>.
  Result<engine::Register> forward = program.run(params, policy, interrupt);
  if (!forward) return std::move(forward).error();
  AmplitudeArray psi = std::move(forward).value().take_amplitudes();
  Result<AmplitudeArray> made = AmplitudeArray::zeroed(size, policy.threads);
  if (!made) return std::move(made).error();
  AmplitudeArray scratch = std::move(made).value();
  std::vector<AmplitudeArray> images;
  Gradient gradient;
  gradient.jacobian.assign(observables.size() * program.n_params(), 0.0);
  for (const program::Observable& observable : observables) {
    Result<AmplitudeArray> image = AmplitudeArray::zeroed(size, policy.threads);
    if (!image) return std::move(image).error();
    program::apply_observable(observable, psi.span(), image.value().span(), scratch.span(), policy);
    gradient.values.push_back(
        engine::inner_product(psi.span(), image.value().span(), 0, 0, policy));
    images.push_back(std::move(image).value());
  }
  // Backward: undo each operation, differentiating those that depend on a parameter.
  engine::InterruptPoll poll(interrupt);
  const unsigned threads = policy.threads_for(size);
  const auto& ops = program.compiled();
  std::vector<Complex64> forward_coefficients, inverse_coefficients, derivative;
  std::vector<std::uint32_t> inverse_permutation;
  for (std::size_t k = ops.size(); k-- > 0;) {
    const Program::Compiled& op = ops[k];
    if (!op.plays) continue;
    forward_coefficients.assign(std::max<std::uint64_t>(Program::general_count(op), 1), {});
    program.general_coefficients(op, params, forward_coefficients.data());
    GeneralOp inverse = op.general;
    invert(inverse, forward_coefficients.data(), Program::general_count(op), inverse_coefficients,
           inverse_permutation);
    engine::Op(inverse).run(psi.span(), policy);
    const auto [mask, value] = control_subspace(op.general);
    for (std::uint32_t slot : slots_of(op)) {
      derivative.assign(Program::derivative_count(op), {});
      if (!program.derivative_coefficients(op, params, slot, derivative.data())) {
        return Error{ErrorKind::kValueError, text::not_differentiable(k, op.info->name)};
      }
      GeneralOp d = op.general;
      d.kind = Program::derivative_kind(op);
      d.coefficients = derivative.data();
      copy_state(psi.span(), scratch.span(), threads);
      engine::Op(d).run(scratch.span(), policy);
      for (std::size_t o = 0; o < images.size(); ++o) {
        const double part =
            engine::inner_product(images[o].span(), scratch.span(), mask, value, policy);
        double& entry = gradient.jacobian[o * program.n_params() + slot];
        entry = entry + (part + part);
      }
    }
    for (AmplitudeArray& image : images) engine::Op(inverse).run(image.span(), policy);
    if (poll.after(size * (1 + images.size()))) return engine::interrupted();
  }
  return gradient;
}

}  // namespace velquin::algorithms
