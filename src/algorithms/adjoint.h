// Gradients by the adjoint method (Jones and Gacon, arXiv:2009.02823): one
// forward pass, then one backward sweep over the operations that undoes each
// (applies its inverse to the state and to each observable's image) and, at
// each operation whose matrix depends on a parameter, applies the matrix's
// derivative to a copy of the state and takes the inner product.
//
// For an operation U_k with controls, d(C-U)/dx is dU/dx on the controls'
// subspace and 0 elsewhere, so its inner product runs over that subspace.
// Every derivative comes from the gate library's makers run on dual numbers,
// so every parameterised operation is differentiable, each of its angles
// through the chain rule of its expressions.
//
// Memory: the state, one scratch state and one image per observable (m + 2
// states), checked against the memory the machine can still give before any
// is made. Every sum runs in the fixed tree of engine/reductions.h and every
// accumulation in operation order, so a gradient has the same bits at any
// thread count.
#pragma once

#include <span>
#include <vector>

#include "base/result.h"
#include "engine/exec_policy.h"
#include "engine/interrupt.h"
#include "program/observable.h"
#include "program/program.h"

namespace velquin::algorithms {

struct Gradient {
  std::vector<double> values;    // <O> for each observable
  std::vector<double> jacobian;  // d<O_o>/dx_j at o * n_params + j
};

/// The expectation values of `observables` (Hermitian: real coefficients,
/// Hermitian matrices) after `program` with `params`, and their derivatives
/// in every parameter. MemoryError naming the bytes when the m + 2 states do
/// not fit; ValueError naming an operation that cannot be differentiated.
Result<Gradient> adjoint_gradient(const program::Program& program, std::span<const double> params,
                                  std::span<const program::Observable> observables,
                                  const engine::ExecPolicy& policy,
                                  engine::InterruptCheck interrupt = engine::kNeverInterrupt);

}  // namespace velquin::algorithms
