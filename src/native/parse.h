// Python values into the companion module's C++ inputs: operations,
// expressions, parameter sets, observables, qubit lists. Each failure is a
// TypeError or ValueError naming what was wrong and where.
#pragma once

#include <Python.h>

#include <cstdint>
#include <optional>
#include <vector>

#include "engine/reductions.h"
#include "native/run_context.h"
#include "program/observable.h"
#include "program/program.h"
#include "pyglue/call_error.h"

namespace velquin::native {

using pyglue::PyResult;

/// An expression: a number (a constant angle) or (constant, ((parameter,
/// coefficient), ...)).
PyResult<program::Expression> parse_expression(PyObject* object, std::uint64_t index);

/// The operations of a program: a sequence of tuples (name, qubits[,
/// controls[, control_values[, params[, payload[, phase]]]]]).
PyResult<std::vector<program::OperationRequest>> parse_operations(PyObject* sequence);

/// Parameter sets: None (one empty set), a 1-D float64 array (one set) or a
/// 2-D one (a set per row), each set of `n_params` values.
struct ParameterSets {
  std::vector<double> values;
  std::uint64_t sets = 1;
  bool batched = false;  // given as 2-D: results get a leading axis
  std::span<const double> row(std::uint64_t i, unsigned n_params) const {
    return std::span<const double>(values).subspan(i * n_params, n_params);
  }
};
PyResult<ParameterSets> parse_parameters(PyObject* object, unsigned n_params);

/// Qubit indices below n_qubits, each at most once; None: every qubit.
PyResult<std::vector<unsigned>> parse_qubits(PyObject* object, unsigned n_qubits);

/// Observables: each (flip, sign, coefficients), uint64 masks and complex128
/// coefficients of equal length (a Pauli sum), or (qubits, matrix), a
/// complex128 2^k x 2^k matrix on k of the program's qubits.
PyResult<std::vector<program::Observable>> parse_observables(PyObject* sequence, unsigned n_qubits);

/// threads (None or a positive int) and cancel (None or a Cancel) into
/// the options of one call.
PyResult<RunOptions> parse_options(PyObject* threads, PyObject* cancel);

/// A non-negative integer below 2^64.
PyResult<std::uint64_t> parse_u64(PyObject* object, const char* what);

}  // namespace velquin::native
