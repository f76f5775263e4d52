"""Through PennyLane: velquin.qubit against lightning.qubit, gradient descent with each
device at the diff_method its configuration names ("best": PennyLane's choice for it)."""
from ..declare import Target, Workload

def hamiltonian(n: int, terms: int = 10):
    """terms random Pauli words, each wire X, Y or Z with probability 0.4."""
    import numpy as np
    import pennylane as qml

    rng, paulis = np.random.default_rng(10), [qml.X, qml.Y, qml.Z]
    words = [qml.prod(*(paulis[rng.integers(3)](w) if rng.random() < 0.4 else qml.Identity(w)
                        for w in range(n))) for _ in range(terms)]
    return qml.Hamiltonian(rng.normal(size=terms), words)


def hardware_efficient(weights, n):
    import pennylane as qml

    for layer in weights:
        for q in range(n):
            qml.RY(layer[q, 0], wires=q)
            qml.RZ(layer[q, 1], wires=q)
        for q in range(n - 1):
            qml.CZ(wires=[q, q + 1])


def strongly_entangling(weights, n):
    __import__("pennylane").StronglyEntanglingLayers(weights, wires=range(n))


def descent(ansatz, per_wire: int, steps: tuple[int, int], layers: int = 4):
    """steps (full, quick) of GradientDescentOptimizer on <H> from seeded weights."""
    def build(n, case, quick):
        import numpy as np
        import pennylane as qml
        from pennylane import numpy as pnp

        start = np.random.default_rng(n).uniform(-np.pi, np.pi, (layers, n, per_wire))
        observable = hamiltonian(n)

        def energy(weights):
            ansatz(weights, n)
            return qml.expval(observable)

        def play(device, diff_method):
            cost = qml.QNode(energy, qml.device(device, wires=n), diff_method=diff_method)

            def run():
                weights, optimizer = pnp.array(start, requires_grad=True), qml.GradientDescentOptimizer(0.05)
                for _ in range(steps[quick]):
                    weights = optimizer.step(cost, weights)
                return np.asarray(weights)

            return run

        return play

    return build


_same_method = {"velquin": ("parameter-shift",), "Lightning": ("adjoint", "parameter-shift")}  # its default first
WORKLOADS = [
    Workload("parameter-shift descent, hardware-efficient ansatz", "pennylane", "pennylane",
             descent(hardware_efficient, 2, (25, 2)), (10,), _same_method,
             "25 steps (quick: 2) of `GradientDescentOptimizer`, 10 qubits, 4 layers of RY, RZ and a "
             "CZ ladder (80 parameters, 161 tapes a step), a 10-term Pauli Hamiltonian",
             check="values", tolerance=1e-8, reps=1, rounds=3, profile=True,
             targets=(Target("hardware-efficient ansatz: <= 1.0x Lightning, same diff method",
                             vs="Lightning parameter-shift"),)),
    Workload("parameter-shift descent, StronglyEntanglingLayers", "pennylane", "pennylane",
             descent(strongly_entangling, 3, (5, 1)), (10,), _same_method,
             "5 steps (quick: 1) of `GradientDescentOptimizer` on `qml.StronglyEntanglingLayers`, "
             "10 qubits, 4 layers (120 parameters), a 10-term Pauli Hamiltonian",
             check="values", tolerance=1e-8, reps=1, rounds=2, profile=True,
             targets=(Target("StronglyEntanglingLayers: <= 1.0x Lightning, same diff method",
                             vs="Lightning parameter-shift"),)),
    Workload("VQE, StronglyEntanglingLayers", "pennylane", "pennylane",
             descent(strongly_entangling, 3, (3, 1)), (10, 16, 20),
             {"velquin": ("best", "adjoint"), "Lightning": ("adjoint",)},
             "3 steps (quick: 1) of `GradientDescentOptimizer`, 4 layers of `StronglyEntanglingLayers`, a 10-term "
             "Hamiltonian; each device at its fastest of diff_method \"best\" and \"adjoint\" (Lightning's "
             "best is adjoint)", quick_ns=(10,), check="values", tolerance=1e-8, reps=1, profile=True,
             targets=(Target("VQE at 10 qubits: <= 1.0x Lightning", lambda r: r.n <= 10, vs="Lightning"),
                      Target("VQE at 16 and 20 qubits: <= 0.7x Lightning", lambda r: r.n >= 16,
                             vs="Lightning", limit=0.7))),
]
