#include "engine/op.h"

#include <algorithm>

#include "engine/gate_kernels.h"
#include "engine/thread_pool.h"

namespace velquin::engine {

void run_prepared(const math_core::PreparedOp& op, std::span<Complex64> data,
                  const ExecPolicy& policy) {
  const std::uint64_t units = math_core::op_units(op);
  if (units == 0) return;
  // A thread's piece covers at least as many amplitudes as a pair formula's does.
  const std::uint64_t per_unit = std::max<std::uint64_t>(1, data.size() / units);
  const std::uint64_t min_units = std::max<std::uint64_t>(1, 2 * kMinPairsPerThread / per_unit);
  Complex64* first = data.data();
  parallel_for(policy.threads_for(data.size()), units, 1, min_units,
               [&](std::uint64_t begin, std::uint64_t end) {
                 math_core::run_op_range(op, first, begin, end);
               });
}

void Op::run(std::span<Complex64> data, const ExecPolicy& policy) const {
  if (const GateOp* gate = std::get_if<GateOp>(&op_)) {
    gate->run(data, policy);
    return;
  }
  const GeneralOp& general = std::get<GeneralOp>(op_);
  const std::span<const unsigned> qubits(general.qubits.data(), general.qubit_count());
  run_prepared(math_core::prepare_op(general.shape_at(qubits), data.size(), policy.isa), data,
               policy);
}

PlacedOp::PlacedOp(const Op& op, std::span<const unsigned> positions, std::uint64_t block_size,
                   const ExecPolicy& policy) {
  if (const GateOp* gate = op.gate()) {
    gate_ = gate;
    gate_positions_ = {positions[0], positions[gate->arity() - 1]};
    return;
  }
  prepared_ = math_core::prepare_op(op.general()->shape_at(positions), block_size, policy.isa);
}

void PlacedOp::run(std::span<Complex64> block, const ExecPolicy& policy) const {
  if (gate_ != nullptr) {
    gate_->run(block, gate_positions_, policy);
    return;
  }
  run_prepared(prepared_, block, policy);
}

}  // namespace velquin::engine
