// An angle as a program holds it: a constant plus a sum of coefficient x
// parameter, evaluated in one fixed order (the terms from first to last, then
// the constant), so an angle has the same bits wherever it is evaluated.
#pragma once

#include <cstdint>
#include <span>
#include <utility>
#include <vector>

namespace velquin::program {

struct Expression {
  double constant = 0.0;
  std::vector<std::pair<std::uint32_t, double>> terms;  // (parameter, coefficient)

  /// A constant angle.
  static Expression of(double value) { return Expression{value, {}}; }

  bool is_constant() const noexcept { return terms.empty(); }

  /// c1 x[p1], then + c2 x[p2], ..., then + constant when it is not zero (a
  /// structural choice: the expression either has a constant term or not).
  /// A single term with coefficient 1 is the parameter itself, bit for bit.
  double evaluate(std::span<const double> x) const noexcept {
    if (terms.empty()) return constant;
    double value = terms[0].second * x[terms[0].first];
    for (std::size_t i = 1; i < terms.size(); ++i)
      value = value + terms[i].second * x[terms[i].first];
    if (constant != 0.0) value = value + constant;
    return value;
  }

  /// The same on numbers of type T (dual.h), parameter `seed` carrying
  /// derivative 1 and every other parameter 0.
  template <class T>
  T evaluate_seeded(std::span<const double> x, std::uint32_t seed) const noexcept {
    auto at = [&](std::uint32_t p) { return T(x[p], p == seed ? 1.0 : 0.0); };
    if (terms.empty()) return T(constant);
    T value = T(terms[0].second) * at(terms[0].first);
    for (std::size_t i = 1; i < terms.size(); ++i)
      value = value + T(terms[i].second) * at(terms[i].first);
    if (constant != 0.0) value = value + T(constant);
    return value;
  }
};

}  // namespace velquin::program
