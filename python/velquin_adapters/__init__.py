"""Internal foundations shared by velquin's framework adapters (Qiskit, PennyLane, Cirq).

Not a public API: it may change with any release. It imports only NumPy and
velquin, never a framework. What it holds:

- seeds: one rule deriving every job's seeds from the user's seed
  (``resolve_seed``, ``job_seeds``, ``JobSeeds``);
- jobs: the picklable unit of work (``Job``, ``Gate``, ``BoundGates`` for
  sweeps) and the code that
  plays it on velquin (``build``, ``statevector``, ``counts``, ``execute``);
- shrink: simulating only the qubits a circuit uses (``shrink``,
  ``layout_of``, ``Layout``, ``TooManyQubitsError``);
- samples: per-shot records from counts, measured qubits into classical bits
  (``counts_to_bits``);
- fan_out: independent jobs over an executor or a Dask client (``fan_out``);
- pauli: Pauli-string expectation values on a state vector without copying it
  (``pauli_expectation``).
"""

from .fan_out import DaskClientLike, Executor, fan_out
from .jobs import (
    GATE_NAMES,
    ROTATIONS,
    BoundGates,
    Gate,
    Job,
    build,
    counts,
    execute,
    statevector,
)
from .pauli import pauli_expectation
from .samples import counts_to_bits
from .seeds import JobSeeds, job_seeds, resolve_seed
from .shrink import MAX_QUBITS, Layout, TooManyQubitsError, layout_of, shrink

__all__ = [
    "GATE_NAMES",
    "MAX_QUBITS",
    "ROTATIONS",
    "BoundGates",
    "DaskClientLike",
    "Executor",
    "Gate",
    "Job",
    "JobSeeds",
    "Layout",
    "TooManyQubitsError",
    "build",
    "counts",
    "counts_to_bits",
    "execute",
    "fan_out",
    "job_seeds",
    "layout_of",
    "pauli_expectation",
    "resolve_seed",
    "shrink",
    "statevector",
]
