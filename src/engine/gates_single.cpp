// The twelve single-qubit gates: check the index, make the constants, run the
// gate's formula over the pairs (i, i + 2^q).
#include "engine/gate_constants.h"
#include "engine/register.h"

namespace velquin::engine {
namespace {

// `make` builds the constants only once the index passed: rotations and t, tdg
// call the math library there.
template <class MakeConstants>
Result<GateOp> single_qubit(const Register& sv, std::uint64_t q, PairFormula formula,
                            MakeConstants make) {
  if (Status checked = sv.check_qubit(q); !checked) return std::move(checked).error();
  return GateOp::single(formula, make(), q);
}

constexpr auto kNone = [] { return GateConstants{}; };
constexpr auto kS = [] { return kSPhase; };
constexpr auto kSdg = [] { return kSdgPhase; };

}  // namespace

Status Register::run_prepared(Result<GateOp> op) {
  if (!op) return std::move(op).error();
  op.value().run(data_.span());
  return Status::Ok();
}

Result<GateOp> Register::prepare_h(std::uint64_t q) const {
  return single_qubit(*this, q, PairFormula::kHadamard, hadamard_constants);
}
Result<GateOp> Register::prepare_x(std::uint64_t q) const {
  return single_qubit(*this, q, PairFormula::kExchange, kNone);
}
Result<GateOp> Register::prepare_y(std::uint64_t q) const {
  return single_qubit(*this, q, PairFormula::kPauliY, kNone);
}
Result<GateOp> Register::prepare_z(std::uint64_t q) const {
  return single_qubit(*this, q, PairFormula::kNegate, kNone);
}
Result<GateOp> Register::prepare_s(std::uint64_t q) const {
  return single_qubit(*this, q, PairFormula::kPhase, kS);
}
Result<GateOp> Register::prepare_sdg(std::uint64_t q) const {
  return single_qubit(*this, q, PairFormula::kPhase, kSdg);
}
Result<GateOp> Register::prepare_t(std::uint64_t q) const {
  return single_qubit(*this, q, PairFormula::kPhase, t_constants);
}
Result<GateOp> Register::prepare_tdg(std::uint64_t q) const {
  return single_qubit(*this, q, PairFormula::kPhase, tdg_constants);
}
Result<GateOp> Register::prepare_sx(std::uint64_t q) const {
  return single_qubit(*this, q, PairFormula::kSqrtX, kNone);
}
Result<GateOp> Register::prepare_rx(std::uint64_t q, double theta) const {
  return single_qubit(*this, q, PairFormula::kRotationX,
                      [theta] { return half_angle_constants(theta * 0.5); });
}
Result<GateOp> Register::prepare_ry(std::uint64_t q, double theta) const {
  return single_qubit(*this, q, PairFormula::kRotationY,
                      [theta] { return half_angle_constants(theta * 0.5); });
}
Result<GateOp> Register::prepare_rz(std::uint64_t q, double theta) const {
  return single_qubit(*this, q, PairFormula::kRotationZ,
                      [theta] { return half_angle_constants(theta / 2.0); });
}

Status Register::h(std::uint64_t q) { return run_prepared(prepare_h(q)); }
Status Register::x(std::uint64_t q) { return run_prepared(prepare_x(q)); }
Status Register::y(std::uint64_t q) { return run_prepared(prepare_y(q)); }
Status Register::z(std::uint64_t q) { return run_prepared(prepare_z(q)); }
Status Register::s(std::uint64_t q) { return run_prepared(prepare_s(q)); }
Status Register::sdg(std::uint64_t q) { return run_prepared(prepare_sdg(q)); }
Status Register::t(std::uint64_t q) { return run_prepared(prepare_t(q)); }
Status Register::tdg(std::uint64_t q) { return run_prepared(prepare_tdg(q)); }
Status Register::sx(std::uint64_t q) { return run_prepared(prepare_sx(q)); }
Status Register::rx(std::uint64_t q, double theta) { return run_prepared(prepare_rx(q, theta)); }
Status Register::ry(std::uint64_t q, double theta) { return run_prepared(prepare_ry(q, theta)); }
Status Register::rz(std::uint64_t q, double theta) { return run_prepared(prepare_rz(q, theta)); }

}  // namespace velquin::engine
