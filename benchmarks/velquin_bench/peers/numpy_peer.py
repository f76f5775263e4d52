"""NumPy as a sampler: Generator.choice over |amplitude|^2, then unique. The amplitudes (the
ry preparation's product state) are built before timing, the weights inside it, as every
simulator computes them."""
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
        return np.unique(np.random.default_rng(SEED).choice(2**n, size=shots, p=weights / weights.sum()),
                         return_counts=True)

    return run
