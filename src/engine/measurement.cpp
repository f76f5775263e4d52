#include "engine/outcome_sampler.h"
#include "engine/register.h"

namespace velquin::engine {

Result<MeasurementCounts> Register::measure_counts(std::uint64_t shots,
                                                   std::optional<std::uint64_t> seed,
                                                   InterruptCheck interrupt) {
  // The generator step comes first and stays even when sampling then fails.
  if (seed) {
    rng_ = random::StdRng::seed_from_u64(*seed);
  } else {
    std::uint8_t discarded[8];
    rng_.fill_bytes(discarded);
  }
  // An interrupted call leaves the generator where a failed one does, right
  // after the step: the stream never depends on when the interrupt came.
  const random::StdRng after_step = rng_;
  Result<OutcomeCounts> counts =
      sample_outcomes(data_.span(), rng_, shots, kSampleChunk, interrupt);
  if (!counts) {
    if (counts.error().kind == ErrorKind::kInterrupted) rng_ = after_step;
    return std::move(counts).error();
  }
  return MeasurementCounts{n_qubits_, std::move(counts).value()};
}

}  // namespace velquin::engine
