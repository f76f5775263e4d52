#include "engine/gate_constants.h"

#include <cmath>

namespace velquin::engine {
namespace {

// Hides a literal from the optimiser, so the math call below really runs here.
double at_run_time(double x) {
  volatile double held = x;
  return held;
}

constexpr double kQuarterPi = 0.7853981633974483;  // 0x3FE921FB54442D18

FormulaConstants cos_sin(double angle) { return {std::cos(angle), std::sin(angle)}; }

}  // namespace

FormulaConstants make_constants(GateConstants rule, double theta) {
  switch (rule) {
    case GateConstants::kNone:
      break;
    case GateConstants::kHadamard:
      return {1.0 / std::sqrt(at_run_time(2.0)), 0.0};
    case GateConstants::kPhaseS:
      return {0.0, 1.0};
    case GateConstants::kPhaseSdg:
      return {0.0, -1.0};
    case GateConstants::kPhaseT:
      return cos_sin(at_run_time(kQuarterPi));
    case GateConstants::kPhaseTdg:
      return cos_sin(-at_run_time(kQuarterPi));
    case GateConstants::kHalfAngle:
      return cos_sin(theta * 0.5);
  }
  return {};
}

}  // namespace velquin::engine
