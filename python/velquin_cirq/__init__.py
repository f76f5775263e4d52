"""velquin for Cirq: ``velquin_cirq.Simulator`` runs Cirq circuits on velquin.

``Simulator(seed=None, executor=None)`` implements ``cirq.SimulatesSamples``
(``run``, ``run_sweep``), ``cirq.SimulatesFinalState`` (``simulate``,
``simulate_sweep``) and ``cirq.SimulatesExpectationValues`` (Pauli sums).
Gates outside velquin's sixteen are decomposed by Cirq's own decompositions;
what velquin cannot simulate exactly is refused with ``UnsupportedOperationError``.
"""

from velquin_adapters import TooManyQubitsError

from .refusals import UnsupportedOperationError
from .results import TrialResult
from .simulator import Simulator

__all__ = ["Simulator", "TooManyQubitsError", "TrialResult", "UnsupportedOperationError"]
