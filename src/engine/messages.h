// Every user-visible message text in one place. Tests compare against the
// literal texts, not these constants, so a typo here cannot hide.
#pragma once

#include <cstdint>
#include <string>

namespace velquin::messages {

// Register construction and accessors.
inline constexpr const char* kQubitCountRange = "n_qubits must be between 1 and 30";
inline constexpr const char* kQubitIndexRange = "qubit index out of range";
inline constexpr const char* kAmplitudeIndexRange = "amplitude index out of range";

// Two-qubit gates: each gate has its own wording, kept as is.
inline constexpr const char* kControlTargetRange = "control or target qubit index out of range";
inline constexpr const char* kControlTargetSame = "control and target must be different qubits";
inline constexpr const char* kControlTargetDiffer = "control and target must differ";
inline constexpr const char* kSwapIndexRange = "swap qubit index out of range";
inline constexpr const char* kSwapIndicesSame = "swap indices must differ";

// Weighted sampler errors (shown as ValueError).
inline constexpr const char* kNoWeights = "No weights provided in distribution";
inline constexpr const char* kInvalidWeight = "A weight is invalid in distribution";
inline constexpr const char* kAllWeightsZero = "All weights are zero in distribution";

// Uniform distribution stops (internal failures).
inline constexpr const char* kUniformLowNonFinite = "Uniform::new called with `low` non-finite.";
inline constexpr const char* kUniformHighNonFinite = "Uniform::new called with `high` non-finite.";
inline constexpr const char* kUniformLowNotBelowHigh = "Uniform::new called with `low >= high`";
inline constexpr const char* kUniformRangeOverflow = "Uniform::new: range overflow";

// Entropy source.
inline constexpr const char* kFromEntropyFailed = "from_entropy failed: ";
inline constexpr const char* kEntropyUnexpected = "unexpected situation";
inline constexpr const char* kEntropyErrnoNotPositive = "errno: did not return a positive value";

// Borrowing of Python objects.
inline constexpr const char* kAlreadyBorrowed = "Already borrowed";
inline constexpr const char* kAlreadyMutablyBorrowed = "Already mutably borrowed";

// Module surface.
inline constexpr const char* kSubinterpreters =
    "velquin does not yet support sub-interpreters, see "
    "https://docs.python.org/3/c-api/module.html#single-phase-initialization";
inline constexpr const char* kNumpyCapsule = "Failed to access NumPy array API capsule";
inline constexpr const char* kPanicWithoutText = "native code failed without a message";

/// MemoryError text for an allocation of `bytes` bytes that cannot be had.
inline std::string allocation_failed(std::uint64_t bytes, const char* what) {
  return "cannot allocate " + std::to_string(bytes) + " bytes for " + what;
}

}  // namespace velquin::messages
