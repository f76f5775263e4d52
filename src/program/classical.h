// Classical conditions of dynamic programs: an expression over the measured
// bits, in postfix form, evaluated on unsigned 64-bit values. A condition
// holds when its value is not 0.
#pragma once

#include <cstdint>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "base/result.h"

namespace velquin::program {

enum class Token : std::uint8_t {
  kBit,       // push classical bit `arg`
  kRegister,  // push the bits `bits` as an integer, bits[0] the lowest
  kConstant,  // push `arg`
  kNot,       // logical not
  kBitNot,    // ~x within `arg` bits
  kAnd,       // logical and / or of the two values below the top
  kOr,
  kBitAnd,
  kBitOr,
  kBitXor,
  kEqual,
  kNotEqual,
  kLess,
  kLessEqual,
  kGreater,
  kGreaterEqual,
  kShiftLeft,  // within `arg` bits
  kShiftRight,
  kAdd,  // within `arg` bits
  kSubtract,
};

struct ExpressionToken {
  Token token;
  std::uint64_t arg = 0;
  std::vector<std::uint32_t> bits;  // kRegister
};

class Condition {
 public:
  /// The token names as callers write them: "bit", "register", "const",
  /// "not", "bit_not", "and", "or", "bit_and", "bit_or", "bit_xor", "eq",
  /// "ne", "lt", "le", "gt", "ge", "shl", "shr", "add", "sub".
  static bool token_of(std::string_view name, Token& token) noexcept;

  /// Checks that `tokens` leave exactly one value and name bits below
  /// `n_clbits`; the error text (without its operation) otherwise.
  static Result<Condition> make(std::vector<ExpressionToken> tokens, std::uint64_t n_clbits);

  /// The value of the expression on `bits` (one byte, 0 or 1, per classical bit).
  std::uint64_t value(std::span<const std::uint8_t> bits) const noexcept;
  bool holds(std::span<const std::uint8_t> bits) const noexcept { return value(bits) != 0; }

 private:
  std::vector<ExpressionToken> tokens_;
};

}  // namespace velquin::program
