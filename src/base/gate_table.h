// Every gate in one table: its Python-visible texts, the kind a circuit
// records, and the recipe the engine prepares it from (its checks, its
// constants, its arithmetic and the amplitude pairs it mixes). The register's
// and the circuit's gate methods, circuit dispatch and the engine's gate
// preparation are all read off this table.
//
// A new gate is a row here (and a value in GateKind); if it needs arithmetic
// that no Arithmetic value names yet, also a formula in
// math_core/pair_formulas.h. Nothing else changes.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>

#include "base/member_text.h"

namespace velquin {

/// Every gate, in table order: first the kinds a circuit records, in their
/// declared order (SWAP before CY), then the gates the math_core kernels run.
enum class GateKind : std::uint8_t {
  kX,
  kY,
  kZ,
  kH,
  kS,
  kSdg,
  kT,
  kTdg,
  kSx,
  kRx,
  kRy,
  kRz,
  kCx,
  kSwap,
  kCy,
  kCz,
  kHCpp,
  kXCpp,
  kCxCpp,
};
inline constexpr std::size_t kGateKindCount = 19;
inline constexpr std::size_t kRecordedKindCount = 16;

/// One gate as applied or recorded. A record keeps its payload exactly as
/// given: no index is checked against anything, an angle may be NaN or
/// infinite. `a` is q, control or q1; `b` is target or q2 for two-qubit kinds.
struct Gate {
  GateKind kind;
  std::uint64_t a = 0;
  std::uint64_t b = 0;
  double theta = 0.0;
};

/// What a gate takes after `self`: a qubit; a qubit and an angle; two qubits.
enum class GateShape : std::uint8_t { kQubit, kQubitAngle, kTwoQubits };

/// A gate's argument checks, each in its order with its texts (messages.h).
enum class GateChecks : std::uint8_t {
  kEachQubit,   // "qubit index out of range" for each index in turn
  kControlled,  // kEachQubit, then ValueError "control and target must differ"
  kCx,          // either index out of range, then equal indices: cx's IndexErrors
  kSwap,        // the same with swap's texts
};

/// The constants a gate makes once per call, at run time.
enum class GateConstants : std::uint8_t {
  kNone,
  kHadamard,   // 1 / sqrt(2)
  kPhaseS,     // (0, 1)
  kPhaseSdg,   // (0, -1)
  kPhaseT,     // (cos, sin) of the double nearest pi/4
  kPhaseTdg,   // (cos, sin) of its negation
  kHalfAngle,  // (cos, sin) of theta * 0.5 (the same double as theta / 2.0)
};

/// The arithmetic: one of the pair formulas (math_core/pair_formulas.h), or
/// one of the math_core kernels. Formulas come first, kernels last.
enum class Arithmetic : std::uint8_t {
  kHadamard,
  kPauliY,
  kSqrtX,
  kRotationX,
  kRotationY,
  kRotationZ,
  kPhase,        // a1 x (a, b)
  kNegate,       // -a1
  kExchange,     // a0 <-> a1, bits unchanged
  kControlledY,  // cy on its control = 1 pairs
  kKernelH,
  kKernelX,
  kKernelCx,
};
inline constexpr unsigned kPairFormulaCount = 10;

constexpr bool is_kernel(Arithmetic arithmetic) noexcept {
  return static_cast<unsigned>(arithmetic) >= kPairFormulaCount;
}

/// Which member of each group of four a two-qubit formula reads as a0 and a1:
/// bit 0 adds 2^a, bit 1 adds 2^b.
inline constexpr std::uint8_t kPairNone = 0, kPairA = 1, kPairB = 2, kPairBoth = 3;

struct GateInfo {
  GateKind kind;
  MemberText text;  // the register method's; a circuit's builder has no description
  GateShape shape;
  GateChecks checks;
  GateConstants constants;
  Arithmetic arithmetic;
  std::uint8_t first = kPairNone;  // two-qubit formulas: the pair's members
  std::uint8_t second = kPairNone;
  GateKind played_as = kind;  // the register gate a recorded gate runs as
};

// clang-format off
inline constexpr std::array<GateInfo, kGateKindCount> kGates = {{
    // X, H and CX records run on the math_core kernels: a recorded CX(c, c) is
    // a no-op and out-of-range CX indices report "qubit index out of range".
    {GateKind::kX, {"x", {"q"}, 1, "Pauli-X on qubit q."},
     GateShape::kQubit, GateChecks::kEachQubit, GateConstants::kNone, Arithmetic::kExchange,
     kPairNone, kPairNone, GateKind::kXCpp},
    {GateKind::kY, {"y", {"q"}, 1, "Pauli-Y on qubit q."},
     GateShape::kQubit, GateChecks::kEachQubit, GateConstants::kNone, Arithmetic::kPauliY},
    {GateKind::kZ, {"z", {"q"}, 1, "Pauli-Z on qubit q."},
     GateShape::kQubit, GateChecks::kEachQubit, GateConstants::kNone, Arithmetic::kNegate},
    {GateKind::kH, {"h", {"q"}, 1, "Hadamard on qubit q."},
     GateShape::kQubit, GateChecks::kEachQubit, GateConstants::kHadamard, Arithmetic::kHadamard,
     kPairNone, kPairNone, GateKind::kHCpp},
    {GateKind::kS, {"s", {"q"}, 1, "Phase S gate (diag(1, i)) on qubit q."},
     GateShape::kQubit, GateChecks::kEachQubit, GateConstants::kPhaseS, Arithmetic::kPhase},
    {GateKind::kSdg, {"sdg", {"q"}, 1, "S-dagger (phase -\u03c0/2) on qubit q."},
     GateShape::kQubit, GateChecks::kEachQubit, GateConstants::kPhaseSdg, Arithmetic::kPhase},
    {GateKind::kT, {"t", {"q"}, 1, "T gate (diag(1, e^{i\u03c0/4})) on qubit q."},
     GateShape::kQubit, GateChecks::kEachQubit, GateConstants::kPhaseT, Arithmetic::kPhase},
    {GateKind::kTdg, {"tdg", {"q"}, 1, "T-dagger on qubit q."},
     GateShape::kQubit, GateChecks::kEachQubit, GateConstants::kPhaseTdg, Arithmetic::kPhase},
    {GateKind::kSx, {"sx", {"q"}, 1,
                     "\u221aX (SX) on qubit q. Matrix = (1/2)[[1+i, 1-i],[1-i,1+i]]."},
     GateShape::kQubit, GateChecks::kEachQubit, GateConstants::kNone, Arithmetic::kSqrtX},
    {GateKind::kRx, {"rx", {"q", "theta"}, 2, "RX(\u03b8) on qubit q: exp(-i \u03b8 X / 2)."},
     GateShape::kQubitAngle, GateChecks::kEachQubit, GateConstants::kHalfAngle,
     Arithmetic::kRotationX},
    {GateKind::kRy, {"ry", {"q", "theta"}, 2, "RY(\u03b8) on qubit q: exp(-i \u03b8 Y / 2)."},
     GateShape::kQubitAngle, GateChecks::kEachQubit, GateConstants::kHalfAngle,
     Arithmetic::kRotationY},
    {GateKind::kRz, {"rz", {"q", "theta"}, 2,
                     "RZ(\u03b8) on qubit q: diag(e^{-i\u03b8/2}, e^{+i\u03b8/2})."},
     GateShape::kQubitAngle, GateChecks::kEachQubit, GateConstants::kHalfAngle,
     Arithmetic::kRotationZ},
    // Within control = 1, the target = 0 and target = 1 amplitudes trade places.
    {GateKind::kCx, {"cx", {"control", "target"}, 2, "Controlled-X on (control, target)."},
     GateShape::kTwoQubits, GateChecks::kCx, GateConstants::kNone, Arithmetic::kExchange,
     kPairA, kPairBoth, GateKind::kCxCpp},
    {GateKind::kSwap, {"swap", {"q1", "q2"}, 2, "SWAP(q1, q2) exchanges the two qubits."},
     GateShape::kTwoQubits, GateChecks::kSwap, GateConstants::kNone, Arithmetic::kExchange,
     kPairA, kPairB},
    {GateKind::kCy, {"cy", {"control", "target"}, 2, "Controlled-Y on (control, target)."},
     GateShape::kTwoQubits, GateChecks::kControlled, GateConstants::kNone,
     Arithmetic::kControlledY, kPairA, kPairBoth},
    // Only the amplitude with both bits set changes; `first` is never touched.
    {GateKind::kCz, {"cz", {"control", "target"}, 2, "Controlled-Z on (control, target)."},
     GateShape::kTwoQubits, GateChecks::kControlled, GateConstants::kNone, Arithmetic::kNegate,
     kPairNone, kPairBoth},
    {GateKind::kHCpp, {"h_cpp", {"q"}, 1, "Hadamard on qubit q (using C++ backend)."},
     GateShape::kQubit, GateChecks::kEachQubit, GateConstants::kNone, Arithmetic::kKernelH},
    {GateKind::kXCpp, {"x_cpp", {"q"}, 1},
     GateShape::kQubit, GateChecks::kEachQubit, GateConstants::kNone, Arithmetic::kKernelX},
    // Unlike cx, equal indices are allowed here and change nothing.
    {GateKind::kCxCpp, {"cx_cpp", {"c", "t"}, 2},
     GateShape::kTwoQubits, GateChecks::kEachQubit, GateConstants::kNone, Arithmetic::kKernelCx},
}};
// clang-format on

constexpr const GateInfo& gate_info(GateKind kind) noexcept {
  return kGates[static_cast<std::size_t>(kind)];
}

static_assert(
    [] {
      for (std::size_t i = 0; i < kGateKindCount; ++i) {
        const GateInfo& row = kGates[i];
        if (static_cast<std::size_t>(row.kind) != i) return false;
        if (row.text.param_count() != (row.shape == GateShape::kQubit ? 1u : 2u)) return false;
        if (row.text.required != row.text.param_count()) return false;
        if (i >= kRecordedKindCount && row.played_as != row.kind) return false;
      }
      return true;
    }(),
    "kGates rows follow GateKind; each row's parameters fit its shape");

}  // namespace velquin
