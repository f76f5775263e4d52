"""Through Cirq: velquin_cirq.Simulator against qsimcirq.QSimSimulator at its
default options (same thread count), `simulate` and `run`, as a user calls them."""
from ..declare import DEFAULT, Target, Workload

PEERS = {"velquin": (DEFAULT,), "qsim": (DEFAULT,)}
BRICKWORK = ("native", "foreign", "two-qubit")


def brickwork(n: int, kind: str, layers: int = 20):
    """20 brickwork layers. native: gates velquin has; foreign: PhasedXPow, Y**0.5,
    FSim, ISWAP**t, CZ**t (Cirq decomposes them for velquin, qsim applies them);
    two-qubit: CZ, CNOT and SWAP only (nothing for qsim's fuser to merge)."""
    import cirq
    import numpy as np

    rng, q, circuit = np.random.default_rng(2026), cirq.LineQubit.range(n), cirq.Circuit()
    for layer in range(2 * layers if kind == "two-qubit" else layers):
        if kind != "two-qubit":
            for qubit in q:
                t = float(rng.uniform(-np.pi, np.pi))
                gates = ([cirq.H, cirq.X**0.5, cirq.T, cirq.rx(t), cirq.ry(t), cirq.rz(t)] if kind == "native"
                         else [cirq.PhasedXPowGate(phase_exponent=t / np.pi, exponent=0.5), cirq.Y**0.5,
                               cirq.Z ** (t / np.pi)])
                circuit.append(gates[rng.integers(len(gates))].on(qubit))
        for k in range(layer % 2, n - 1, 2):
            a = float(rng.uniform(0.1, 1.5))
            gates = {"native": [cirq.CZ, cirq.CNOT], "two-qubit": [cirq.CZ, cirq.CNOT, cirq.SWAP],
                     "foreign": [cirq.FSimGate(a, a / 3), cirq.ISWAP ** (a / 2), cirq.CZ ** (a / 2)]}[kind]
            circuit.append(gates[rng.integers(len(gates))].on(q[k], q[k + 1]))
    return circuit


def random_circuit(n: int, case: str):
    return __import__("cirq").testing.random_circuit(qubits=n, n_moments=40, op_density=0.8, random_state=n)


def play(make, repetitions: int | None):
    """simulate (repetitions None) or run with every qubit measured."""
    def build(n, case, quick):
        import cirq

        circuit = make(n, case)
        if repetitions is None:
            return {}, lambda sim: lambda: sim.simulate(circuit)
        measured = circuit + cirq.measure(*sorted(circuit.all_qubits()), key="m")
        return {}, lambda sim: lambda: sim.run(measured, repetitions=repetitions)

    return build


_kw = dict(reps=3, rounds=2, profile=True)
WORKLOADS = [
    Workload("simulate, brickwork circuits", "cirq", "cirq", play(brickwork, None), (20,), PEERS,
             "`simulate` to the final state", cases=lambda n: list(BRICKWORK), check="state",
             tolerance=1e-4, **_kw),
    Workload("run 10^5 repetitions, brickwork circuits", "cirq", "cirq", play(brickwork, 10**5), (20,),
             PEERS, "`run` with every qubit measured", cases=lambda n: list(BRICKWORK), check="dist",
             tolerance=0.02, **_kw),
    Workload("simulate, cirq.testing.random_circuit", "cirq", "cirq", play(random_circuit, None),
             (12, 18, 22), PEERS, "`simulate` of `random_circuit(qubits=n, n_moments=40, "
             "op_density=0.8, random_state=n)`", quick_ns=(18,), check="state", tolerance=1e-4,
             targets=(Target("simulate: no slower than qsim", vs="qsim default"),), **_kw),
    Workload("run 10^4 repetitions, cirq.testing.random_circuit", "cirq", "cirq",
             play(random_circuit, 10**4), (12, 18, 22), PEERS, "`run` of the same circuits, every "
             "qubit measured", quick_ns=(18,), check="dist", tolerance=0.05,
             targets=(Target("run: at most 0.7x qsim", vs="qsim default", limit=0.7),), **_kw),
]
