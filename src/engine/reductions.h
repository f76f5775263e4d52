// Sums over a register's amplitudes (norms, probabilities, Pauli expectation
// values), each in one fixed summation tree that no thread count, vector
// width or block size changes:
//
//   A sequence of N = 2^m values is cut into leaves of 32 (or one leaf of all
//   N when N < 32). A leaf sums its values in four lanes, lane l taking the
//   values l, l + 4, l + 8, ... in order (starting from its first value), and
//   joins them as (l0 + l1) + (l2 + l3) (or l0 + l1, or l0, when the leaf has
//   fewer lanes). Leaves are then joined pairwise, level by level: a perfect
//   binary tree over the leaves, left to right.
//
// Threads compute whole subtrees; the tree's shape is fixed before any runs.
#pragma once

#include <cstdint>
#include <span>
#include <vector>

#include "base/complex64.h"
#include "engine/exec_policy.h"
#include "engine/function_ref.h"

namespace velquin::engine {

/// value(first, count, out) writes the values first .. first + count - 1 of
/// a sequence into out; the sum of the whole sequence of `size` values (a
/// power of two) in the fixed tree, on up to `threads` threads.
double fixed_sum(std::uint64_t size,
                 FunctionRef<void(std::uint64_t, std::uint64_t, double*)> values, unsigned threads);

/// The sum of the weights re*re + im*im of every amplitude.
double norm_squared(std::span<const Complex64> state, const ExecPolicy& policy);

/// For each of the 2^m outcomes b of the qubits `qubits` (bit i of b is qubit
/// qubits[i]), the sum of the weights of the amplitudes with those values, in
/// ascending index order as the sequence.
std::vector<double> probabilities(std::span<const Complex64> state,
                                  std::span<const unsigned> qubits, const ExecPolicy& policy);

/// A Pauli word on a register: flip = qubits with X or Y, sign = with Y or Z.
struct PauliWord {
  std::uint64_t flip = 0;
  std::uint64_t sign = 0;
  unsigned y_count = 0;
};

/// <state| P |state> for each word, as the sum over indices i of
/// Re(i^y (-1)^parity(i & sign) conj(state[i ^ flip]) state[i]); the term of
/// index i is r0 = a.re b.re + a.im b.im or r1 = a.re b.im - a.im b.re (a =
/// state[i ^ flip], b = state[i]) as i^y selects (r0, -r1, -r0, r1), negated
/// for an odd parity.
std::vector<double> pauli_values(std::span<const Complex64> state, std::span<const PauliWord> words,
                                 const ExecPolicy& policy);

/// Re <state| M |state> for the matrix M (4^k entries, row-major, member bit
/// i = qubits[i]): per group of 2^k amplitudes (in ascending order of their
/// first index) the value sum over rows r of Re(conj(a_r) x (sum over c of
/// M[r][c] x a_c)), rows and columns from 0 up; the groups' values then in the
/// fixed tree.
double matrix_value(std::span<const Complex64> state, std::span<const unsigned> qubits,
                    std::span<const Complex64> matrix, const ExecPolicy& policy);

/// Re <a|b> over the amplitudes whose bits under `mask` equal `value` (all of
/// them for mask 0), in ascending index order: terms a.re b.re + a.im b.im.
double inner_product(std::span<const Complex64> a, std::span<const Complex64> b, std::uint64_t mask,
                     std::uint64_t value, const ExecPolicy& policy);

}  // namespace velquin::engine
