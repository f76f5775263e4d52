"""NumPy as a sampler: Generator.choice over |amplitude|^2, then unique.

The amplitudes (the product state of the ry preparation) are built before
timing; the weights are computed inside it, as every simulator computes them.
"""
from __future__ import annotations

import math
from importlib import metadata

import numpy as np

NAME, PRECISION, SEED = "NumPy", "complex128", 1


def version() -> str:
    return metadata.version("numpy")


def make_sample(problem, config, threads):
    n, prep, shots = problem
    angles = {op.qubits[0]: op.theta for op in prep}
    amplitudes = np.ones(1, dtype=np.complex128)
    for q in range(n):  # the higher qubit varies slowest
        amplitudes = np.kron([math.cos(angles[q] / 2), math.sin(angles[q] / 2)], amplitudes)

    def run():
        weights = amplitudes.real**2 + amplitudes.imag**2
        draws = np.random.default_rng(SEED).choice(2**n, size=shots, p=weights / weights.sum())
        return np.unique(draws, return_counts=True)

    return run
