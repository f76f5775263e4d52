"""The seeds the primitives and the backend take: what ``numpy.random.default_rng`` takes, as
Qiskit's own primitives take them, each made into the root of velquin's seed rule
(``velquin_adapters.seeds``) once per ``run``.

An integer is the root itself (the documented rule); a ``SeedSequence`` (or a sequence of
integers, which makes one) gives the same root at every run, as it gives Qiskit the same
generator at every run; a ``Generator``, ``BitGenerator`` or ``RandomState`` gives a root drawn
from it, so it advances and each run differs, as Qiskit's do. The root is drawn in the calling
process, so an executor's workers reproduce a serial run with any of them.
"""

from __future__ import annotations

from collections.abc import Sequence
from typing import TypeAlias

import numpy as np
from velquin_adapters import resolve_seed

SeedLike: TypeAlias = ("int | Sequence[int] | np.random.SeedSequence | np.random.BitGenerator | "
                       "np.random.Generator | np.random.RandomState | None")

_STATEFUL = (np.random.Generator, np.random.BitGenerator, np.random.RandomState)


def check_seed(seed: object, argument: str = "seed") -> None:
    """Refuses what ``numpy.random.default_rng`` refuses, naming the argument; consumes
    nothing from a generator."""
    if seed is None or isinstance(seed, (np.random.SeedSequence, *_STATEFUL)):
        return
    if isinstance(seed, (int, np.integer)):
        if seed < 0:
            raise ValueError(f"{argument} must be non-negative, got {seed}")
        return
    try:
        np.random.SeedSequence(seed)  # type: ignore[arg-type]
    except (TypeError, ValueError) as error:
        raise type(error)(f"{argument} must be None, a non-negative integer, a sequence of them "
                          "or a NumPy SeedSequence, BitGenerator, Generator or RandomState, "
                          f"not {seed!r}") from None


def root_of(seed: object) -> int:
    """The root of one run's seeds (see the module docstring); ``check_seed`` first."""
    if seed is None or isinstance(seed, (int, np.integer)):
        return resolve_seed(None if seed is None else int(seed))
    if isinstance(seed, np.random.RandomState):
        words = seed.randint(0, 2**32, size=4, dtype=np.uint64)
    elif isinstance(seed, _STATEFUL):
        words = np.random.default_rng(seed).integers(0, 2**32, size=4, dtype=np.uint64)
    else:
        sequence = seed if isinstance(seed, np.random.SeedSequence) else \
            np.random.SeedSequence(seed)  # type: ignore[arg-type]
        words = sequence.generate_state(4, np.uint32).astype(np.uint64)
    return sum(int(word) << (32 * i) for i, word in enumerate(words))
