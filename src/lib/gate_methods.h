// The gate methods of both classes, read off the gate table
// (base/gate_table.h): for every gate, a method of StateVecPy that applies it,
// and for every recorded kind, a method of QuantumCircuit that records it.
#pragma once

#include <cstddef>

#include "lib/method_table.h"

namespace velquin::lib {

/// StateVecPy's methods for the gates [first, last) of the table, in order.
void add_register_gates(MethodTable& table, std::size_t first, std::size_t last);

/// QuantumCircuit's builder methods for every recorded kind, in order; their
/// docstrings carry no description.
void add_circuit_builders(MethodTable& table);

}  // namespace velquin::lib
