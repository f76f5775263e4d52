#include "program/classical.h"

#include <array>
#include <utility>

namespace velquin::program {
namespace {

constexpr std::pair<std::string_view, Token> kNames[] = {
    {"bit", Token::kBit},         {"register", Token::kRegister}, {"const", Token::kConstant},
    {"not", Token::kNot},         {"bit_not", Token::kBitNot},    {"and", Token::kAnd},
    {"or", Token::kOr},           {"bit_and", Token::kBitAnd},    {"bit_or", Token::kBitOr},
    {"bit_xor", Token::kBitXor},  {"eq", Token::kEqual},          {"ne", Token::kNotEqual},
    {"lt", Token::kLess},         {"le", Token::kLessEqual},      {"gt", Token::kGreater},
    {"ge", Token::kGreaterEqual}, {"shl", Token::kShiftLeft},     {"shr", Token::kShiftRight},
    {"add", Token::kAdd},         {"sub", Token::kSubtract},
};

int arity(Token t) {
  switch (t) {
    case Token::kBit:
    case Token::kRegister:
    case Token::kConstant:
      return 0;
    case Token::kNot:
    case Token::kBitNot:
      return 1;
    default:
      return 2;
  }
}

std::uint64_t mask(std::uint64_t width) {
  return width >= 64 ? ~std::uint64_t{0} : (std::uint64_t{1} << width) - 1;
}

}  // namespace

bool Condition::token_of(std::string_view name, Token& token) noexcept {
  for (const auto& [text, value] : kNames) {
    if (text == name) {
      token = value;
      return true;
    }
  }
  return false;
}

Result<Condition> Condition::make(std::vector<ExpressionToken> tokens, std::uint64_t n_clbits) {
  int depth = 0;
  for (const ExpressionToken& t : tokens) {
    if (t.token == Token::kBit && t.arg >= n_clbits) {
      return Error{ErrorKind::kValueError, "its condition reads classical bit " +
                                               std::to_string(t.arg) + " of a program with " +
                                               std::to_string(n_clbits)};
    }
    if (t.token == Token::kRegister) {
      if (t.bits.empty() || t.bits.size() > 64) {
        return Error{ErrorKind::kValueError, "its condition reads a register of 1 to 64 bits"};
      }
      for (std::uint32_t b : t.bits) {
        if (b >= n_clbits) {
          return Error{ErrorKind::kValueError, "its condition reads classical bit " +
                                                   std::to_string(b) + " of a program with " +
                                                   std::to_string(n_clbits)};
        }
      }
    }
    depth -= arity(t.token);
    if (depth < 0) break;
    ++depth;
  }
  if (depth != 1) {
    return Error{ErrorKind::kValueError, "its condition must leave exactly one value"};
  }
  Condition c;
  c.tokens_ = std::move(tokens);
  return c;
}

std::uint64_t Condition::value(std::span<const std::uint8_t> bits) const noexcept {
  std::array<std::uint64_t, 64> small{};
  std::vector<std::uint64_t> large;
  std::uint64_t* stack = small.data();
  if (tokens_.size() > small.size()) {
    large.resize(tokens_.size());
    stack = large.data();
  }
  std::size_t top = 0;
  for (const ExpressionToken& t : tokens_) {
    if (arity(t.token) == 0) {
      std::uint64_t v = t.arg;
      if (t.token == Token::kBit) v = bits[t.arg] != 0;
      if (t.token == Token::kRegister) {
        v = 0;
        for (std::size_t k = 0; k < t.bits.size(); ++k)
          v |= std::uint64_t{bits[t.bits[k]] != 0} << k;
      }
      stack[top++] = v;
      continue;
    }
    if (arity(t.token) == 1) {
      std::uint64_t& x = stack[top - 1];
      x = t.token == Token::kNot ? std::uint64_t{x == 0} : (~x & mask(t.arg));
      continue;
    }
    const std::uint64_t b = stack[--top];
    std::uint64_t& a = stack[top - 1];
    switch (t.token) {
      case Token::kAnd:
        a = (a != 0) && (b != 0);
        break;
      case Token::kOr:
        a = (a != 0) || (b != 0);
        break;
      case Token::kBitAnd:
        a &= b;
        break;
      case Token::kBitOr:
        a |= b;
        break;
      case Token::kBitXor:
        a ^= b;
        break;
      case Token::kEqual:
        a = a == b;
        break;
      case Token::kNotEqual:
        a = a != b;
        break;
      case Token::kLess:
        a = a < b;
        break;
      case Token::kLessEqual:
        a = a <= b;
        break;
      case Token::kGreater:
        a = a > b;
        break;
      case Token::kGreaterEqual:
        a = a >= b;
        break;
      case Token::kShiftLeft:
        a = b >= 64 ? 0 : (a << b) & mask(t.arg);
        break;
      case Token::kShiftRight:
        a = b >= 64 ? 0 : a >> b;
        break;
      case Token::kAdd:
        a = (a + b) & mask(t.arg);
        break;
      case Token::kSubtract:
        a = (a - b) & mask(t.arg);
        break;
      default:
        break;
    }
  }
  return stack[0];
}

}  // namespace velquin::program
