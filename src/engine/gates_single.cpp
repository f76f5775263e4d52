// The twelve single-qubit gates: check the index, make the constants, run the
// gate's formula over the pairs (i, i + 2^q).
#include "engine/gate_constants.h"
#include "engine/state_vec_py.h"

namespace velquin::engine {
namespace {

// `make` builds the constants only once the index passed: rotations and t, tdg
// call the math library there.
template <class MakeConstants>
Result<GateOp> single_qubit(const StateVecPy& sv, std::uint64_t q, PairFormula formula,
                            MakeConstants make) {
  if (Status checked = sv.check_qubit(q); !checked) return std::move(checked).error();
  return GateOp::single(formula, make(), q);
}

constexpr auto kNone = [] { return GateConstants{}; };
constexpr auto kS = [] { return kSPhase; };
constexpr auto kSdg = [] { return kSdgPhase; };

}  // namespace

Status StateVecPy::run_prepared(Result<GateOp> op) {
  if (!op) return std::move(op).error();
  op.value().run(data_.span());
  return Status::Ok();
}

Result<GateOp> StateVecPy::prepare_h(std::uint64_t q) const {
  return single_qubit(*this, q, PairFormula::kHadamard, hadamard_constants);
}
Result<GateOp> StateVecPy::prepare_x(std::uint64_t q) const {
  return single_qubit(*this, q, PairFormula::kExchange, kNone);
}
Result<GateOp> StateVecPy::prepare_y(std::uint64_t q) const {
  return single_qubit(*this, q, PairFormula::kPauliY, kNone);
}
Result<GateOp> StateVecPy::prepare_z(std::uint64_t q) const {
  return single_qubit(*this, q, PairFormula::kNegate, kNone);
}
Result<GateOp> StateVecPy::prepare_s(std::uint64_t q) const {
  return single_qubit(*this, q, PairFormula::kPhase, kS);
}
Result<GateOp> StateVecPy::prepare_sdg(std::uint64_t q) const {
  return single_qubit(*this, q, PairFormula::kPhase, kSdg);
}
Result<GateOp> StateVecPy::prepare_t(std::uint64_t q) const {
  return single_qubit(*this, q, PairFormula::kPhase, t_constants);
}
Result<GateOp> StateVecPy::prepare_tdg(std::uint64_t q) const {
  return single_qubit(*this, q, PairFormula::kPhase, tdg_constants);
}
Result<GateOp> StateVecPy::prepare_sx(std::uint64_t q) const {
  return single_qubit(*this, q, PairFormula::kSqrtX, kNone);
}
Result<GateOp> StateVecPy::prepare_rx(std::uint64_t q, double theta) const {
  return single_qubit(*this, q, PairFormula::kRotationX,
                      [theta] { return half_angle_constants(theta * 0.5); });
}
Result<GateOp> StateVecPy::prepare_ry(std::uint64_t q, double theta) const {
  return single_qubit(*this, q, PairFormula::kRotationY,
                      [theta] { return half_angle_constants(theta * 0.5); });
}
Result<GateOp> StateVecPy::prepare_rz(std::uint64_t q, double theta) const {
  return single_qubit(*this, q, PairFormula::kRotationZ,
                      [theta] { return half_angle_constants(theta / 2.0); });
}

Status StateVecPy::h(std::uint64_t q) { return run_prepared(prepare_h(q)); }
Status StateVecPy::x(std::uint64_t q) { return run_prepared(prepare_x(q)); }
Status StateVecPy::y(std::uint64_t q) { return run_prepared(prepare_y(q)); }
Status StateVecPy::z(std::uint64_t q) { return run_prepared(prepare_z(q)); }
Status StateVecPy::s(std::uint64_t q) { return run_prepared(prepare_s(q)); }
Status StateVecPy::sdg(std::uint64_t q) { return run_prepared(prepare_sdg(q)); }
Status StateVecPy::t(std::uint64_t q) { return run_prepared(prepare_t(q)); }
Status StateVecPy::tdg(std::uint64_t q) { return run_prepared(prepare_tdg(q)); }
Status StateVecPy::sx(std::uint64_t q) { return run_prepared(prepare_sx(q)); }
Status StateVecPy::rx(std::uint64_t q, double theta) { return run_prepared(prepare_rx(q, theta)); }
Status StateVecPy::ry(std::uint64_t q, double theta) { return run_prepared(prepare_ry(q, theta)); }
Status StateVecPy::rz(std::uint64_t q, double theta) { return run_prepared(prepare_rz(q, theta)); }

}  // namespace velquin::engine
