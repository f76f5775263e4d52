"""Internal foundations shared by velquin's framework adapters (Qiskit, PennyLane, Cirq).

Not a public API: it may change with any release. It imports only NumPy, velquin and velquin's
companion engine, never a framework. What it holds (README.md says more):

- program: the one program representation every adapter lowers into (``Program``, ``Op``,
  ``Linear`` angles, ``parameter``, ``scale``, ``add``, ``parameter_rows``);
- run: programs run on the companion engine (``state``, ``probabilities``, and the picklable
  jobs ``SampleJob``, ``ExpectationJob``, ``ShotsJob``, ``TrajectoryJob`` with ``sample``,
  ``expectations``, ``run_shots``, ``trajectory_means``; ``split_rows`` for executors);
- observables: Pauli sums in the engine's form (``PauliSum``, ``reduce_terms``);
- bits: the one bit-order rule (``columns``, ``big_endian_qubits``);
- refusals: what every adapter refuses, in one shape (``UnsupportedError``,
  ``TerminalMeasurements``);
- seeds: one rule deriving every job's seeds from the user's seed (``resolve_seed``,
  ``job_seeds``, ``JobSeeds``);
- shrink: simulating only the qubits a circuit uses (``layout_of``, ``Layout``,
  ``TooManyQubitsError``);
- fan_out: independent jobs over an executor or a Dask client (``fan_out``).
"""

from .bits import big_endian_qubits, columns
from .fan_out import DaskClientLike, Executor, fan_out
from .observables import PauliSum, Term, reduce_terms
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
from .seeds import JobSeeds, job_seeds, resolve_seed
from .shrink import MAX_QUBITS, Layout, TooManyQubitsError, layout_of

__all__ = [
    "MAX_QUBITS",
    "Angle",
    "DaskClientLike",
    "Executor",
    "ExpectationJob",
    "JobSeeds",
    "Layout",
    "Linear",
    "Op",
    "PauliSum",
    "Program",
    "SampleJob",
    "ShotsJob",
    "Term",
    "TerminalMeasurements",
    "TooManyQubitsError",
    "TrajectoryJob",
    "UnsupportedError",
    "add",
    "big_endian_qubits",
    "columns",
    "expectations",
    "fan_out",
    "job_seeds",
    "layout_of",
    "parameter",
    "parameter_rows",
    "probabilities",
    "reduce_terms",
    "resolve_seed",
    "run_shots",
    "sample",
    "scale",
    "split_rows",
    "state",
    "trajectory_means",
]
