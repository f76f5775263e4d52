// A program: a whole circuit handed over at once, checked once, then bound to
// any number of parameter sets and played by the engine's gate player.
//
// Each operation names a row of the gate library (gate_library.h), its qubits
// (targets, with the leading controls of cx, cy and cz first), any further
// controls with their values, its parameters as expressions of the program's
// parameters, and, where its row asks for one, a matrix, diagonal,
// permutation or Pauli word. An operation of the register's own gates without
// further controls runs as that gate, with its own formula, so a circuit of
// those gates gives the bits a velquin.QuantumCircuit gives. Every other
// operation runs as a general operation whose coefficients its row makes from
// the bound angles.
//
// The global phase (the program's own and every uncontrolled operation's) is
// a sum of angles in program order; it multiplies the starting amplitude
// (|0...0> becomes e^{i phase} |0...0>), so it costs no pass over the state.
#pragma once

#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <vector>

#include "base/complex64.h"
#include "base/result.h"
#include "engine/exec_policy.h"
#include "engine/interrupt.h"
#include "engine/op.h"
#include "engine/register.h"
#include "program/classical.h"
#include "program/expression.h"
#include "program/gate_library.h"

namespace velquin::program {

/// One operation as its caller describes it, before any check.
struct OperationRequest {
  std::string name;
  std::vector<std::uint64_t> qubits;          // targets, any leading controls first
  std::vector<std::uint64_t> controls;        // further controls
  std::vector<std::uint64_t> control_values;  // empty: every control on 1
  std::vector<Expression> params;
  std::optional<Expression> phase;  // e^{i phase} times the operation
  bool has_matrix = false;
  std::vector<std::uint64_t> matrix_shape;
  std::vector<Complex64> matrix;  // a matrix (row-major) or a diagonal
  std::vector<std::int64_t> permutation;
  std::string word;
  // Dynamic programs (names "measure", "reset", "mixture", "kraus", "jump"):
  std::vector<std::uint64_t> clbits;  // measure: the bit each qubit's outcome is written to
  std::vector<double> probabilities;  // mixture: one per branch; measure: readout errors
                                      // (p(1 read | 0), p(0 read | 1))
  std::vector<std::vector<OperationRequest>> branches;    // mixture: each branch's operations
  std::vector<std::vector<Complex64>> kraus;              // kraus: the operators, 4^k entries each
  std::optional<std::vector<ExpressionToken>> condition;  // runs only where it holds
  std::uint64_t target = 0;                               // jump: where to
};

/// The operations of one parameter set, ready for the gate player; they
/// point into this binding, which must outlive their use.
struct Binding {
  std::vector<engine::Op> ops;  // the operations that play, in order
  // Dynamic programs: the index in `ops` of each step's operation (-1: none),
  // and the operations of the mixtures' branches with theirs.
  std::vector<std::ptrdiff_t> step_op;
  std::vector<engine::Op> branch_ops;
  std::vector<std::ptrdiff_t> branch_op;
  std::vector<Complex64> coefficients;
  double phase = 0.0;
  bool has_phase = false;
};

class Program {
 public:
  Program(Program&&) noexcept = default;
  Program& operator=(Program&&) noexcept = default;
  Program(const Program&) = delete;  // operations point into what it owns
  Program& operator=(const Program&) = delete;

  /// Checks every operation against a register of n_qubits and n_params
  /// parameters; ValueError naming the first faulty operation's index.
  static Result<Program> compile(std::uint64_t n_qubits, std::uint64_t n_params,
                                 std::vector<OperationRequest> requests,
                                 std::optional<Expression> global_phase,
                                 std::uint64_t n_clbits = 0);

  unsigned n_qubits() const noexcept { return n_qubits_; }
  unsigned n_params() const noexcept { return n_params_; }
  std::uint64_t n_clbits() const noexcept { return n_clbits_; }
  /// Whether it measures, resets, draws noise, or runs anything conditionally.
  bool dynamic() const noexcept { return dynamic_; }
  std::size_t size() const noexcept { return ops_.size(); }

  /// ValueError unless `params` has n_params() values.
  Status check_parameters(std::span<const double> params) const;

  /// The operations for `params` (n_params() values) into `binding`.
  void bind(std::span<const double> params, Binding& binding) const;

  /// The starting amplitude of `binding`: 1, or e^{i phase}.
  static Complex64 start(const Binding& binding) noexcept;

  /// A register of n_qubits() with every operation applied for `params`.
  /// Stopped by `interrupt`, fails with interrupted().
  Result<engine::Register> run(std::span<const double> params, const engine::ExecPolicy& policy,
                               engine::InterruptCheck interrupt = engine::kNeverInterrupt) const;

  /// Plays the operations of `binding` on `state` (2^n_qubits() amplitudes,
  /// set to the binding's start by the caller); false when interrupted.
  bool play(const Binding& binding, std::span<Complex64> state, const engine::ExecPolicy& policy,
            engine::InterruptCheck interrupt = engine::kNeverInterrupt) const;

  /// One compiled operation (public for the module's introspection and the
  /// gradient code): how it binds.
  /// What a step of a program does.
  enum class Step : std::uint8_t { kUnitary, kMeasure, kReset, kMixture, kKraus, kJump };

  struct Compiled {
    Step step = Step::kUnitary;
    const OperationInfo* info = nullptr;  // unitary steps
    std::optional<GateKind> gate;         // runs as this register gate
    engine::GeneralOp general;            // otherwise: this general operation
    OpKind structure;                     // the structure its row (or payload) describes
    unsigned targets = 0;
    bool plays = true;  // false: an uncontrolled phase, nothing to play
    std::vector<Expression> params;
    std::optional<Expression> phase;  // multiplies the coefficients (controlled ops)
    std::vector<Expression> global;   // angles it adds to the global phase
    bool constant = true;             // coefficients made once, at compile
    std::uint64_t offset = 0;         // its coefficients in the binding (or the constants)
    std::uint64_t count = 0;
    std::uint64_t payload = 0;  // its matrix or diagonal in the program's payloads
    std::vector<std::uint8_t> word;
    std::vector<std::uint32_t> permutation;
    // Dynamic steps.
    std::optional<Condition> condition;
    std::vector<unsigned> qubits;                               // measure, reset, kraus
    std::vector<std::uint32_t> clbits;                          // measure
    std::vector<double> probabilities;                          // mixture; measure: readout errors
    std::vector<std::pair<std::size_t, std::size_t>> branches;  // mixture: ranges of branch_ops()
    std::vector<std::vector<Complex64>> kraus;
    std::size_t target = 0;  // jump
  };
  const std::vector<Compiled>& compiled() const noexcept { return ops_; }
  /// The unitary operations of every mixture's branches.
  const std::vector<Compiled>& branch_ops() const noexcept { return branch_ops_; }

  /// The coefficients of `op` for `params` in its general structure
  /// (op.general.kind), the register's own gates included: what a general
  /// operation of it holds. general_count(op) of them.
  void general_coefficients(const Compiled& op, std::span<const double> params,
                            Complex64* out) const;
  static std::uint64_t general_count(const Compiled& op) noexcept {
    return coefficient_count(op.general.kind, op.targets);
  }

  /// Whether `op`'s coefficients depend on parameter `slot`.
  static bool depends_on(const Compiled& op, std::uint32_t slot) noexcept;

  /// d/d params[slot] of `op`'s matrix (controls aside) for `params`, as
  /// coefficients of derivative_kind(op) (derivative_count(op) of them): the
  /// same makers run on dual numbers. False when the derivative cannot be
  /// taken this way (an operation whose phase made it a matrix and whose own
  /// angles depend on `slot`).
  bool derivative_coefficients(const Compiled& op, std::span<const double> params,
                               std::uint32_t slot, Complex64* out) const;
  static OpKind derivative_kind(const Compiled& op) noexcept;
  static std::uint64_t derivative_count(const Compiled& op) noexcept {
    return coefficient_count(derivative_kind(op), op.targets);
  }

 private:
  Program() = default;
  void make_coefficients(const Compiled& op, std::span<const double> params, Complex64* out) const;
  Result<Compiled> compile_unitary(OperationRequest& request, std::uint64_t index, bool fold_phase);
  Result<Compiled> compile_step(OperationRequest& request, std::uint64_t index, std::size_t count);
  void place_coefficients(Compiled& op, std::uint64_t& constant_count);
  void bind_one(const Compiled& op, std::span<const double> params, Binding& binding,
                std::vector<engine::Op>& into) const;

  unsigned n_qubits_ = 0;
  unsigned n_params_ = 0;
  std::uint64_t n_clbits_ = 0;
  bool dynamic_ = false;
  std::vector<Compiled> ops_;
  std::vector<Compiled> branch_ops_;
  std::optional<Expression> global_phase_;
  bool has_phase_ = false;
  std::vector<Complex64> payloads_;   // the callers' matrices and diagonals
  std::vector<Complex64> constants_;  // coefficients of the constant operations
  std::uint64_t bound_count_ = 0;     // coefficients a binding holds
};

}  // namespace velquin::program
