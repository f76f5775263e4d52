// Long work stops early when its caller asks it to. The engine does not know
// what stands behind the question (the module asks whether a Python signal
// handler has raised); it asks only on the thread that made the call, only
// where its state is whole (a measurement has produced nothing yet; a circuit
// has applied a whole prefix of its records), and then returns `interrupted()`.
#pragma once

#include <cstdint>

#include "base/result.h"
#include "engine/function_ref.h"

namespace velquin::engine {

/// True: stop now. Called on the calling thread only, never on a pool thread.
using InterruptCheck = FunctionRef<bool()>;

/// A check that never stops anything, for callers with nothing to ask.
inline constexpr auto kNeverInterrupt = [] { return false; };

/// The error of an operation stopped by its InterruptCheck. It carries no
/// text: whoever made the check knows why it said stop.
inline Error interrupted() { return Error{ErrorKind::kInterrupted, {}}; }

/// Asks an InterruptCheck about once per kInterruptPeriod units of work (an
/// amplitude, a draw or a sort key each), so that a check costs nothing next
/// to the work between two of them and comes every few milliseconds.
class InterruptPoll {
 public:
  static constexpr std::uint64_t kPeriod = std::uint64_t{1} << 20;

  explicit InterruptPoll(InterruptCheck check) noexcept : check_(check) {}

  /// Counts `units` of work just finished; true when the check, asked because
  /// a period has passed, says stop.
  bool after(std::uint64_t units) {
    done_ += units;
    if (done_ < kPeriod) return false;
    done_ = 0;
    return check_();
  }

 private:
  InterruptCheck check_;
  std::uint64_t done_ = 0;
};

}  // namespace velquin::engine
