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
  (``pauli_expectation``);
- program: the one program representation every adapter lowers into (``Program``, ``Op``,
  ``Linear``, ``parameter``), run on velquin's companion engine by run (``state``,
  ``probabilities``, ``sample``, ``expectations``, picklable jobs);
- observables: Pauli sums in the engine's form (``PauliSum``, ``reduce_terms``);
- bits: the one bit-order rule (``columns``, ``big_endian_qubits``);
- refusals: what every adapter refuses, one shape (``UnsupportedError``,
  ``TerminalMeasurements``).
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
from .bits import big_endian_qubits, columns
from .observables import PauliSum, Term, reduce_terms
from .pauli import pauli_expectation
from .program import Angle, Linear, Op, Program, add, parameter, parameter_rows, scale
from .refusals import TerminalMeasurements, UnsupportedError
from .run import (
    ExpectationJob,
    SampleJob,
    ShotsJob,
    TrajectoryJob,
    expectations,
    probabilities,
    run_shots,
    sample,
    split_rows,
    state,
    trajectory_means,
)
from .samples import counts_to_bits
from .seeds import JobSeeds, job_seeds, resolve_seed
from .shrink import MAX_QUBITS, Layout, TooManyQubitsError, layout_of, shrink

__all__ = [
    "Angle",
    "ExpectationJob",
    "Linear",
    "Op",
    "PauliSum",
    "Program",
    "SampleJob",
    "ShotsJob",
    "TrajectoryJob",
    "Term",
    "TerminalMeasurements",
    "UnsupportedError",
    "add",
    "big_endian_qubits",
    "columns",
    "expectations",
    "parameter",
    "parameter_rows",
    "probabilities",
    "reduce_terms",
    "run_shots",
    "sample",
    "scale",
    "split_rows",
    "state",
    "trajectory_means",
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
