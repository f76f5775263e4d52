"""Random PennyLane circuits over velquin.qubit's whole native operation set, on any wires.

Every operation ``velquin_qubit.toml`` declares is drawn (``native``), with random angles,
matrices, Pauli words and control values, and, as the file declares them invertible and
controllable, sometimes inverted and sometimes under ``qml.ctrl`` with random controls and
control values. A few operations outside the set go through PennyLane's decompositions.
"""

import numpy as np
import pennylane as qml
from scipy.stats import unitary_group

# The unitary operations: noise channels are declared with shots only.
DEVICE_OPERATIONS = qml.device("velquin.qubit").capabilities.filter(finite_shots=False).operations


def _bits(rng, count):
    return [int(b) for b in rng.integers(0, 2, count)]


def _unitary(rng, wires):
    return qml.QubitUnitary(unitary_group.rvs(2 ** len(wires), random_state=rng), wires)


def _controlled_unitary(rng, wires):
    return qml.ControlledQubitUnitary(unitary_group.rvs(2, random_state=rng), wires=wires,
                                      control_values=_bits(rng, len(wires) - 1))


def _x_with_controls(rng, wires):
    return qml.MultiControlledX(wires=wires, control_values=_bits(rng, len(wires) - 1))


# Operation name -> (wire counts to draw from, maker(rng, wires) or None for cls(*angles, wires)).
SPECIAL = {
    "MultiRZ": ((1, 2, 3), None),
    "PauliRot": ((1, 2, 3), lambda rng, w: qml.PauliRot(
        rng.uniform(-4, 4), "".join(rng.choice(list("IXYZ"), len(w))), w)),
    "QubitUnitary": ((1, 2, 3), _unitary),
    "DiagonalQubitUnitary": ((1, 2, 3), lambda rng, w: qml.DiagonalQubitUnitary(
        np.exp(1j * rng.uniform(-4, 4, 2 ** len(w))), w)),
    "GlobalPhase": ((0, 1), None),
    "Identity": ((1, 2), None),
    "MultiControlledX": ((2, 3, 4), _x_with_controls),
    "ControlledQubitUnitary": ((2, 3), _controlled_unitary),
}

# Outside the native set: an excitation PennyLane cannot decompose, and a template.
OTHERS = [
    (4, lambda rng, w: qml.DoubleExcitationPlus(rng.uniform(-4, 4), wires=w)),
    (3, lambda rng, w: qml.QFT(wires=w)),
]


def native(rng, wires, name):
    """A random instance of the device's operation ``name`` on some of ``wires``, inverted
    or controlled at random (as the device declares it invertible and controllable)."""
    cls = getattr(qml, name)
    counts, maker = SPECIAL.get(name, ((cls.num_wires,), None))
    count = int(rng.choice([c for c in counts if c <= len(wires)]))
    where = [wires[i] for i in rng.permutation(len(wires))]
    targets, spare = where[:count], where[count:]
    if maker is not None:
        op = maker(rng, targets)
    else:
        op = cls(*rng.uniform(-4, 4, cls.num_params), wires=targets)
    properties = DEVICE_OPERATIONS[name]
    if properties.invertible and rng.random() < 0.3:
        op = qml.adjoint(op)
    if properties.controllable and spare and rng.random() < 0.3:
        controls = spare[: int(rng.integers(1, min(2, len(spare)) + 1))]
        op = qml.ctrl(op, control=controls, control_values=_bits(rng, len(controls)))
    return op


def random_circuit(wires, depth, seed, every=False):
    """A function queuing a state preparation and ``depth`` random operations on ``wires``:
    the device's whole native set and a few operations outside it (with ``every``, first
    each native operation once, in random order)."""
    rng = np.random.default_rng(seed)
    names = sorted(DEVICE_OPERATIONS)
    with qml.QueuingManager.stop_recording():
        ops = [native(rng, wires, names[k]) for k in rng.permutation(len(names))] if every else []
        for _ in range(depth):
            k = int(rng.integers(len(names) + len(OTHERS)))
            if k < len(names):
                ops.append(native(rng, wires, names[k]))
            else:
                count, maker = OTHERS[k - len(names)]
                ops.append(maker(rng, [wires[i] for i in rng.permutation(len(wires))[:count]]))
    amplitudes = rng.normal(size=2) + 1j * rng.normal(size=2)

    def queue():
        qml.StatePrep(amplitudes / np.linalg.norm(amplitudes), wires=wires[-1])
        for op in ops:
            qml.apply(op)

    return queue


def pauli_hamiltonian(wires, terms, seed):
    """A Hamiltonian of ``terms`` random Pauli words on ``wires``."""
    rng = np.random.default_rng(seed)
    paulis = [qml.Identity, qml.X, qml.Y, qml.Z]
    words = [qml.prod(*(paulis[rng.integers(4)](w) for w in wires)) for _ in range(terms)]
    return qml.Hamiltonian(rng.normal(size=terms), words)
