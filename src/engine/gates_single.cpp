// The twelve single-qubit gates: check the index, make the constants, run the
// gate's formula over the pairs (i, i + 2^q).
#include "engine/gate_constants.h"
#include "engine/gate_kernels.h"
#include "engine/state_vec_py.h"

namespace velquin::engine {
namespace {

// `make` builds the constants only once the index passed: rotations and t, tdg
// call the math library there.
template <class MakeConstants>
Status single_qubit(StateVecPy& sv, std::uint64_t q, PairFormula formula, MakeConstants make) {
  if (Status checked = sv.check_qubit(q); !checked) return checked;
  const std::span<Complex64> data = sv.mutable_amplitudes();
  run_pair_formula(data, formula, PairSpace::single(data.size(), static_cast<unsigned>(q)),
                   make());
  return Status::Ok();
}

constexpr auto kNone = [] { return GateConstants{}; };
constexpr auto kS = [] { return kSPhase; };
constexpr auto kSdg = [] { return kSdgPhase; };

}  // namespace

Status StateVecPy::h(std::uint64_t q) {
  return single_qubit(*this, q, PairFormula::kHadamard, hadamard_constants);
}
Status StateVecPy::x(std::uint64_t q) { return single_qubit(*this, q, PairFormula::kExchange, kNone); }
Status StateVecPy::y(std::uint64_t q) { return single_qubit(*this, q, PairFormula::kPauliY, kNone); }
Status StateVecPy::z(std::uint64_t q) { return single_qubit(*this, q, PairFormula::kNegate, kNone); }
Status StateVecPy::s(std::uint64_t q) {
  return single_qubit(*this, q, PairFormula::kPhase, kS);
}
Status StateVecPy::sdg(std::uint64_t q) {
  return single_qubit(*this, q, PairFormula::kPhase, kSdg);
}
Status StateVecPy::t(std::uint64_t q) {
  return single_qubit(*this, q, PairFormula::kPhase, t_constants);
}
Status StateVecPy::tdg(std::uint64_t q) {
  return single_qubit(*this, q, PairFormula::kPhase, tdg_constants);
}
Status StateVecPy::sx(std::uint64_t q) { return single_qubit(*this, q, PairFormula::kSqrtX, kNone); }

Status StateVecPy::rx(std::uint64_t q, double theta) {
  return single_qubit(*this, q, PairFormula::kRotationX,
                           [theta] { return half_angle_constants(theta * 0.5); });
}
Status StateVecPy::ry(std::uint64_t q, double theta) {
  return single_qubit(*this, q, PairFormula::kRotationY,
                           [theta] { return half_angle_constants(theta * 0.5); });
}
Status StateVecPy::rz(std::uint64_t q, double theta) {
  return single_qubit(*this, q, PairFormula::kRotationZ,
                           [theta] { return half_angle_constants(theta / 2.0); });
}

}  // namespace velquin::engine
