"""Type stubs for velquin, an exact, reproducible state-vector simulator.

Qubit 0 is the least significant bit of a basis index and the rightmost
character of an outcome bitstring. Rotations are exp(-i theta P / 2), angles
in radians. Amplitudes are never renormalised.
"""

from typing import SupportsFloat, SupportsIndex, final

import numpy as np
import numpy.typing as npt

__all__ = ["StateVecPy", "QuantumCircuit"]

# Anything with __index__ (int, bool, NumPy integers); negative or >= 2**64 raises OverflowError.
_Index = SupportsIndex
# A float, an int, or anything with __float__ or __index__ (NumPy scalars); radians.
_Angle = SupportsFloat | SupportsIndex

@final
class StateVecPy:
    """A register of 1 to 30 qubits held as 2**n_qubits complex amplitudes, starting in |0...0>.

    seed=None seeds the measurement generator from the operating system; an
    integer seed makes every later measure_counts() call reproducible.
    Raises ValueError "n_qubits must be between 1 and 30" and MemoryError
    "cannot allocate N bytes for the amplitude array ..." when the array cannot be had.
    """

    def __new__(cls, n_qubits: _Index, seed: _Index | None = None) -> StateVecPy: ...
    @property
    def n_qubits(self) -> int:
        """The number of qubits (read-only)."""

    def h_cpp(self, q: _Index) -> None:
        """Hadamard on qubit q (using C++ backend)."""

    def x_cpp(self, q: _Index) -> None:
        """Pauli-X on qubit q through the native kernel; IndexError "qubit index out of range"."""

    def cx_cpp(self, c: _Index, t: _Index) -> None:
        """Controlled-X through the native kernel; c == t does nothing and raises nothing."""

    def amplitude(self, i: _Index) -> tuple[float, float]:
        """Return amplitude of basis index `i` as (re, im)."""

    def amplitudes(self) -> npt.NDArray[np.complex128]:
        """Return full state vector as a NumPy array of complex128."""

    def statevector(self) -> npt.NDArray[np.complex128]:
        """Alias for amplitudes(), matching earlier API."""

    def length(self) -> int:
        """The number of amplitudes, 2**n_qubits."""

    def x(self, q: _Index) -> None:
        """Pauli-X on qubit q."""

    def y(self, q: _Index) -> None:
        """Pauli-Y on qubit q."""

    def z(self, q: _Index) -> None:
        """Pauli-Z on qubit q."""

    def h(self, q: _Index) -> None:
        """Hadamard on qubit q."""

    def s(self, q: _Index) -> None:
        """Phase S gate (diag(1, i)) on qubit q."""

    def sdg(self, q: _Index) -> None:
        """S-dagger (phase -π/2) on qubit q."""

    def t(self, q: _Index) -> None:
        """T gate (diag(1, e^{iπ/4})) on qubit q."""

    def tdg(self, q: _Index) -> None:
        """T-dagger on qubit q."""

    def sx(self, q: _Index) -> None:
        """√X (SX) on qubit q. Matrix = (1/2)[[1+i, 1-i],[1-i,1+i]]."""

    def rx(self, q: _Index, theta: _Angle) -> None:
        """RX(θ) on qubit q: exp(-i θ X / 2)."""

    def ry(self, q: _Index, theta: _Angle) -> None:
        """RY(θ) on qubit q: exp(-i θ Y / 2)."""

    def rz(self, q: _Index, theta: _Angle) -> None:
        """RZ(θ) on qubit q: diag(e^{-iθ/2}, e^{+iθ/2})."""

    def cx(self, control: _Index, target: _Index) -> None:
        """Controlled-X on (control, target)."""

    def swap(self, q1: _Index, q2: _Index) -> None:
        """SWAP(q1, q2) exchanges the two qubits."""

    def cy(self, control: _Index, target: _Index) -> None:
        """Controlled-Y on (control, target)."""

    def cz(self, control: _Index, target: _Index) -> None:
        """Controlled-Z on (control, target)."""

    def measure_counts(self, shots: _Index, seed: _Index | None = None) -> dict[str, int]:
        """Sample counts dict of bitstrings -> counts."""

@final
class QuantumCircuit:
    """A list of recorded gates, played onto a register only when executed.

    Recording checks nothing: bad indices and qubit counts surface when the
    circuit runs, with the errors of the register operations.
    """

    def __new__(cls, n_qubits: _Index) -> QuantumCircuit: ...
    def x(self, q: _Index) -> None: ...
    def y(self, q: _Index) -> None: ...
    def z(self, q: _Index) -> None: ...
    def h(self, q: _Index) -> None: ...
    def s(self, q: _Index) -> None: ...
    def sdg(self, q: _Index) -> None: ...
    def t(self, q: _Index) -> None: ...
    def tdg(self, q: _Index) -> None: ...
    def sx(self, q: _Index) -> None: ...
    def rx(self, q: _Index, theta: _Angle) -> None: ...
    def ry(self, q: _Index, theta: _Angle) -> None: ...
    def rz(self, q: _Index, theta: _Angle) -> None: ...
    def cx(self, control: _Index, target: _Index) -> None: ...
    def swap(self, q1: _Index, q2: _Index) -> None: ...
    def cy(self, control: _Index, target: _Index) -> None: ...
    def cz(self, control: _Index, target: _Index) -> None: ...
    def run(self, shots: _Index, seed: _Index | None = None) -> dict[str, int]:
        """Counts of `shots` measurements of a fresh register after every recorded gate."""

    def statevector(self) -> npt.NDArray[np.complex128]:
        """Amplitudes of a fresh register after every recorded gate."""

    def apply_gates(self, sv: StateVecPy) -> None:
        """Play every recorded gate onto `sv` in order; stops at the first failing gate."""
