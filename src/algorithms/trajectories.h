// Shots of dynamic programs (measurements, resets, noise, classical
// conditions and jumps) as seeded trajectories, with the work shared between
// shots wherever that is exact.
//
// Every shot is its own trajectory. Shot i of a call with seed s draws from
// ChaCha12 keyed from s as velquin keys a register's generator (PCG32
// expansion), on stream i: one 64-bit word per random event its trajectory
// meets, in program order (a measured qubit, a reset qubit, a mixture, a
// Kraus channel, a readout error), and one word for all of a run of terminal
// measurements together. So a shot's result depends only on the seed, its
// index and the program: never on the thread count, the executor, or which
// other shots ran beside it.
//
// Shots start as one group sharing one state. A group stays together until a
// random event gives its shots different outcomes (or a condition different
// values); then it splits, each part continuing on its own copy of the state
// (the last part on the original), depth first. So the prefix before the first
// random event runs once, and a noiseless circuit whose measurements all come
// at the end costs one pass of the gates and one sampling walk.
//
// Event rules, with u = (word >> 11) * 2^-53 in [0, 1):
//   measure / reset: p0, p1 = the fixed-tree sums of the weights with the
//     qubit 0 or 1; outcome 1 when u * (p0 + p1) >= p0. The state is projected
//     (the other half zeroed) and multiplied by 1 / sqrt(p_outcome): the one
//     place this engine renormalises. A reset then flips the qubit back to 0.
//     A readout error flips the recorded bit when a further u < its p.
//   mixture: branch b for the first b with u * c_last < c_b, c the running
//     sums of the probabilities left to right; the branch's operations run.
//   kraus: p_i = <psi| K_i^dagger K_i |psi> (fixed tree), chosen as a mixture
//     is; then psi = (K_i / sqrt(p_i)) psi.
//   terminal measurements: one draw of the weighted-index sampler over the
//     state's weights (as velquin's measure_counts draws) picks the outcome.
//   A qubit whose value is certain (nothing has acted on it since it started
//     in |0> or was measured or reset) is measured or reset with the same
//     draws, but the amplitudes stay as they are (a reset of a 1 moves them
//     back to the qubit's 0): no pass over the state.
#pragma once

#include <cstdint>
#include <span>
#include <vector>

#include "base/result.h"
#include "engine/exec_policy.h"
#include "engine/interrupt.h"
#include "program/observable.h"
#include "program/program.h"

namespace velquin::algorithms {

/// The classical bits of every shot: shots x n_clbits bytes, 0 or 1.
/// MemoryError naming the bytes when the shots' records or a state copy a
/// split needs cannot fit.
Result<std::vector<std::uint8_t>> run_shots(
    const program::Program& program, std::span<const double> params, std::uint64_t shots,
    std::uint64_t seed, const engine::ExecPolicy& policy,
    engine::InterruptCheck interrupt = engine::kNeverInterrupt);

/// The mean over `shots` trajectories of each observable's value in the
/// trajectory's final state (every value of every trajectory, padded with
/// +0.0 to a power of two, in the fixed tree, divided by `shots`).
Result<std::vector<double>> trajectory_means(
    const program::Program& program, std::span<const double> params, std::uint64_t shots,
    std::uint64_t seed, std::span<const program::Observable> observables,
    const engine::ExecPolicy& policy, engine::InterruptCheck interrupt = engine::kNeverInterrupt);

}  // namespace velquin::algorithms
