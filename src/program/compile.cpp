// Program::compile: every check of every operation, before anything runs,
// and what each becomes (the register's own gate, a general operation, or a
// dynamic step); constant coefficients are made here, once.
#include <algorithm>
#include <cmath>

#include "base/program_messages.h"
#include "program/program.h"

namespace velquin::program {
namespace {

namespace text = messages::program;

Error value_error(std::string message) { return Error{ErrorKind::kValueError, std::move(message)}; }

// The structure an operation with a phase of its own runs as (under
// controls or a condition): the phase multiplies every member, so a phase on
// a subspace becomes a diagonal and what only moved amplitudes (or only some)
// becomes a matrix.
OpKind with_phase(OpKind kind) noexcept {
  switch (kind) {
    case OpKind::kDense:
    case OpKind::kDiagonal:
    case OpKind::kParityPhase:
    case OpKind::kMonomial:
      return kind;
    case OpKind::kMaskPhase:
      return OpKind::kDiagonal;
    default:
      return OpKind::kDense;
  }
}

Status check_expression(const Expression& e, std::uint64_t n_params, std::uint64_t index,
                        std::string_view name) {
  for (const auto& [parameter, coefficient] : e.terms) {
    if (parameter >= n_params) {
      return value_error(text::parameter_out_of_range(index, name, parameter, n_params));
    }
  }
  return Status::Ok();
}

Status check_qubits(std::span<const std::uint64_t> qubits, std::uint64_t n_qubits,
                    std::uint64_t index, std::string_view name) {
  for (std::size_t i = 0; i < qubits.size(); ++i) {
    if (qubits[i] >= n_qubits) {
      return value_error(text::qubit_out_of_range(index, name, qubits[i], n_qubits));
    }
    for (std::size_t j = 0; j < i; ++j) {
      if (qubits[j] == qubits[i]) return value_error(text::repeated_qubit(index, name, qubits[i]));
    }
  }
  return Status::Ok();
}

Program::Step step_of(std::string_view name) {
  using Step = Program::Step;
  if (name == "measure") return Step::kMeasure;
  if (name == "reset") return Step::kReset;
  if (name == "mixture") return Step::kMixture;
  if (name == "kraus") return Step::kKraus;
  if (name == "jump") return Step::kJump;
  return Step::kUnitary;
}

}  // namespace

Result<Program::Compiled> Program::compile_unitary(OperationRequest& request, std::uint64_t index,
                                                   bool fold_phase) {
  const std::uint64_t n_qubits = n_qubits_, n_params = n_params_;
  const OperationInfo* info = find_operation(request.name);
  if (info == nullptr) return value_error(text::unknown_operation(index, request.name));
  const std::string_view name = info->name;
  // Qubits: the row's leading controls, then its targets; then the further controls.
  const std::uint64_t given = request.qubits.size();
  if (info->targets != kAnyTargets && given != info->targets + info->leading_controls) {
    return value_error(
        text::wrong_target_count(index, name, info->targets + info->leading_controls, given));
  }
  if (info->targets == kAnyTargets && given == 0) return value_error(text::no_targets(index, name));
  const std::uint64_t targets = given - info->leading_controls;
  const bool enumerated = info->kind == OpKind::kDense || info->kind == OpKind::kDiagonal ||
                          info->kind == OpKind::kPermutation || info->kind == OpKind::kTwoLevel ||
                          info->kind == OpKind::kMonomial;
  if (enumerated && targets > math_core::kMaxTargets) {
    return value_error(text::too_many_targets(index, name, math_core::kMaxTargets));
  }
  std::vector<std::uint64_t> controls(request.qubits.begin(),
                                      request.qubits.begin() + info->leading_controls);
  controls.insert(controls.end(), request.controls.begin(), request.controls.end());
  std::vector<std::uint64_t> values(info->leading_controls, 1);
  if (!request.control_values.empty() && request.control_values.size() != request.controls.size()) {
    return value_error(text::control_values_length(index, name, request.controls.size(),
                                                   request.control_values.size()));
  }
  for (std::uint64_t i = 0; i < request.controls.size(); ++i) {
    const std::uint64_t v = request.control_values.empty() ? 1 : request.control_values[i];
    if (v > 1) return value_error(text::control_value_not_bit(index, name));
    values.push_back(v);
  }
  std::vector<std::uint64_t> all(request.qubits.begin() + info->leading_controls,
                                 request.qubits.end());
  all.insert(all.end(), controls.begin(), controls.end());
  if (Status ok = check_qubits(all, n_qubits, index, name); !ok) return std::move(ok).error();
  // Parameters and payload.
  const unsigned wanted = parameter_count(*info, static_cast<unsigned>(targets));
  if (request.params.size() != wanted) {
    return value_error(text::wrong_parameter_count(index, name, wanted, request.params.size()));
  }
  for (const Expression& e : request.params) {
    if (Status ok = check_expression(e, n_params, index, name); !ok) return std::move(ok).error();
  }
  if (request.phase) {
    if (Status ok = check_expression(*request.phase, n_params, index, name); !ok) {
      return std::move(ok).error();
    }
  }
  const std::uint64_t members = std::uint64_t{1} << targets;
  Compiled op;
  op.info = info;
  op.targets = static_cast<unsigned>(targets);
  switch (info->payload) {
    case Payload::kNone:
      if (request.has_matrix || !request.permutation.empty() || !request.word.empty()) {
        return value_error(text::unexpected_payload(index, name));
      }
      break;
    case Payload::kMatrix:
    case Payload::kDiagonal: {
      const bool square = info->payload == Payload::kMatrix;
      const bool shaped = square
                              ? request.matrix_shape == std::vector<std::uint64_t>{members, members}
                              : request.matrix_shape == std::vector<std::uint64_t>{members};
      if (!request.has_matrix || !shaped) {
        const std::string m = std::to_string(members);
        return value_error(
            text::wrong_payload(index, name,
                                square ? "a " + m + " x " + m + " complex matrix for " +
                                             std::to_string(targets) + " target qubits"
                                       : "a diagonal of " + m + " complex entries for " +
                                             std::to_string(targets) + " target qubits"));
      }
      op.payload = payloads_.size();
      payloads_.insert(payloads_.end(), request.matrix.begin(), request.matrix.end());
      break;
    }
    case Payload::kPermutation: {
      std::vector<bool> seen(members, false);
      bool ok = request.permutation.size() == members;
      for (std::int64_t m : request.permutation) {
        if (!ok || m < 0 || static_cast<std::uint64_t>(m) >= members || seen[m]) {
          ok = false;
          break;
        }
        seen[m] = true;
      }
      if (!ok) return value_error(text::not_a_permutation(index, name));
      op.permutation.assign(request.permutation.begin(), request.permutation.end());
      break;
    }
    case Payload::kWord:
      if (request.word.size() != targets ||
          !std::all_of(request.word.begin(), request.word.end(),
                       [](char c) { return c == 'X' || c == 'Y' || c == 'Z'; })) {
        return value_error(text::bad_word(index, name));
      }
      op.word.assign(request.word.begin(), request.word.end());
      break;
  }
  // What it runs as. A phase joins the global phase only where the operation
  // surely runs, once, on every amplitude.
  op.params = std::move(request.params);
  const bool controlled = !controls.empty();
  // Its own gate when nothing but its own leading control (cx, cy, cz) controls it.
  if (info->gate && request.controls.empty()) op.gate = *info->gate;
  if (info->targets == 0 && !controlled && fold_phase) {
    op.plays = false;  // an uncontrolled phase only adds its angle
    op.global.push_back(op.params[0]);
  }
  if (request.phase) {
    if (controlled || !fold_phase) {
      op.phase = std::move(request.phase);
      op.gate.reset();  // the register's gate has no phase of its own
    } else {
      op.global.push_back(std::move(*request.phase));
    }
  }
  if (!op.global.empty()) has_phase_ = true;
  engine::GeneralOp& general = op.general;
  op.structure = word_structure(*info, op.word);
  general.kind = op.phase ? with_phase(op.structure) : op.structure;
  general.target_count = op.targets;
  general.control_count = static_cast<unsigned>(controls.size());
  for (std::uint64_t i = 0; i < all.size(); ++i) general.qubits[i] = static_cast<unsigned>(all[i]);
  for (std::uint64_t i = 0; i < values.size(); ++i) {
    general.control_values |= static_cast<std::uint32_t>(values[i]) << i;
  }
  for (unsigned i = 0; i < op.word.size(); ++i) {
    if (op.word[i] != 'Z') general.pauli_flip |= 1u << i;
    if (op.word[i] != 'X') general.pauli_sign |= 1u << i;
  }
  if (info->kind == OpKind::kTwoLevel) {
    general.m0 = targets == 2 ? 1 : 3;
    general.m1 = targets == 2 ? 2 : 12;
  }
  op.constant = std::all_of(op.params.begin(), op.params.end(),
                            [](const Expression& e) { return e.is_constant(); }) &&
                (!op.phase || op.phase->is_constant());
  if (!op.gate && op.plays) op.count = coefficient_count(general.kind, op.targets);
  return op;
}

Result<Program::Compiled> Program::compile_step(OperationRequest& request, std::uint64_t index,
                                                std::size_t count) {
  const Step step = step_of(request.name);
  const std::string_view name = request.name;
  Compiled op;
  op.step = step;
  op.plays = false;
  for (std::uint64_t q : request.qubits) op.qubits.push_back(static_cast<unsigned>(q));
  if (Status ok = check_qubits(request.qubits, n_qubits_, index, name); !ok) {
    return std::move(ok).error();
  }
  auto probability = [](double p) { return p >= 0.0 && p <= 1.0; };
  switch (step) {
    case Step::kMeasure:
      if (request.qubits.empty() || request.clbits.size() != request.qubits.size()) {
        return value_error(text::operation_error(index, name, "needs one classical bit per qubit"));
      }
      for (std::uint64_t c : request.clbits) {
        if (c >= n_clbits_) {
          return value_error(
              text::operation_error(index, name,
                                    "classical bit " + std::to_string(c) + " is out of range for " +
                                        std::to_string(n_clbits_) + " classical bits"));
        }
        op.clbits.push_back(static_cast<std::uint32_t>(c));
      }
      if (!request.probabilities.empty() &&
          (request.probabilities.size() != 2 ||
           !std::all_of(request.probabilities.begin(), request.probabilities.end(), probability))) {
        return value_error(text::operation_error(
            index, name, "readout errors are two probabilities, p(1 read | 0) and p(0 read | 1)"));
      }
      op.probabilities = request.probabilities;
      break;
    case Step::kReset:
      if (request.qubits.empty()) return value_error(text::no_targets(index, name));
      break;
    case Step::kMixture: {
      if (request.branches.empty() || request.branches.size() != request.probabilities.size() ||
          !std::all_of(request.probabilities.begin(), request.probabilities.end(), probability)) {
        return value_error(
            text::operation_error(index, name, "needs one probability in [0, 1] per branch"));
      }
      op.probabilities = request.probabilities;
      for (auto& branch : request.branches) {
        const std::size_t first = branch_ops_.size();
        for (OperationRequest& inner : branch) {
          if (step_of(inner.name) != Step::kUnitary || inner.condition) {
            return value_error(
                text::operation_error(index, name, "a branch holds unitary operations only"));
          }
          Result<Compiled> compiled = compile_unitary(inner, index, false);
          if (!compiled) return std::move(compiled).error();
          branch_ops_.push_back(std::move(compiled).value());
        }
        op.branches.emplace_back(first, branch_ops_.size());
      }
      break;
    }
    case Step::kKraus: {
      const std::uint64_t members = std::uint64_t{1} << request.qubits.size();
      if (request.qubits.empty() || request.qubits.size() > math_core::kMaxTargets ||
          request.kraus.empty() ||
          !std::all_of(request.kraus.begin(), request.kraus.end(),
                       [&](const auto& k) { return k.size() == members * members; })) {
        return value_error(text::operation_error(index, name,
                                                 "needs 1 to 10 qubits and operators of " +
                                                     std::to_string(members) + " x " +
                                                     std::to_string(members) + " complex entries"));
      }
      op.kraus = std::move(request.kraus);
      break;
    }
    case Step::kJump:
      if (request.target > count) {
        return value_error(text::operation_error(index, name, "jumps outside the program"));
      }
      op.target = request.target;
      break;
    case Step::kUnitary:
      break;
  }
  return op;
}

void Program::place_coefficients(Compiled& op, std::uint64_t& constant_count) {
  op.offset = op.constant ? constant_count : bound_count_;
  (op.constant ? constant_count : bound_count_) += op.count;
}

Result<Program> Program::compile(std::uint64_t n_qubits, std::uint64_t n_params,
                                 std::vector<OperationRequest> requests,
                                 std::optional<Expression> global_phase, std::uint64_t n_clbits) {
  if (n_qubits == 0 || n_qubits > engine::kMaxQubits) return value_error(text::kQubitCount);
  Program program;
  program.n_qubits_ = static_cast<unsigned>(n_qubits);
  program.n_params_ = static_cast<unsigned>(n_params);
  program.n_clbits_ = n_clbits;
  if (global_phase) {
    for (const auto& [parameter, coefficient] : global_phase->terms) {
      if (parameter >= n_params) {
        return value_error(text::global_phase_parameter(parameter, n_params));
      }
    }
    program.has_phase_ = true;
  }
  program.global_phase_ = std::move(global_phase);
  // With a jump an operation may run any number of times: no phase is folded then.
  const bool jumps = std::any_of(requests.begin(), requests.end(),
                                 [](const OperationRequest& r) { return r.name == "jump"; });
  program.ops_.reserve(requests.size());
  for (std::uint64_t index = 0; index < requests.size(); ++index) {
    OperationRequest& request = requests[index];
    const bool unitary = step_of(request.name) == Step::kUnitary;
    Result<Compiled> op =
        unitary ? program.compile_unitary(request, index, !jumps && !request.condition)
                : program.compile_step(request, index, requests.size());
    if (!op) return std::move(op).error();
    if (request.condition) {
      Result<Condition> condition = Condition::make(std::move(*request.condition), n_clbits);
      if (!condition) {
        return value_error(text::operation_error(index, request.name, condition.error().message));
      }
      op.value().condition = std::move(condition).value();
    }
    program.dynamic_ = program.dynamic_ || !unitary || op.value().condition.has_value();
    program.ops_.push_back(std::move(op).value());
  }
  // Coefficients' places, then the pointers into what the program owns (its
  // storage no longer moves), then the constants.
  std::uint64_t constant_count = 0;
  for (Compiled& op : program.ops_) program.place_coefficients(op, constant_count);
  for (Compiled& op : program.branch_ops_) program.place_coefficients(op, constant_count);
  program.constants_.assign(constant_count, Complex64{0.0, 0.0});
  for (auto* list : {&program.ops_, &program.branch_ops_}) {
    for (Compiled& op : *list) {
      if (!op.permutation.empty()) op.general.permutation = op.permutation.data();
      if (op.info != nullptr && op.info->permutation != nullptr) {
        op.general.permutation = op.info->permutation;
      }
      if (op.gate || op.count == 0 || !op.constant) continue;
      op.general.coefficients = program.constants_.data() + op.offset;
      program.make_coefficients(op, {}, program.constants_.data() + op.offset);
    }
  }
  return program;
}

}  // namespace velquin::program
