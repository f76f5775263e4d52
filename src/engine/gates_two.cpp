// The four two-qubit gates. Each validates in its own order with its own
// messages; the differences between them are deliberate and visible to users.
#include "engine/gate_kernels.h"
#include "engine/messages.h"
#include "engine/state_vec_py.h"

namespace velquin::engine {
namespace {

std::uint64_t mask(std::uint64_t q) { return std::uint64_t{1} << q; }

// Pairs (base + first, base + second) over the groups of four of qubits a, b.
void run_two(StateVecPy& sv, std::uint64_t a, std::uint64_t b, std::uint64_t first,
             std::uint64_t second, PairFormula formula) {
  const std::span<Complex64> data = sv.mutable_amplitudes();
  run_pair_formula(data, formula,
                   PairSpace::two(data.size(), static_cast<unsigned>(a), static_cast<unsigned>(b),
                                  first, second),
                   {});
}

// cy and cz: check_qubit on each index, then ValueError for equal indices.
Status check_controlled(const StateVecPy& sv, std::uint64_t control, std::uint64_t target) {
  if (Status checked = sv.check_qubit(control); !checked) return checked;
  if (Status checked = sv.check_qubit(target); !checked) return checked;
  if (control == target) return Error{ErrorKind::kValueError, messages::kControlTargetDiffer};
  return Status::Ok();
}

}  // namespace

Status StateVecPy::cx(std::uint64_t control, std::uint64_t target) {
  if (control >= n_qubits_ || target >= n_qubits_) {
    return Error{ErrorKind::kIndexError, messages::kControlTargetRange};
  }
  if (control == target) return Error{ErrorKind::kIndexError, messages::kControlTargetSame};
  // Within control = 1, the target = 0 and target = 1 amplitudes trade places.
  run_two(*this, control, target, mask(control), mask(control) | mask(target),
          PairFormula::kExchange);
  return Status::Ok();
}

Status StateVecPy::cy(std::uint64_t control, std::uint64_t target) {
  if (Status checked = check_controlled(*this, control, target); !checked) return checked;
  run_two(*this, control, target, mask(control), mask(control) | mask(target),
          PairFormula::kControlledY);
  return Status::Ok();
}

Status StateVecPy::cz(std::uint64_t control, std::uint64_t target) {
  if (Status checked = check_controlled(*this, control, target); !checked) return checked;
  // Only the amplitude with both bits set changes; `first` is never touched.
  run_two(*this, control, target, 0, mask(control) | mask(target), PairFormula::kNegate);
  return Status::Ok();
}

Status StateVecPy::swap(std::uint64_t q1, std::uint64_t q2) {
  if (q1 >= n_qubits_ || q2 >= n_qubits_) {
    return Error{ErrorKind::kIndexError, messages::kSwapIndexRange};
  }
  if (q1 == q2) return Error{ErrorKind::kIndexError, messages::kSwapIndicesSame};
  run_two(*this, q1, q2, mask(q1), mask(q2), PairFormula::kExchange);
  return Status::Ok();
}

}  // namespace velquin::engine
