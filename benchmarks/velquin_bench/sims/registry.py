"""The simulators a run times, velquin first."""
from __future__ import annotations

from .aer_sim import Aer
from .base import Simulator
from .lightning_sim import Lightning
from .numpy_sim import NumpySampler
from .qsim_sim import Qsim
from .qulacs_sim import Qulacs
from .velquin_sim import Velquin


def all_simulators(threads: int) -> list[Simulator]:
    return [cls(threads) for cls in (Velquin, Aer, Qulacs, Qsim, Lightning, NumpySampler)]
