"""velquin's companion engine for the framework adapters (private: may change with any release)."""

from collections.abc import Sequence
from typing import TypeAlias, final

import numpy as np
import numpy.typing as npt

_Expression: TypeAlias = float | tuple[float, Sequence[tuple[int, float]]]
"""A constant angle, or (constant, ((parameter, coefficient), ...)): the terms in order, then
the constant."""

_Operation: TypeAlias = tuple[object, ...]
"""(name, qubits[, controls[, control_values[, params[, payload[, phase[, dynamic]]]]]]); dynamic:
a dict with any of "clbits", "probabilities", "branches", "kraus", "condition", "target"."""

_Observable: TypeAlias = (tuple[npt.NDArray[np.uint64], npt.NDArray[np.uint64],
                               npt.NDArray[np.complex128]]
                         | tuple[Sequence[int], npt.NDArray[np.complex128]])
"""(flip, sign, coefficients): one Pauli word per entry, X or Y in flip, Y or Z in sign; or
(qubits, matrix): a 2^k x 2^k matrix on k qubits, member bit i on qubits[i]."""

def operations() -> dict[str, tuple[int | None, int, int | None, str]]: ...

@final
class Cancel:
    def __new__(cls) -> Cancel: ...
    def cancel(self) -> None: ...
    @property
    def cancelled(self) -> bool: ...

@final
class Program:
    def __new__(cls, n_qubits: int, operations: Sequence[_Operation], n_params: int = 0,
                global_phase: _Expression | None = None, *, n_clbits: int = 0) -> Program: ...
    @property
    def n_clbits(self) -> int: ...
    @property
    def dynamic(self) -> bool: ...
    @property
    def n_qubits(self) -> int: ...
    @property
    def n_params(self) -> int: ...
    def __len__(self) -> int: ...
    def state(self, params: npt.NDArray[np.float64] | None = None, *, threads: int | None = None,
              cancel: Cancel | None = None) -> npt.NDArray[np.complex128]: ...
    def probabilities(self, params: npt.NDArray[np.float64] | None = None,
                      qubits: Sequence[int] | None = None, *, threads: int | None = None,
                      cancel: Cancel | None = None) -> npt.NDArray[np.float64]: ...
    def sample(self, params: npt.NDArray[np.float64] | None, shots: int, seed: int | Sequence[int],
               *, threads: int | None = None,
               cancel: Cancel | None = None) -> npt.NDArray[np.uint64]: ...
    def expectations(self, params: npt.NDArray[np.float64] | None,
                     observables: Sequence[_Observable], *, threads: int | None = None,
                     cancel: Cancel | None = None) -> npt.NDArray[np.complex128]: ...
    def gradient(self, params: npt.NDArray[np.float64] | None,
                 observables: Sequence[_Observable], *, threads: int | None = None,
                 cancel: Cancel | None = None
                 ) -> tuple[npt.NDArray[np.float64], npt.NDArray[np.float64]]: ...
    def run_shots(self, params: npt.NDArray[np.float64] | None, shots: int,
                  seed: int | Sequence[int], *, threads: int | None = None,
                  cancel: Cancel | None = None) -> npt.NDArray[np.uint8]: ...
    def trajectory_means(self, params: npt.NDArray[np.float64] | None, shots: int,
                         seed: int | Sequence[int], observables: Sequence[_Observable], *,
                         threads: int | None = None,
                         cancel: Cancel | None = None) -> npt.NDArray[np.float64]: ...
