// Draws measurement outcomes from the weights |a_i|^2 of an amplitude array
// without materialising the weights or their running sums.
//
// Drawing one shot with a weighted index sampler means: take the running sums
// c_k = c_{k-1} + w_k formed strictly left to right, draw chosen in
// [0, total), and return the first k with c_k > chosen. The counts depend only
// on the multiset of chosen values, so the draws are made in bulk, sorted, and
// matched against the running sums in one walk. Checkpoints (the running sum
// at the end of every block of amplitudes) let the walk skip blocks no draw
// lands in, so few shots on a large register cost little beyond the pass that
// validates the weights and forms the total.
#pragma once

#include <cstdint>
#include <span>
#include <utility>
#include <vector>

#include "base/result.h"
#include "engine/interrupt.h"
#include "math_core/math_core.h"
#include "random/std_rng.h"

namespace velquin::engine {

/// Draws sorted and walked together: bounds the memory for any number of shots.
inline constexpr std::uint64_t kSampleChunk = std::uint64_t{1} << 22;

/// (outcome index, count) pairs in ascending index order, counts positive.
using OutcomeCounts = std::vector<std::pair<std::uint64_t, std::uint64_t>>;

/// Exactly the counts that `shots` successive weighted-index samples from
/// `rng` give over the weights re*re + im*im of `amplitudes`, and `rng` ends
/// where those samples leave it. ValueError with the sampler's text for a NaN
/// weight or an all-zero total (nothing drawn then); an infinite total is a
/// panic "Uniform::new called with `high` non-finite.". Draws are
/// sorted and walked `chunk` at a time, which bounds the memory for any
/// number of shots. `interrupt` is polled between pieces of every pass (a few
/// milliseconds of work each, never per shot); when it says stop, the result
/// is `interrupted()` and `rng` is left wherever the draws so far took it.
Result<OutcomeCounts> sample_outcomes(std::span<const math_core::Complex64> amplitudes,
                                      random::StdRng& rng, std::uint64_t shots,
                                      std::uint64_t chunk = kSampleChunk,
                                      InterruptCheck interrupt = kNeverInterrupt);

/// The same draws as sample_outcomes, kept per shot: outcome i is the basis
/// index the i-th draw picks, so counting them gives exactly its counts.
/// MemoryError naming the bytes up front when one 8-byte outcome per shot
/// cannot fit in the memory still available.
Result<std::vector<std::uint64_t>> sample_shots(std::span<const math_core::Complex64> amplitudes,
                                                random::StdRng& rng, std::uint64_t shots,
                                                std::uint64_t chunk = kSampleChunk,
                                                InterruptCheck interrupt = kNeverInterrupt);

/// The basis index each 64-bit word of `words` picks as a draw of the
/// weighted-index sampler over the weights of `amplitudes` (its top 52 bits, as
/// every draw above): what a shot gets from its own word. Errors as above.
Result<std::vector<std::uint64_t>> outcomes_of_words(
    std::span<const math_core::Complex64> amplitudes, std::span<const std::uint64_t> words,
    InterruptCheck interrupt = kNeverInterrupt);

}  // namespace velquin::engine
