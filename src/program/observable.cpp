#include "program/observable.h"

#include <algorithm>
#include <array>
#include <cstring>

#include "engine/op.h"
#include "engine/thread_pool.h"

namespace velquin::program {
namespace {

using math_core::OpKind;

// The Pauli word as a general operation on a register's qubits.
engine::GeneralOp pauli_op(const engine::PauliWord& word) {
  engine::GeneralOp op;
  op.kind = OpKind::kPauli;
  for (unsigned q = 0; q < 64; ++q) {
    const std::uint64_t bit = std::uint64_t{1} << q;
    if (((word.flip | word.sign) & bit) == 0) continue;
    if (word.flip & bit) op.pauli_flip |= 1u << op.target_count;
    if (word.sign & bit) op.pauli_sign |= 1u << op.target_count;
    op.qubits[op.target_count++] = q;
  }
  return op;
}

void copy_state(std::span<const Complex64> from, std::span<Complex64> to, unsigned threads) {
  engine::parallel_for(threads, from.size(), 1024, 1 << 16, [&](std::uint64_t b, std::uint64_t e) {
    std::memcpy(to.data() + b, from.data() + b, (e - b) * sizeof(Complex64));
  });
}

}  // namespace

Complex64 expectation(std::span<const Complex64> state, const Observable& observable,
                      const engine::ExecPolicy& policy) {
  if (observable.is_matrix()) {
    return {engine::matrix_value(state, observable.qubits, observable.matrix, policy), 0.0};
  }
  const std::vector<double> v = engine::pauli_values(state, observable.words, policy);
  Complex64 total{0.0, 0.0};
  for (std::size_t t = 0; t < v.size(); ++t) {
    const Complex64 c = observable.coefficients[t];
    total = t == 0 ? Complex64{c.re * v[t], c.im * v[t]}
                   : Complex64{total.re + c.re * v[t], total.im + c.im * v[t]};
  }
  return total;
}

void apply_observable(const Observable& observable, std::span<const Complex64> state,
                      std::span<Complex64> out, std::span<Complex64> scratch,
                      const engine::ExecPolicy& policy) {
  const unsigned threads = policy.threads_for(state.size());
  if (observable.is_matrix()) {
    engine::GeneralOp op;
    op.kind = OpKind::kDense;
    op.target_count = static_cast<unsigned>(observable.qubits.size());
    std::copy(observable.qubits.begin(), observable.qubits.end(), op.qubits.begin());
    op.coefficients = observable.matrix.data();
    copy_state(state, out, threads);
    engine::Op(op).run(out, policy);
    return;
  }
  if (observable.words.empty()) {
    std::fill(out.begin(), out.end(), Complex64{0.0, 0.0});
    return;
  }
  for (std::size_t t = 0; t < observable.words.size(); ++t) {
    copy_state(state, scratch, threads);
    engine::Op(pauli_op(observable.words[t])).run(scratch, policy);
    const Complex64 c = observable.coefficients[t];
    engine::parallel_for(
        threads, state.size(), 1024, 1 << 16, [&](std::uint64_t b, std::uint64_t e) {
          for (std::uint64_t j = b; j < e; ++j) {
            const Complex64 x = scratch[j];
            const Complex64 term{(c.re * x.re) - (c.im * x.im), (c.re * x.im) + (c.im * x.re)};
            out[j] = t == 0 ? term : Complex64{out[j].re + term.re, out[j].im + term.im};
          }
        });
  }
}

}  // namespace velquin::program
