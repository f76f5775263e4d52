"""The simulators a run times, velquin first. Importing this module imports
no simulator: each adapter imports its package on first use."""
from __future__ import annotations

from .aer_sim import Aer
from .base import Simulator
from .lightning_sim import Lightning
from .numpy_sim import NumpySampler
from .qsim_sim import Qsim
from .qulacs_sim import Qulacs
from .velquin_sim import Velquin

SIMULATORS: tuple[type[Simulator], ...] = (Velquin, Aer, Qulacs, Qsim, Lightning, NumpySampler)


def simulator_class(name: str) -> type[Simulator]:
    """The adapter called name (any case)."""
    for cls in SIMULATORS:
        if cls.name.lower() == name.lower():
            return cls
    known = ", ".join(cls.name for cls in SIMULATORS)
    raise ValueError(f"unknown simulator {name!r} (known: {known})")
