"""The simulator's seed, taken as Cirq's simulators take it, and one root per sampling call.

``seed`` is what ``cirq.value.parse_random_state`` accepts: None (NumPy's
global generator, so ``numpy.random.seed`` makes runs repeat, as with
``cirq.Simulator``), an integer (a ``numpy.random.RandomState`` of its own), a
``RandomState`` or a ``numpy.random.Generator``. Each call that samples draws a
128-bit root from it; the job at sweep point ``i`` then takes
``velquin_adapters.job_seeds(root, (i,))``. So one simulator gives new samples
on every call, and a simulator made with the same integer repeats them.
"""

from __future__ import annotations

from types import ModuleType
from typing import Any, TypeAlias

import numpy as np

RandomSource: TypeAlias = "np.random.RandomState | np.random.Generator | ModuleType"


def parse_seed(seed: Any) -> RandomSource:
    """The random source of a simulator made with ``seed``."""
    if seed is None:
        return np.random
    if isinstance(seed, (int, np.integer)) and not isinstance(seed, bool):
        return np.random.RandomState(int(seed))
    if isinstance(seed, (np.random.RandomState, np.random.Generator)):
        return seed
    raise TypeError("seed must be None, an integer, a numpy.random.RandomState or a "
                    f"numpy.random.Generator, not {type(seed).__name__}")


def call_root(source: RandomSource) -> int:
    """A 128-bit root for one call, drawn from ``source`` (advancing it)."""
    if isinstance(source, np.random.Generator):
        words = source.integers(0, 1 << 32, size=4, dtype=np.uint64)
    else:
        words = source.randint(0, 1 << 32, size=4, dtype=np.uint64)
    return sum(int(word) << (32 * i) for i, word in enumerate(words))
