"""Run Qiskit circuits on velquin: primitives, a backend and OpenQASM.

- ``SamplerV2`` and ``EstimatorV2``: Qiskit's V2 primitives, with ``seed`` and
  ``executor`` (a ``concurrent.futures.Executor`` or a Dask ``Client``).
- ``VelquinBackend``: a ``BackendV2`` for ``backend.run`` and for Qiskit's
  ``BackendSamplerV2`` and ``BackendEstimatorV2``.
- ``from_qiskit``, ``from_qasm``, ``load_qasm`` and ``statevector``: circuits
  and OpenQASM 2 or 3 text as velquin circuits and Qiskit state vectors.

Circuits run on velquin's engine, every gate of Qiskit's standard library (and
``UnitaryGate``, ``DiagonalGate``, ``PermutationGate``, ``PauliGate``, controlled
gates with any control state) as one operation, translated once per circuit and
bound for every parameter set. Circuits are simulated on the qubits they act on
(at most 30); what velquin cannot simulate exactly (resets, mid-circuit
measurements, control flow, non-unitary instructions) raises
``UnsupportedInstructionError`` before anything runs.
"""

from velquin_adapters import TooManyQubitsError

from .backend import VelquinBackend, VelquinJob
from .convert import from_qasm, from_qiskit, load_qasm, statevector
from .estimator import EstimatorV2
from .refusals import UnsupportedInstructionError
from .sampler import SamplerV2

__all__ = [
    "EstimatorV2",
    "SamplerV2",
    "TooManyQubitsError",
    "UnsupportedInstructionError",
    "VelquinBackend",
    "VelquinJob",
    "from_qasm",
    "from_qiskit",
    "load_qasm",
    "statevector",
]
