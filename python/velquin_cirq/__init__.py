"""velquin for Cirq: ``velquin_cirq.Simulator`` runs Cirq circuits on velquin.

``Simulator(seed=None, executor=None)`` implements ``cirq.SimulatesSamples``
(``run``, ``run_sweep``), ``cirq.SimulatesFinalState`` (``simulate``,
``simulate_sweep``) and ``cirq.SimulatesExpectationValues`` (Pauli sums).
Every gate velquin's engine has is one engine operation; only composite operations with
nothing native are taken apart by Cirq's own decompositions. What velquin cannot simulate
exactly is refused with ``UnsupportedOperationError``.
"""

from velquin_adapters import TooManyQubitsError

from .refusals import UnsupportedOperationError
from .results import TrialResult
from .simulator import Simulator

__all__ = ["Simulator", "TooManyQubitsError", "TrialResult", "UnsupportedOperationError"]
