"""NumPy as a sampler: Generator.choice over |amplitude|^2, then unique.

The amplitudes are the product state of the ry preparation, built with
Kronecker products outside the timing; the weights are computed inside it,
as every simulator computes them from its amplitudes.
"""
from __future__ import annotations

import math

import numpy as np

from ..circuits import Op
from .base import Simulator, Timed

SEED = 1


def product_state(n: int, prep: list[Op]) -> np.ndarray:
    """Amplitudes of ry(theta_q) on each qubit of |0...0>, qubit 0 lowest."""
    angles = {op.qubits[0]: op.theta for op in prep}
    state = np.ones(1, dtype=np.complex128)
    for q in range(n):
        theta = angles[q]
        factor = np.array([math.cos(theta / 2), math.sin(theta / 2)], dtype=np.complex128)
        state = np.kron(factor, state)  # the higher qubit varies slowest
    return state


class NumpySampler(Simulator):
    name = "NumPy"
    distribution = "numpy"
    sampler_only = True

    def sampler(self, n: int, prep: list[Op], shots: int) -> Timed:
        amplitudes = product_state(n, prep)
        outcomes = 2**n

        def run():
            weights = amplitudes.real * amplitudes.real + amplitudes.imag * amplitudes.imag
            weights /= weights.sum()
            draws = np.random.default_rng(SEED).choice(outcomes, size=shots, p=weights)
            np.unique(draws, return_counts=True)

        return run
