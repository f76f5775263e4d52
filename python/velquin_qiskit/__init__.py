"""Run Qiskit circuits on velquin: primitives, a backend and OpenQASM.

- ``SamplerV2`` and ``EstimatorV2``: Qiskit's V2 primitives, with ``seed`` and
  ``executor`` (a ``concurrent.futures.Executor`` or a Dask ``Client``).
- ``VelquinBackend``: a ``BackendV2`` for ``backend.run`` and for Qiskit's
  ``BackendSamplerV2`` and ``BackendEstimatorV2``.
- ``from_qiskit``, ``from_qasm``, ``load_qasm`` and ``statevector``: circuits
  and OpenQASM 2 or 3 text as velquin circuits and Qiskit state vectors.
- ``AdjointEstimatorGradient``: exact gradients for qiskit-machine-learning
  (``EstimatorQNN``) by the adjoint method; imported on first use, as it needs
  qiskit-machine-learning.

Circuits run on velquin's engine, every gate of Qiskit's standard library (and
``UnitaryGate``, ``DiagonalGate``, ``PermutationGate``, ``PauliGate``, controlled
gates with any control state) as one operation, translated once per circuit and
bound for every parameter set. Mid-circuit measurements, resets, control flow and
the noise of a ``qiskit_aer.noise.NoiseModel`` run as seeded trajectories.
Circuits are simulated on the qubits they act on (at most 30); what velquin
cannot simulate exactly raises ``UnsupportedInstructionError`` before anything
runs.
"""

from typing import Any

from velquin_adapters import TooManyQubitsError

from .backend import VelquinBackend, VelquinJob
from .convert import from_qasm, from_qiskit, load_qasm, statevector
from .estimator import EstimatorV2
from .refusals import UnsupportedInstructionError
from .sampler import SamplerV2


def __getattr__(name: str) -> Any:
    if name == "AdjointEstimatorGradient":  # needs qiskit-machine-learning: imported on use
        from .gradient import AdjointEstimatorGradient

        return AdjointEstimatorGradient
    raise AttributeError(f"module 'velquin_qiskit' has no attribute {name!r}")


__all__ = [
    "AdjointEstimatorGradient",
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
