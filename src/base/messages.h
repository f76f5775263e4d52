// Every text velquin shows a user, in one place: exception messages, the
// pieces of the messages composed at run time, and the internal-failure
// diagnostics. (Docstrings and text signatures live with the members they
// describe, in gate_table.h and member_texts.h.)
//
// A `const char* k...` constant is a complete message a user can meet as an
// exception's text; the README quotes each (a test checks). Tests compare
// against the literal texts, not these constants, so a typo cannot hide.
#pragma once

#include <cstdint>
#include <span>
#include <string>
#include <string_view>

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

// Entropy source (internal failures): kFromEntropyFailed and the cause.
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

// Broken invariants: internal failures that no input should reach.
inline constexpr const char* kErrorWithoutException = "an error was reported without an exception";
inline constexpr const char* kStoppedWithoutException =
    "an operation stopped without a pending exception";

// What an allocation was for, in MemoryError texts.
inline constexpr char kForAmplitudeArray[] = "the amplitude array";
inline constexpr char kForStateVectorCopy[] = "the state-vector copy";
inline constexpr char kForMeasurementCounts[] = "the measurement counts";
inline constexpr char kForShotOutcomes[] = "the shot outcomes";

/// MemoryError: "cannot allocate <bytes> bytes for <what>".
std::string allocation_failed(std::uint64_t bytes, std::string_view what);

/// The same, refused up front: "... (<available> bytes available)".
std::string allocation_refused(std::uint64_t bytes, std::string_view what, std::uint64_t available);

/// The entropy source's failure: kFromEntropyFailed followed by `cause`.
std::string entropy_failed(std::string_view cause);

/// Causes of an entropy failure that have no system text.
std::string entropy_unknown_code(std::uint32_t code);
std::string entropy_os_code(int code);

// Argument matching (TypeError texts; `member` is "Class.method()").

/// "Class.method()", or "method()" for a function outside any class.
std::string member_name(std::string_view cls, std::string_view func);

/// "<member> takes <max> positional arguments but <given> were given", with
/// "from <min> to <max>" when some are optional and "was" for one.
std::string too_many_positional(std::string_view member, std::size_t min, std::size_t max,
                                std::size_t given);

/// "<member> got multiple values for argument '<name>'".
std::string multiple_values(std::string_view member, std::string_view name);

/// "<member> got an unexpected keyword argument '": the keyword and a
/// closing quote follow (the keyword is any object's str()).
std::string unexpected_keyword_prefix(std::string_view member);
inline constexpr char kQuoteEnd[] = "'";

/// "<member> missing <n> required positional argument(s): 'a', 'b' and 'c'".
std::string missing_positional(std::string_view member, std::span<const std::string_view> names);

/// "argument '<name>': ", put before a conversion's own TypeError text.
std::string argument_prefix(std::string_view name);

/// TypeError for an argument that is no register: a PyUnicode_FromFormat
/// format whose %U is the argument's type name, and the stand-in name when
/// the type has none that can be read.
inline constexpr char kNotARegisterFormat[] = "'%U' object cannot be converted to 'StateVecPy'";
inline constexpr char kUnreadableTypeName[] = "<failed to extract type name>";

// Internal failures as the module reports them.

/// The qualified name of the internal-failure exception type, and its docstring.
inline constexpr char kPanicTypeName[] = "pyo3_runtime.PanicException";
inline constexpr char kPanicDoc[] =
    "\n"
    "The exception raised when velquin's native code, called from Python, fails.\n"
    "\n"
    "Like SystemExit, this exception is derived from BaseException so that\n"
    "it will typically propagate all the way through the stack and cause the\n"
    "Python interpreter to exit.\n";

/// The diagnostic written to standard error (where, text).
inline constexpr char kPanicDiagnosticFormat[] = "velquin: internal failure in %s: %s\n";

/// Written before aborting when even reporting a failure failed.
inline constexpr char kUncaughtPanic[] = "uncaught panic at ffi boundary\n";

/// How the NumPy import error is joined to kNumpyCapsule.
inline constexpr char kCauseSeparator[] = ": ";

/// Checked builds of math_core: an element index outside a view (index, count).
inline constexpr char kViewIndexOutsideFormat[] =
    "math_core: element %llu outside a view of %llu\n";

}  // namespace velquin::messages
