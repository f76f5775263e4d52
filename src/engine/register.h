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

#include "base/gate_table.h"
#include "base/result.h"
#include "engine/amplitude_array.h"
#include "engine/exec_policy.h"
#include "engine/function_ref.h"
#include "engine/gate_op.h"
#include "engine/gate_prepare.h"
#include "engine/interrupt.h"
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
  /// draws the key from the operating system (a panic if that fails).
  /// ValueError for 0 or more than 30 qubits, MemoryError when the amplitudes
  /// cannot be allocated. Its pages are filled on up to `threads` threads.
  static Result<Register> create(std::uint64_t n_qubits, std::optional<std::uint64_t> seed,
                                 unsigned threads = 1);

  std::uint64_t n_qubits() const noexcept { return n_qubits_; }
  std::uint64_t length() const noexcept { return data_.size(); }

  /// IndexError "qubit index out of range" unless q < n_qubits.
  Status check_qubit(std::uint64_t q) const { return engine::check_qubit(q, n_qubits_); }

  /// (re, im) of element i; IndexError unless i < length().
  Result<std::pair<double, double>> amplitude(std::uint64_t i) const;

  /// The amplitude array itself; callers that hand it out must copy.
  std::span<const Complex64> amplitudes() const noexcept { return data_.span(); }
  std::span<Complex64> mutable_amplitudes() noexcept { return data_.span(); }

  random::StdRng& rng() noexcept { return rng_; }

  /// Copies the amplitudes into the memory `allocate` hands back (asked once,
  /// for the byte count, after the check that so many bytes can still be
  /// had), spread over up to `threads` threads. MemoryError "cannot allocate
  /// N bytes for the state-vector copy" when the check refuses or `allocate`
  /// returns null; nothing is copied then. The register never changes.
  Status copy_out(FunctionRef<Complex64*(std::uint64_t)> allocate, unsigned threads) const;

  /// Gives the amplitude array away, leaving the register empty; for a
  /// register about to be discarded whose amplitudes become a result.
  AmplitudeArray take_amplitudes() && noexcept { return std::move(data_); }

  /// A gate's checks (in its order, with its texts; base/gate_table.h) and
  /// its constants against this register, changing nothing: what remains is
  /// the arithmetic, GateOp::run. Circuit execution prepares every record
  /// before it runs any.
  [[gnu::always_inline]] Result<GateOp> prepare(const Gate& gate) const {
    return prepare_gate(gate_info(gate.kind), gate, n_qubits_);
  }

  /// Prepares `gate` and runs it on the whole register with `policy`. A
  /// failed check changes nothing.
  [[gnu::always_inline]] Status apply(const Gate& gate, const ExecPolicy& policy) {
    Result<GateOp> op = prepare(gate);
    if (!op) return std::move(op).error();
    op.value().run(data_.span(), policy);
    return Status::Ok();
  }

  /// Samples `shots` outcomes. The generator step (reseed from `seed`, or
  /// discard 8 bytes) happens first and stays even when the call then fails;
  /// stopped by `interrupt`, the call fails with `interrupted()` and leaves
  /// the generator right after that step, as any failed call does.
  Result<MeasurementCounts> measure_counts(std::uint64_t shots, std::optional<std::uint64_t> seed,
                                           InterruptCheck interrupt = kNeverInterrupt);

 private:
  Register(std::uint64_t n_qubits, AmplitudeArray data, random::StdRng rng) noexcept
      : n_qubits_(n_qubits), data_(std::move(data)), rng_(std::move(rng)) {}

  std::uint64_t n_qubits_;
  AmplitudeArray data_;
  random::StdRng rng_;
};

}  // namespace velquin::engine
