// The four two-qubit gates. Each validates in its own order with its own
// messages; the differences between them are deliberate and visible to users.
#include "base/messages.h"
#include "engine/register.h"

namespace velquin::engine {
namespace {

// Pair-member selectors within a group of four: bit 0 adds 2^a, bit 1 adds 2^b.
constexpr std::uint8_t kNone = 0;
constexpr std::uint8_t kA = 1;
constexpr std::uint8_t kB = 2;
constexpr std::uint8_t kBoth = kA | kB;

// cy and cz: check_qubit on each index, then ValueError for equal indices.
Status check_controlled(const Register& sv, std::uint64_t control, std::uint64_t target) {
  if (Status checked = sv.check_qubit(control); !checked) return checked;
  if (Status checked = sv.check_qubit(target); !checked) return checked;
  if (control == target) return Error{ErrorKind::kValueError, messages::kControlTargetDiffer};
  return Status::Ok();
}

}  // namespace

Result<GateOp> Register::prepare_cx(std::uint64_t control, std::uint64_t target) const {
  if (control >= n_qubits_ || target >= n_qubits_) {
    return Error{ErrorKind::kIndexError, messages::kControlTargetRange};
  }
  if (control == target) return Error{ErrorKind::kIndexError, messages::kControlTargetSame};
  // Within control = 1, the target = 0 and target = 1 amplitudes trade places.
  return GateOp::pair(PairFormula::kExchange, control, target, kA, kBoth);
}

Result<GateOp> Register::prepare_cy(std::uint64_t control, std::uint64_t target) const {
  if (Status checked = check_controlled(*this, control, target); !checked) {
    return std::move(checked).error();
  }
  return GateOp::pair(PairFormula::kControlledY, control, target, kA, kBoth);
}

Result<GateOp> Register::prepare_cz(std::uint64_t control, std::uint64_t target) const {
  if (Status checked = check_controlled(*this, control, target); !checked) {
    return std::move(checked).error();
  }
  // Only the amplitude with both bits set changes; `first` is never touched.
  return GateOp::pair(PairFormula::kNegate, control, target, kNone, kBoth);
}

Result<GateOp> Register::prepare_swap(std::uint64_t q1, std::uint64_t q2) const {
  if (q1 >= n_qubits_ || q2 >= n_qubits_) {
    return Error{ErrorKind::kIndexError, messages::kSwapIndexRange};
  }
  if (q1 == q2) return Error{ErrorKind::kIndexError, messages::kSwapIndicesSame};
  return GateOp::pair(PairFormula::kExchange, q1, q2, kA, kB);
}

Status Register::cx(std::uint64_t control, std::uint64_t target) {
  return run_prepared(prepare_cx(control, target));
}
Status Register::cy(std::uint64_t control, std::uint64_t target) {
  return run_prepared(prepare_cy(control, target));
}
Status Register::cz(std::uint64_t control, std::uint64_t target) {
  return run_prepared(prepare_cz(control, target));
}
Status Register::swap(std::uint64_t q1, std::uint64_t q2) {
  return run_prepared(prepare_swap(q1, q2));
}

}  // namespace velquin::engine
