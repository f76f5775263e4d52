// Every operation a program can name: its name, how many targets and
// parameters it takes, the structure it runs as (math_core/op_shape.h) when it
// is not one of the register's own gates, and the function that makes its
// coefficients from its parameters with the platform's cos and sin (the only
// place a parameterised gate's matrix is made). Which structure and formula an
// operation gets follows from its row, never from the values of its matrix.
#pragma once

#include <cstdint>
#include <optional>
#include <span>
#include <string_view>

#include "base/complex64.h"
#include "base/gate_table.h"
#include "math_core/op_shape.h"
#include "program/dual.h"

namespace velquin::program {

using math_core::OpKind;

/// Targets of an operation that takes any number of them.
inline constexpr unsigned kAnyTargets = 0xff;

/// What a caller hands over besides angles.
enum class Payload : std::uint8_t {
  kNone,
  kMatrix,       // 4^k complex entries, row-major, member bit i is target i
  kDiagonal,     // 2^k complex entries
  kPermutation,  // 2^k member indices: out[m] = in[permutation[m]]
  kWord,         // one letter X, Y or Z per target
};

/// Makes the coefficients of the operation's structure from its parameters
/// (already evaluated) for `targets` targets; `word` for word operations.
using Maker = void (*)(std::span<const double> params, unsigned targets,
                       std::span<const std::uint8_t> word, Complex64* out);
/// The same on Dual angles (dual.h): the coefficients with their derivatives.
using DualMaker = void (*)(std::span<const Dual> params, unsigned targets,
                           std::span<const std::uint8_t> word, Cx<Dual>* out);

struct OperationInfo {
  std::string_view name;
  unsigned targets;           // kAnyTargets, or exactly this many (0: a phase only)
  unsigned leading_controls;  // cx, cy, cz: their first qubit is a control
  unsigned params;            // kAnyTargets: 2^targets (one phase per member)
  OpKind kind;                // the structure as a general operation
  Payload payload;
  Maker make;                                  // null for payload operations and permutations
  DualMaker derive;                            // the same maker on Dual angles
  const std::uint32_t* permutation = nullptr;  // a fixed permutation's members
  std::optional<GateKind> gate;                // run as this gate of the register when uncontrolled
  bool word_kind = false;  // the structure follows from the word (Pauli rotation)
};

/// The row named `name`, or null.
const OperationInfo* find_operation(std::string_view name) noexcept;

/// Every row, in table order.
std::span<const OperationInfo> operations() noexcept;

/// Coefficients the structure `kind` holds for `targets` targets.
std::uint64_t coefficient_count(OpKind kind, unsigned targets) noexcept;

/// The number of parameters `info` takes with `targets` targets.
unsigned parameter_count(const OperationInfo& info, unsigned targets) noexcept;

/// The structure a word operation runs as: a Pauli rotation when a letter
/// flips (X or Y), a parity phase over its targets otherwise.
OpKind word_structure(const OperationInfo& info, std::span<const std::uint8_t> word) noexcept;

}  // namespace velquin::program
