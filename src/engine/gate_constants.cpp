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

}  // namespace

GateConstants hadamard_constants() { return {1.0 / std::sqrt(at_run_time(2.0)), 0.0}; }

GateConstants t_constants() {
  const double phi = at_run_time(kQuarterPi);
  return {std::cos(phi), std::sin(phi)};
}

GateConstants tdg_constants() {
  const double minus_phi = -at_run_time(kQuarterPi);
  return {std::cos(minus_phi), std::sin(minus_phi)};
}

GateConstants half_angle_constants(double half) { return {std::cos(half), std::sin(half)}; }

}  // namespace velquin::engine
