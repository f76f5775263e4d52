// One recorded gate and the table of gate kinds. A kind's row says how many
// qubits it names, whether it carries an angle, and which register operation
// executes it; execution switches on nothing else.
#pragma once

#include <array>
#include <cstdint>
#include <string_view>

#include "engine/register.h"

namespace velquin::circuit {

/// The sixteen kinds, numbered in this declared order (SWAP before CY).
enum class GateKind : std::uint8_t { X, Y, Z, H, S, Sdg, T, Tdg, SX, RX, RY, RZ, CX, SWAP, CY, CZ };
inline constexpr std::size_t kGateKindCount = 16;

/// A record keeps its payload exactly as given: no index is checked against
/// anything, and an angle may be NaN or infinite. `a` is q, control or q1;
/// `b` is target or q2 for two-qubit kinds.
struct Gate {
  GateKind kind;
  std::uint64_t a = 0;
  std::uint64_t b = 0;
  double theta = 0.0;
};

enum class Shape : std::uint8_t { kSingle, kRotation, kPair };

using engine::Register;
using engine::GateOp;
using SingleOp = Result<GateOp> (Register::*)(std::uint64_t) const;
using RotationOp = Result<GateOp> (Register::*)(std::uint64_t, double) const;
using PairOp = Result<GateOp> (Register::*)(std::uint64_t, std::uint64_t) const;

struct GateKindInfo {
  GateKind kind;
  std::string_view name;
  Shape shape;
  SingleOp single = nullptr;
  RotationOp rotation = nullptr;
  PairOp pair = nullptr;
};

/// Each row names the register operation that executes the kind, by its
/// prepare step (checks and constants; see Register). X, H and CX run
/// through the math_core kernels (x_cpp, h_cpp, cx_cpp), so a
/// recorded CX(c, c) is a no-op and out-of-range CX indices report
/// "qubit index out of range"; every other kind runs the register's own gate.
inline constexpr std::array<GateKindInfo, kGateKindCount> kGateKinds = {{
    {GateKind::X, "X", Shape::kSingle, &Register::prepare_x_cpp},
    {GateKind::Y, "Y", Shape::kSingle, &Register::prepare_y},
    {GateKind::Z, "Z", Shape::kSingle, &Register::prepare_z},
    {GateKind::H, "H", Shape::kSingle, &Register::prepare_h_cpp},
    {GateKind::S, "S", Shape::kSingle, &Register::prepare_s},
    {GateKind::Sdg, "Sdg", Shape::kSingle, &Register::prepare_sdg},
    {GateKind::T, "T", Shape::kSingle, &Register::prepare_t},
    {GateKind::Tdg, "Tdg", Shape::kSingle, &Register::prepare_tdg},
    {GateKind::SX, "SX", Shape::kSingle, &Register::prepare_sx},
    {GateKind::RX, "RX", Shape::kRotation, nullptr, &Register::prepare_rx},
    {GateKind::RY, "RY", Shape::kRotation, nullptr, &Register::prepare_ry},
    {GateKind::RZ, "RZ", Shape::kRotation, nullptr, &Register::prepare_rz},
    {GateKind::CX, "CX", Shape::kPair, nullptr, nullptr, &Register::prepare_cx_cpp},
    {GateKind::SWAP, "SWAP", Shape::kPair, nullptr, nullptr, &Register::prepare_swap},
    {GateKind::CY, "CY", Shape::kPair, nullptr, nullptr, &Register::prepare_cy},
    {GateKind::CZ, "CZ", Shape::kPair, nullptr, nullptr, &Register::prepare_cz},
}};

constexpr const GateKindInfo& info(GateKind kind) noexcept {
  return kGateKinds[static_cast<std::size_t>(kind)];
}

static_assert([] {
  for (std::size_t i = 0; i < kGateKindCount; ++i) {
    if (static_cast<std::size_t>(kGateKinds[i].kind) != i) return false;
  }
  return true;
}(), "kGateKinds rows must follow the declared kind order");

}  // namespace velquin::circuit
