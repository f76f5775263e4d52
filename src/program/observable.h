// An observable a program's results are measured against: a sum of Pauli
// words with coefficients, or a matrix on a few qubits.
#pragma once

#include <span>
#include <vector>

#include "base/complex64.h"
#include "engine/exec_policy.h"
#include "engine/reductions.h"

namespace velquin::program {

struct Observable {
  std::vector<engine::PauliWord> words;  // a Pauli sum: one word per coefficient
  std::vector<Complex64> coefficients;
  std::vector<unsigned> qubits;   // or, when not empty, a matrix on these qubits
  std::vector<Complex64> matrix;  // 4^k entries, row-major; member bit i is qubits[i]

  bool is_matrix() const noexcept { return !qubits.empty(); }
};

/// <state| O |state>: a Pauli sum as the sum over its words, in order, of
/// coefficient x <P> (engine::pauli_values); a matrix as engine::matrix_value.
Complex64 expectation(std::span<const Complex64> state, const Observable& observable,
                      const engine::ExecPolicy& policy);

/// out = O state. A Pauli sum is formed word by word in order (out = c0 P0
/// state, then out = out + c P state), with `scratch` (a state's size) for
/// each word's image.
void apply_observable(const Observable& observable, std::span<const Complex64> state,
                      std::span<Complex64> out, std::span<Complex64> scratch,
                      const engine::ExecPolicy& policy);

}  // namespace velquin::program
