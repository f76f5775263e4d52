// A register's gates as the module's gate methods call them: by their kind in
// the gate table, with a policy (the default one unless a test picks another).
#pragma once

#include <cstdint>

#include "base/gate_table.h"
#include "engine/exec_policy.h"
#include "engine/register.h"

namespace velquin::testing {

/// One- or two-qubit gate `kind` on qubit(s) a (and b).
inline Status apply(engine::Register& sv, GateKind kind, std::uint64_t a, std::uint64_t b = 0,
                    const engine::ExecPolicy& policy = engine::default_exec_policy()) {
  return sv.apply(Gate{kind, a, b}, policy);
}

/// Rotation `kind` by `theta` on qubit q.
inline Status rotate(engine::Register& sv, GateKind kind, std::uint64_t q, double theta,
                     const engine::ExecPolicy& policy = engine::default_exec_policy()) {
  return sv.apply(Gate{kind, q, 0, theta}, policy);
}

}  // namespace velquin::testing
