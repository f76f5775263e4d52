#include "program/program.h"

#include <algorithm>
#include <array>
#include <cmath>

#include "base/program_messages.h"
#include "engine/blocked_runner.h"
#include "engine/gate_prepare.h"
#include "math_core/op_kernels.h"

namespace velquin::program {
namespace {

namespace text = messages::program;

// The coefficients (in `structure`, on `targets` targets, no controls) of
// `op` without its phase: the register's own walk of that structure run on
// each basis vector gives the matrix's columns.
void densify(const engine::GeneralOp& op, unsigned targets, Complex64* out) {
  const std::uint64_t members = std::uint64_t{1} << targets;
  std::array<unsigned, engine::kMaxOpQubits> positions{};
  for (unsigned i = 0; i < targets; ++i) positions[i] = i;
  engine::GeneralOp alone = op;
  alone.control_count = 0;
  for (unsigned i = 0; i < targets; ++i) alone.qubits[i] = i;
  const math_core::OpShape shape =
      alone.shape_at(std::span<const unsigned>(positions.data(), targets));
  std::vector<Complex64> column(members);
  const math_core::PreparedOp prepared = math_core::prepare_op(shape, members, Isa::kScalar);
  for (std::uint64_t c = 0; c < members; ++c) {
    std::fill(column.begin(), column.end(), Complex64{0.0, 0.0});
    column[c] = {1.0, 0.0};
    math_core::run_op_range(prepared, column.data(), 0, math_core::op_units(prepared));
    for (std::uint64_t r = 0; r < members; ++r) out[r * members + c] = column[r];
  }
}

}  // namespace

void Program::make_coefficients(const Compiled& op, std::span<const double> params,
                                Complex64* out) const {
  std::array<double, 64> small;
  std::vector<double> large;
  const std::size_t count = op.params.size();
  double* values = small.data();
  if (count > small.size()) {
    large.resize(count);
    values = large.data();
  }
  for (std::size_t i = 0; i < count; ++i) values[i] = op.params[i].evaluate(params);
  const std::span<const double> angles(values, count);
  // The row's structure (its maker, or the caller's entries) ...
  const std::uint64_t plain = coefficient_count(op.structure, op.targets);
  Complex64* made = out;
  std::vector<Complex64> held;
  if (op.phase && op.general.kind != op.structure) {
    held.resize(std::max<std::uint64_t>(plain, 1));
    made = held.data();
  }
  if (op.info->make != nullptr) {
    op.info->make(angles, op.targets, op.word, made);
  } else if (plain > 0) {
    std::copy(payloads_.begin() + static_cast<std::ptrdiff_t>(op.payload),
              payloads_.begin() + static_cast<std::ptrdiff_t>(op.payload + plain), made);
  }
  if (!op.phase) return;
  // ... then, converted where the phase needs it, times e^{i phase}.
  const std::uint64_t members = std::uint64_t{1} << op.targets;
  if (made != out && op.structure == OpKind::kMaskPhase) {
    std::fill(out, out + members, Complex64{1.0, 0.0});
    out[members - 1] = made[0];
  } else if (made != out) {
    engine::GeneralOp structure = op.general;
    structure.kind = op.structure;
    structure.coefficients = made;
    densify(structure, op.targets, out);
  }
  const double angle = op.phase->evaluate(params);
  const Complex64 e{std::cos(angle), std::sin(angle)};
  for (std::uint64_t i = 0; i < op.count; ++i) {
    const Complex64 x = out[i];
    out[i] = {(x.re * e.re) - (x.im * e.im), (x.re * e.im) + (x.im * e.re)};
  }
}

Status Program::check_parameters(std::span<const double> params) const {
  if (params.size() != n_params_)
    return Error{ErrorKind::kValueError, text::parameter_set_length(n_params_, params.size())};
  return Status::Ok();
}

void Program::bind_one(const Compiled& op, std::span<const double> params, Binding& binding,
                       std::vector<engine::Op>& into) const {
  if (op.gate) {
    const GateInfo& info = gate_info(*op.gate);
    Gate gate{info.played_as, op.general.qubits[0], op.general.qubits[0], 0.0};
    if (info.shape == GateShape::kTwoQubits) {
      // cx, cy, cz: the leading control is the gate's first qubit.
      const bool controlled = op.info->leading_controls == 1;
      gate.a = controlled ? op.general.qubits[1] : op.general.qubits[0];
      gate.b = controlled ? op.general.qubits[0] : op.general.qubits[1];
    }
    if (info.shape == GateShape::kQubitAngle) gate.theta = op.params[0].evaluate(params);
    into.emplace_back(engine::prepare_gate(gate_info(info.played_as), gate, n_qubits_).value());
    return;
  }
  engine::GeneralOp general = op.general;
  if (!op.constant && op.count > 0) {
    Complex64* out = binding.coefficients.data() + op.offset;
    make_coefficients(op, params, out);
    general.coefficients = out;
  }
  into.emplace_back(general);
}

void Program::bind(std::span<const double> params, Binding& binding) const {
  binding.ops.clear();
  binding.ops.reserve(ops_.size());
  binding.step_op.clear();
  binding.branch_ops.clear();
  binding.branch_op.clear();
  binding.coefficients.resize(bound_count_);
  binding.has_phase = has_phase_;
  double phase = 0.0;
  bool first = true;
  auto add_phase = [&](double angle) {
    phase = first ? angle : phase + angle;
    first = false;
  };
  if (global_phase_) add_phase(global_phase_->evaluate(params));
  for (const Compiled& op : ops_) {
    for (const Expression& angle : op.global) add_phase(angle.evaluate(params));
    if (dynamic_)
      binding.step_op.push_back(op.plays ? static_cast<std::ptrdiff_t>(binding.ops.size()) : -1);
    if (op.plays) bind_one(op, params, binding, binding.ops);
  }
  for (const Compiled& op : branch_ops_) {
    binding.branch_op.push_back(op.plays ? static_cast<std::ptrdiff_t>(binding.branch_ops.size())
                                         : -1);
    if (op.plays) bind_one(op, params, binding, binding.branch_ops);
  }
  binding.phase = phase;
}

Complex64 Program::start(const Binding& binding) noexcept {
  if (!binding.has_phase) return {1.0, 0.0};
  return {std::cos(binding.phase), std::sin(binding.phase)};
}

bool Program::play(const Binding& binding, std::span<Complex64> state,
                   const engine::ExecPolicy& policy, engine::InterruptCheck interrupt) const {
  return engine::run_blocked(state, n_qubits_, binding.ops, policy,
                             engine::BlockShape::for_cache(policy.cache_amplitudes), interrupt);
}

Result<engine::Register> Program::run(std::span<const double> params,
                                      const engine::ExecPolicy& policy,
                                      engine::InterruptCheck interrupt) const {
  if (Status ok = check_parameters(params); !ok) return std::move(ok).error();
  Binding binding;
  bind(params, binding);
  Result<engine::Register> sv = engine::Register::create(n_qubits_, 0, policy.threads);
  if (!sv) return sv;
  sv.value().mutable_amplitudes()[0] = start(binding);
  if (!play(binding, sv.value().mutable_amplitudes(), policy, interrupt))
    return engine::interrupted();
  return sv;
}

void Program::general_coefficients(const Compiled& op, std::span<const double> params,
                                   Complex64* out) const {
  if (!op.gate) {
    make_coefficients(op, params, out);
    return;
  }
  // The register's own gates: their row's maker (a fixed permutation needs none).
  if (op.info->make == nullptr) return;
  std::array<double, 1> angle{};
  if (!op.params.empty()) angle[0] = op.params[0].evaluate(params);
  op.info->make(std::span<const double>(angle.data(), op.params.size()), op.targets, op.word, out);
}

bool Program::depends_on(const Compiled& op, std::uint32_t slot) noexcept {
  auto uses = [&](const Expression& e) {
    return std::any_of(e.terms.begin(), e.terms.end(),
                       [&](const auto& t) { return t.first == slot; });
  };
  return std::any_of(op.params.begin(), op.params.end(), uses) || (op.phase && uses(*op.phase));
}

OpKind Program::derivative_kind(const Compiled& op) noexcept {
  switch (op.general.kind) {
    case OpKind::kMaskPhase:
      return OpKind::kDiagonal;
    case OpKind::kTwoLevel:
      return OpKind::kDense;
    default:
      return op.general.kind;
  }
}

bool Program::derivative_coefficients(const Compiled& op, std::span<const double> params,
                                      std::uint32_t slot, Complex64* out) const {
  const std::uint64_t members = std::uint64_t{1} << op.targets;
  const std::uint64_t count = derivative_count(op);
  std::fill(out, out + count, Complex64{0.0, 0.0});
  const bool densified =
      op.phase && op.general.kind != op.structure && op.structure != OpKind::kMaskPhase;
  if (densified) {
    // e^{i phase} M with M fixed in the parameters: d/dx = i (d phase/dx) e^{i phase} M.
    for (const Expression& e : op.params) {
      for (const auto& term : e.terms) {
        if (term.first == slot) return false;
      }
    }
    std::vector<Complex64> full(count);
    make_coefficients(op, params, full.data());
    const double rate = op.phase->evaluate_seeded<Dual>(params, slot).d;
    for (std::uint64_t i = 0; i < count; ++i) out[i] = {-(rate * full[i].im), rate * full[i].re};
    return true;
  }
  // The row's maker on dual angles, in the derivative's structure, times the phase.
  std::vector<Dual> angles;
  for (const Expression& e : op.params) angles.push_back(e.evaluate_seeded<Dual>(params, slot));
  using D = Cx<Dual>;
  const std::uint64_t plain = coefficient_count(op.structure, op.targets);
  std::vector<D> made(std::max<std::uint64_t>(plain, 1));
  if (op.info->derive != nullptr) {
    op.info->derive(angles, op.targets, op.word, made.data());
  } else {
    for (std::uint64_t i = 0; i < plain; ++i) {
      const Complex64 c = payloads_[op.payload + i];
      made[i] = {Dual(c.re), Dual(c.im)};
    }
  }
  std::vector<D> shaped(count);
  switch (op.structure) {
    case OpKind::kMaskPhase:  // a diagonal of ones but the last member
      for (std::uint64_t m = 0; m + 1 < members; ++m) shaped[m] = {Dual(1.0), Dual(0.0)};
      shaped[members - 1] = made[0];
      break;
    case OpKind::kTwoLevel:  // the identity with the 2x2 block in place
      for (std::uint64_t m = 0; m < members; ++m) shaped[m * members + m] = {Dual(1.0), Dual(0.0)};
      shaped[op.general.m0 * members + op.general.m0] = made[0];
      shaped[op.general.m0 * members + op.general.m1] = made[1];
      shaped[op.general.m1 * members + op.general.m0] = made[2];
      shaped[op.general.m1 * members + op.general.m1] = made[3];
      break;
    default:
      std::copy(made.begin(), made.begin() + static_cast<std::ptrdiff_t>(count), shaped.begin());
  }
  if (op.phase) {
    const Dual angle = op.phase->evaluate_seeded<Dual>(params, slot);
    const D e{cos_of(angle), sin_of(angle)};
    for (D& x : shaped) x = {(x.re * e.re) - (x.im * e.im), (x.re * e.im) + (x.im * e.re)};
  }
  for (std::uint64_t i = 0; i < count; ++i) out[i] = {shaped[i].re.d, shaped[i].im.d};
  return true;
}

}  // namespace velquin::program
