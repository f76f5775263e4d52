#include "engine/outcome_sampler.h"

#include <algorithm>
#include <utility>

#include "base/messages.h"
#include "engine/memory_budget.h"
#include "random/uniform_float.h"
#include "random/weighted_index.h"

namespace velquin::engine {
namespace {

using math_core::Complex64;

// Amplitudes per checkpoint: 8 bytes of checkpoint per 16 KiB of amplitudes.
constexpr std::uint64_t kBlock = 1024;

// What one outcome costs once the counts are handed to Python: a str key of
// up to 30 characters, an int and a dict slot, with allocator overhead.
constexpr std::uint64_t kResultBytesPerOutcome = 128;

double weight(const Complex64& a) noexcept { return a.re * a.re + a.im * a.im; }

// The running sums as seen by the walk: forward only, re-formed from the
// checkpoint before the block it jumps into, with the same rounded additions.
class RunningSums {
 public:
  RunningSums(std::span<const Complex64> amplitudes, const std::vector<double>& checkpoints)
      : amplitudes_(amplitudes), checkpoints_(checkpoints) {
    restart();
  }

  void restart() noexcept {
    k_ = 0;
    sum_ = weight(amplitudes_[0]);
  }

  /// Index of the first running sum above `chosen`; calls must come in
  /// non-decreasing order of `chosen` since the last restart().
  std::uint64_t first_above(double chosen) noexcept {
    if (sum_ > chosen) return k_;
    const std::uint64_t block = k_ / kBlock;
    if (block < checkpoints_.size() && !(checkpoints_[block] > chosen)) {
      // No running sum of this block is above chosen: jump to the first block
      // whose last running sum is, and re-form its sums from the checkpoint.
      const auto after =
          std::upper_bound(checkpoints_.begin() + static_cast<std::ptrdiff_t>(block) + 1,
                           checkpoints_.end(), chosen);
      const auto target = static_cast<std::uint64_t>(after - checkpoints_.begin());
      k_ = target * kBlock;
      sum_ = checkpoints_[target - 1] + weight(amplitudes_[k_]);
    }
    while (!(sum_ > chosen)) {
      ++k_;
      sum_ = sum_ + weight(amplitudes_[k_]);
    }
    return k_;
  }

 private:
  std::span<const Complex64> amplitudes_;
  const std::vector<double>& checkpoints_;
  std::uint64_t k_ = 0;
  double sum_ = 0.0;
};

// Sorts keys below 2^52 (the top 52 bits of the draws) with a least
// significant digit radix sort: four stable passes of 13 bits. False when
// `poll` said stop between two passes.
bool sort_draws(std::span<std::uint64_t> keys, std::vector<std::uint64_t>& scratch,
                InterruptPoll& poll) {
  constexpr unsigned kDigitBits = 13;
  constexpr std::size_t kBuckets = std::size_t{1} << kDigitBits;
  if (keys.size() < 256) {
    std::sort(keys.begin(), keys.end());
    return true;
  }
  scratch.resize(keys.size());
  std::span<std::uint64_t> from = keys;
  std::span<std::uint64_t> to(scratch.data(), keys.size());
  std::vector<std::size_t> offsets(kBuckets);
  for (unsigned shift = 0; shift < 52; shift += kDigitBits) {
    std::fill(offsets.begin(), offsets.end(), 0);
    for (const std::uint64_t key : from) ++offsets[(key >> shift) & (kBuckets - 1)];
    std::size_t position = 0;
    for (auto& offset : offsets) position += std::exchange(offset, position);
    for (const std::uint64_t key : from) to[offsets[(key >> shift) & (kBuckets - 1)]++] = key;
    std::swap(from, to);
    if (poll.after(keys.size())) return false;
  }
  // Four passes end with the sorted keys back in `keys`.
  return true;
}

void add_count(OutcomeCounts& counts, std::uint64_t index) {
  if (!counts.empty() && counts.back().first == index) {
    ++counts.back().second;
  } else {
    counts.emplace_back(index, 1);
  }
}

// Merges two ascending count lists into `out`. False when `poll` said stop.
bool merge(const OutcomeCounts& a, const OutcomeCounts& b, OutcomeCounts& out,
           InterruptPoll& poll) {
  constexpr std::size_t kPiece = std::size_t{1} << 16;
  out.clear();
  out.reserve(a.size() + b.size());
  auto i = a.begin();
  auto j = b.begin();
  while (i != a.end() || j != b.end()) {
    if (j == b.end() || (i != a.end() && i->first < j->first)) {
      out.push_back(*i++);
    } else if (i == a.end() || j->first < i->first) {
      out.push_back(*j++);
    } else {
      out.emplace_back(i->first, i->second + j->second);
      ++i;
      ++j;
    }
    if (out.size() % kPiece == 0 && poll.after(kPiece)) return false;
  }
  return true;
}

// Pass 1 of both samplers: validate every weight and form the total strictly
// left to right, keeping the running sum at the end of each block; the
// distribution of the draws over [0, total).
Result<random::UniformFloat> total_weight(std::span<const Complex64> amplitudes,
                                          std::vector<double>& checkpoints, InterruptPoll& poll) {
  random::WeightTotal total;
  checkpoints.reserve(amplitudes.size() / kBlock + 1);
  for (std::uint64_t k = 0; k < amplitudes.size(); ++k) {
    if (!total.add(weight(amplitudes[k]))) break;
    if ((k + 1) % kBlock == 0) {
      checkpoints.push_back(total.total());
      if (poll.after(kBlock)) return interrupted();
    }
  }
  Result<double> finished = total.finish();
  if (!finished) return std::move(finished).error();
  return random::UniformFloat::create(0.0, finished.value());
}

// The draws of [first, first + size) from `rng`, as their top 52 bits.
bool draw(random::StdRng& rng, std::span<std::uint64_t> draws, InterruptPoll& poll) {
  constexpr std::size_t kPiece = std::size_t{1} << 12;
  // Pieces of the stream in turn are the same words as one bulk draw.
  for (std::size_t first = 0; first < draws.size(); first += kPiece) {
    const std::span<std::uint64_t> piece =
        draws.subspan(first).first(std::min(kPiece, draws.size() - first));
    rng.fill_u64(piece);
    for (auto& word : piece) word >>= 12;
    if (poll.after(piece.size())) return false;
  }
  return true;
}

// Each draw's outcome (draws: top 52 bits of a word, as draw() leaves them),
// written at the draw's own place: the draws are walked in ascending order,
// equal ones in their order, so the running sums are read once.
bool outcomes_of_draws(RunningSums& sums, const random::UniformFloat& distribution,
                       std::span<const std::uint64_t> draws, std::span<std::uint64_t> order,
                       std::span<std::uint64_t> outcomes, InterruptPoll& poll) {
  constexpr std::size_t kPiece = std::size_t{1} << 12;
  for (std::size_t i = 0; i < draws.size(); ++i) order[i] = i;
  std::stable_sort(order.begin(), order.begin() + static_cast<std::ptrdiff_t>(draws.size()),
                   [&](std::uint64_t a, std::uint64_t b) { return draws[a] < draws[b]; });
  if (poll.after(draws.size())) return false;
  sums.restart();
  for (std::size_t k = 0; k < draws.size(); ++k) {
    const std::uint64_t i = order[k];
    outcomes[i] = sums.first_above(distribution.from_bits(draws[i] << 12));
    if ((k + 1) % kPiece == 0 && poll.after(kPiece)) return false;
  }
  return true;
}

}  // namespace

Result<OutcomeCounts> sample_outcomes(std::span<const Complex64> amplitudes, random::StdRng& rng,
                                      std::uint64_t shots, std::uint64_t chunk,
                                      InterruptCheck interrupt) {
  InterruptPoll poll(interrupt);
  std::vector<double> checkpoints;
  Result<random::UniformFloat> made = total_weight(amplitudes, checkpoints, poll);
  if (!made) return std::move(made).error();
  const random::UniformFloat distribution = made.value();

  // Pass 2, chunk by chunk: draw, sort the draws (the value a word gives is
  // non-decreasing in its top 52 bits), then walk the running sums once.
  // Pieces of draws made, or walked, between two polls of `interrupt`.
  constexpr std::size_t kPiece = std::size_t{1} << 12;
  OutcomeCounts counts;
  OutcomeCounts merged;
  RunningSums sums(amplitudes, checkpoints);
  chunk = std::max<std::uint64_t>(chunk, 1);
  std::vector<std::uint64_t> words(static_cast<std::size_t>(std::min(shots, chunk)));
  std::vector<std::uint64_t> scratch;
  for (std::uint64_t done = 0; done < shots;) {
    const std::uint64_t take = std::min(shots - done, chunk);
    std::span<std::uint64_t> draws(words.data(), static_cast<std::size_t>(take));
    if (!draw(rng, draws, poll)) return interrupted();
    if (!sort_draws(draws, scratch, poll)) return interrupted();
    OutcomeCounts chunk_counts;
    sums.restart();
    for (std::size_t first = 0; first < draws.size(); first += kPiece) {
      for (const std::uint64_t top_bits :
           draws.subspan(first).first(std::min(kPiece, draws.size() - first))) {
        add_count(chunk_counts, sums.first_above(distribution.from_bits(top_bits << 12)));
      }
      if (poll.after(kPiece)) return interrupted();
    }
    // Every distinct outcome costs a counts entry here and, once returned, a
    // key and a value in the caller's result: refuse before that outgrows the
    // memory the machine can still give.
    const std::uint64_t outcomes = counts.size() + chunk_counts.size();
    if (Status budget =
            check_allocation(outcomes * (2 * sizeof(counts[0]) + kResultBytesPerOutcome),
                             messages::kForMeasurementCounts);
        !budget) {
      return std::move(budget).error();
    }
    if (counts.empty()) {
      counts = std::move(chunk_counts);
    } else {
      if (!merge(counts, chunk_counts, merged, poll)) return interrupted();
      std::swap(counts, merged);
    }
    done += take;
  }
  return counts;
}

Result<std::vector<std::uint64_t>> sample_shots(std::span<const Complex64> amplitudes,
                                                random::StdRng& rng, std::uint64_t shots,
                                                std::uint64_t chunk, InterruptCheck interrupt) {
  if (shots > (std::uint64_t{1} << 60)) {
    return Error{ErrorKind::kMemoryError,
                 messages::allocation_failed(~std::uint64_t{0}, messages::kForShotOutcomes)};
  }
  if (Status room = check_allocation(shots * sizeof(std::uint64_t), messages::kForShotOutcomes);
      !room) {
    return std::move(room).error();
  }
  InterruptPoll poll(interrupt);
  std::vector<double> checkpoints;
  Result<random::UniformFloat> made = total_weight(amplitudes, checkpoints, poll);
  if (!made) return std::move(made).error();
  const random::UniformFloat distribution = made.value();
  std::vector<std::uint64_t> outcomes(static_cast<std::size_t>(shots));
  RunningSums sums(amplitudes, checkpoints);
  chunk = std::max<std::uint64_t>(chunk, 1);
  const std::size_t size = static_cast<std::size_t>(std::min(shots, chunk));
  std::vector<std::uint64_t> draws(size), order(size);
  for (std::uint64_t done = 0; done < shots;) {
    const std::size_t take = static_cast<std::size_t>(std::min(shots - done, chunk));
    const std::span<std::uint64_t> piece(draws.data(), take);
    if (!draw(rng, piece, poll) ||
        !outcomes_of_draws(sums, distribution, piece, order,
                           std::span(outcomes).subspan(static_cast<std::size_t>(done), take),
                           poll)) {
      return interrupted();
    }
    done += take;
  }
  return outcomes;
}

Result<std::vector<std::uint64_t>> outcomes_of_words(std::span<const Complex64> amplitudes,
                                                     std::span<const std::uint64_t> words,
                                                     InterruptCheck interrupt) {
  InterruptPoll poll(interrupt);
  std::vector<double> checkpoints;
  Result<random::UniformFloat> made = total_weight(amplitudes, checkpoints, poll);
  if (!made) return std::move(made).error();
  const random::UniformFloat distribution = made.value();
  std::vector<std::uint64_t> draws(words.size()), order(words.size()), outcomes(words.size());
  for (std::size_t i = 0; i < words.size(); ++i) draws[i] = words[i] >> 12;
  RunningSums sums(amplitudes, checkpoints);
  if (!outcomes_of_draws(sums, distribution, draws, order, outcomes, poll)) return interrupted();
  return outcomes;
}

}  // namespace velquin::engine
