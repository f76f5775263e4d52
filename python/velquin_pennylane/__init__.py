"""velquin as a PennyLane device: ``qml.device("velquin.qubit", wires=4, seed=7)``.

The device is registered under PennyLane's ``pennylane.plugins`` entry point,
so PennyLane finds it by name without importing this package first.
"""

from .device import VelquinQubit

__all__ = ["VelquinQubit"]
