"""Seeds for the individual jobs of one call, derived from the user's seed.

The rule, the same in every adapter: a call resolves the user's ``seed`` to a
root (the integer itself, or 128 bits of operating-system entropy when it is
None), and the job at ``path`` (for example ``(pub_index, flat_parameter_index)``
or ``(circuit_index,)``) takes

    words = numpy.random.SeedSequence(root, spawn_key=path).generate_state(3, numpy.uint64)

``words[0]`` seeds velquin's measurement (``QuantumCircuit.run(shots, seed)``);
``words[1]`` and ``words[2]``, joined as ``words[1] + 2**64 * words[2]``, seed the
NumPy generator (``numpy.random.default_rng``) that orders the shots or draws
noise for that job. SeedSequence hashes the root and the path together, so
consecutive user seeds, and neighbouring jobs of one seed, give independent
streams, and no two jobs of a call share a seed unless their paths are equal.
"""

from __future__ import annotations

from collections.abc import Sequence
from typing import NamedTuple

import numpy as np


class JobSeeds(NamedTuple):
    """The two seeds of one job."""

    velquin: int
    """64-bit seed for velquin's measurement generator."""
    numpy: int
    """128-bit seed for ``numpy.random.default_rng`` (shot order, noise)."""

    def rng(self) -> np.random.Generator:
        """A fresh NumPy generator from this job's second seed."""
        return np.random.default_rng(self.numpy)


def resolve_seed(seed: int | None) -> int:
    """The root of one call: ``seed`` itself, or fresh OS entropy when it is None.

    Raises TypeError for a non-integer and ValueError for a negative seed.
    Call it once per call (per ``run``), never per job.
    """
    if seed is None:
        entropy = np.random.SeedSequence().entropy
        assert isinstance(entropy, int)
        return entropy
    if isinstance(seed, bool) or not isinstance(seed, (int, np.integer)):
        raise TypeError(f"seed must be an integer or None, not {type(seed).__name__}")
    if seed < 0:
        raise ValueError(f"seed must be non-negative, got {seed}")
    return int(seed)


def job_seeds(root: int, path: Sequence[int]) -> JobSeeds:
    """The seeds of the job at ``path`` (non-negative integers) under ``root``."""
    words = np.random.SeedSequence(root, spawn_key=tuple(path)).generate_state(3, np.uint64)
    return JobSeeds(int(words[0]), int(words[1]) | (int(words[2]) << 64))
