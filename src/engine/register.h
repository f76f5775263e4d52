// The register: n_qubits qubits held as the full vector of 2^n_qubits complex
// amplitudes (element i is the basis state whose bit q is the value of qubit
// q), plus the register's own random generator. Every operation validates all
// of its arguments before it changes anything and reports failures as values.
#pragma once

#include <cstdint>
#include <optional>
#include <span>
#include <utility>
#include <vector>

#include "engine/amplitude_array.h"
#include "engine/gate_op.h"
#include "engine/interrupt.h"
#include "base/result.h"
#include "random/std_rng.h"

namespace velquin::engine {

inline constexpr std::uint64_t kMaxQubits = 30;

/// Outcome counts of a measurement: (basis index, count) pairs, each index at
/// most once, in ascending index order; counts are positive.
struct MeasurementCounts {
  std::uint64_t n_qubits = 0;
  std::vector<std::pair<std::uint64_t, std::uint64_t>> entries;
};

class Register {
 public:
  /// A register in the all-zero basis state. `seed` seeds the generator; none
  /// draws the key from the operating system (an InternalFailure if that
  /// fails). ValueError for 0 or more than 30 qubits, MemoryError when the
  /// amplitudes cannot be allocated.
  static Result<Register> create(std::uint64_t n_qubits, std::optional<std::uint64_t> seed);

  std::uint64_t n_qubits() const noexcept { return n_qubits_; }
  std::uint64_t length() const noexcept { return data_.size(); }

  /// IndexError "qubit index out of range" unless q < n_qubits.
  Status check_qubit(std::uint64_t q) const;

  /// (re, im) of element i; IndexError unless i < length().
  Result<std::pair<double, double>> amplitude(std::uint64_t i) const;

  /// The amplitude array itself; callers that hand it out must copy.
  std::span<const Complex64> amplitudes() const noexcept { return data_.span(); }
  std::span<Complex64> mutable_amplitudes() noexcept { return data_.span(); }

  random::StdRng& rng() noexcept { return rng_; }

  /// Gives the amplitude array away, leaving the register empty; for a
  /// register about to be discarded whose amplitudes become a result.
  AmplitudeArray take_amplitudes() && noexcept { return std::move(data_); }

  // Single-qubit gates.
  Status h(std::uint64_t q);
  Status x(std::uint64_t q);
  Status y(std::uint64_t q);
  Status z(std::uint64_t q);
  Status s(std::uint64_t q);
  Status sdg(std::uint64_t q);
  Status t(std::uint64_t q);
  Status tdg(std::uint64_t q);
  Status sx(std::uint64_t q);
  Status rx(std::uint64_t q, double theta);
  Status ry(std::uint64_t q, double theta);
  Status rz(std::uint64_t q, double theta);

  // Two-qubit gates, each with its own checks and messages.
  Status cx(std::uint64_t control, std::uint64_t target);
  Status cy(std::uint64_t control, std::uint64_t target);
  Status cz(std::uint64_t control, std::uint64_t target);
  Status swap(std::uint64_t q1, std::uint64_t q2);

  // Gates run by the math_core kernels.
  Status h_cpp(std::uint64_t q);
  Status x_cpp(std::uint64_t q);
  Status cx_cpp(std::uint64_t c, std::uint64_t t);

  // Every gate in two steps: prepare_<gate> makes the gate's checks (in the
  // gate's order, with its messages) and its constants, changing nothing;
  // GateOp::run then does the arithmetic. Circuit execution prepares all of
  // its records before it runs any.
  Result<GateOp> prepare_h(std::uint64_t q) const;
  Result<GateOp> prepare_x(std::uint64_t q) const;
  Result<GateOp> prepare_y(std::uint64_t q) const;
  Result<GateOp> prepare_z(std::uint64_t q) const;
  Result<GateOp> prepare_s(std::uint64_t q) const;
  Result<GateOp> prepare_sdg(std::uint64_t q) const;
  Result<GateOp> prepare_t(std::uint64_t q) const;
  Result<GateOp> prepare_tdg(std::uint64_t q) const;
  Result<GateOp> prepare_sx(std::uint64_t q) const;
  Result<GateOp> prepare_rx(std::uint64_t q, double theta) const;
  Result<GateOp> prepare_ry(std::uint64_t q, double theta) const;
  Result<GateOp> prepare_rz(std::uint64_t q, double theta) const;
  Result<GateOp> prepare_cx(std::uint64_t control, std::uint64_t target) const;
  Result<GateOp> prepare_cy(std::uint64_t control, std::uint64_t target) const;
  Result<GateOp> prepare_cz(std::uint64_t control, std::uint64_t target) const;
  Result<GateOp> prepare_swap(std::uint64_t q1, std::uint64_t q2) const;
  Result<GateOp> prepare_h_cpp(std::uint64_t q) const;
  Result<GateOp> prepare_x_cpp(std::uint64_t q) const;
  Result<GateOp> prepare_cx_cpp(std::uint64_t c, std::uint64_t t) const;

  /// Samples `shots` outcomes. The generator step (reseed from `seed`, or
  /// discard 8 bytes) happens first and stays even when the call then fails;
  /// stopped by `interrupt`, the call fails with `interrupted()` and leaves
  /// the generator right after that step, as any failed call does.
  Result<MeasurementCounts> measure_counts(std::uint64_t shots, std::optional<std::uint64_t> seed,
                                           InterruptCheck interrupt = kNeverInterrupt);

 private:
  Status run_prepared(Result<GateOp> op);

  Register(std::uint64_t n_qubits, AmplitudeArray data, random::StdRng rng) noexcept
      : n_qubits_(n_qubits), data_(std::move(data)), rng_(std::move(rng)) {}

  std::uint64_t n_qubits_;
  AmplitudeArray data_;
  random::StdRng rng_;
};

}  // namespace velquin::engine
