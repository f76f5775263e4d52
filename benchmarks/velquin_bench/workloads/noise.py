"""Noise and dynamic circuits, through Qiskit (against Aer) and Cirq (against qsim).

velquin's cells say "not supported yet" until its adapters accept these (SamplerV2's
noise_model, Simulator's noise, mid-circuit measurement and reset). Both frameworks get
the same rates: Qiskit's depolarizing_error(p, k) puts the fully mixed state with
probability p, Cirq's depolarize(p') one of the 4^k - 1 Paulis with probability p', so
p' = p (4^k - 1) / 4^k."""
from ..declare import DEFAULT, Target, Workload

P1, P2 = 0.001, 0.01  # Qiskit's depolarizing rates after one- and two-qubit gates
SHOTS = lambda quick: 1000 if quick else 10**4  # noqa: E731


def layered(n: int):
    """4 layers: ry on every qubit (seeded angles), then cx on a brick pattern;
    each gate as (name, qubits, angle or None)."""
    import numpy as np

    angles = np.random.default_rng(n).uniform(0, np.pi, (4, n))
    return [[("ry", (q,), angles[layer, q]) for q in range(n)]
            + [("cx", (q, q + 1), None) for q in range(layer % 2, n - 1, 2)] for layer in range(4)]


def qiskit_layered(n: int, measured_after: int | None = None):
    """layered(n) as a Qiskit circuit; qubits 0 to 3 measured after that layer, if given."""
    from qiskit import ClassicalRegister, QuantumCircuit

    qc = QuantumCircuit(n)
    for index, layer in enumerate(layered(n)):
        for name, qubits, theta in layer:
            getattr(qc, name)(*([] if theta is None else [theta]), *qubits)
        if index == measured_after:
            qc.add_register(middle := ClassicalRegister(4, "middle"))
            qc.measure(range(4), middle)
    qc.measure_all()
    return qc


def qiskit_noise():
    from qiskit_aer.noise import NoiseModel, depolarizing_error

    model = NoiseModel()
    model.add_all_qubit_quantum_error(depolarizing_error(P1, 1), ["ry", "x"])
    model.add_all_qubit_quantum_error(depolarizing_error(P2, 2), ["cx"])
    return model


def noisy_qiskit(n, case, quick):
    return {"circuit": qiskit_layered(n), "shots": SHOTS(quick), "noise": qiskit_noise()}


def noisy_cirq(n, case, quick):
    import cirq

    class Depolarizing(cirq.NoiseModel):
        def noisy_operation(self, op):
            if cirq.is_measurement(op):
                return op
            k = len(op.qubits)
            return [op, cirq.depolarize((P1, P2)[k - 1] * (4**k - 1) / 4**k, n_qubits=k).on(*op.qubits)]

    q = cirq.LineQubit.range(n)
    circuit = cirq.Circuit((cirq.CNOT if theta is None else cirq.ry(theta)).on(*(q[i] for i in qubits))
                           for layer in layered(n) for _, qubits, theta in layer)
    circuit.append(cirq.measure(*q, key="m"))
    return {"noise": Depolarizing()}, lambda sim: lambda: sim.run(circuit, repetitions=SHOTS(quick))


def repetition_code(n, case, quick, rounds=3):
    """Memory experiment: 9 data qubits, 8 ancillas between them, 3 rounds of parity
    checks (cx, cx, measure, reset), then every data qubit measured."""
    from qiskit import ClassicalRegister, QuantumCircuit, QuantumRegister

    data, ancilla = QuantumRegister(9, "d"), QuantumRegister(8, "a")
    qc = QuantumCircuit(data, ancilla, *(ClassicalRegister(8, f"s{r}") for r in range(rounds)),
                        final := ClassicalRegister(9, "final"))
    qc.x(data)  # logical 1: a flip of any data qubit shows in the checks
    for r in range(rounds):
        for i in range(8):
            qc.cx(data[i], ancilla[i])
            qc.cx(data[i + 1], ancilla[i])
        qc.measure(ancilla, qc.cregs[r])
        qc.reset(ancilla)
    qc.measure(data, final)
    return {"circuit": qc, "shots": SHOTS(quick), "noise": qiskit_noise()}


def mid_circuit(n, case, quick):
    return {"circuit": qiskit_layered(n, measured_after=1), "shots": SHOTS(quick)}


_SHOTS_TEXT = "10^4 shots (quick: 1,000, on fewer qubits)"
_common = dict(check="dist", tolerance=0.1, reps=1, profile=True)
WORKLOADS = [
    Workload("noisy layered circuit, Qiskit", "noise", "qiskit_shots", noisy_qiskit, (16,),
             {"velquin": (DEFAULT,), "Aer": ("statevector",)},
             f"`SamplerV2(noise_model=...)` against `AerSimulator(method=\"statevector\", "
             f"noise_model=...)`: 4 layers of ry and a cx brick, depolarizing after every gate, "
             f"{_SHOTS_TEXT}", quick_ns=(12,), **_common),
    Workload("noisy layered circuit, Cirq", "noise", "cirq", noisy_cirq, (16,),
             {"velquin": (DEFAULT,), "qsim": (DEFAULT,)},
             f"`Simulator(noise=...).run` against qsim's trajectories (`QSimSimulator(noise=...)`), "
             f"the same circuit and `cirq.depolarize` after every gate, {_SHOTS_TEXT}", quick_ns=(12,),
             targets=(Target("noisy circuit through Cirq: <= 0.5x qsim", vs="qsim default", limit=0.5),),
             **_common),
    Workload("repetition code, 3 rounds", "noise", "qiskit_shots", repetition_code, (17,),
             {"velquin": (DEFAULT,), "Aer": (DEFAULT,)},
             f"9 data qubits, 8 ancillas, 3 rounds of measured and reset parity checks, depolarizing "
             f"after every gate, 10^4 shots (quick: 1,000); Aer's default picks its stabilizer "
             f"method (its statevector method took 0.3 s a shot here)",
             targets=(Target("repetition code: faster than Aer", vs="Aer", strict=True),), **_common),
    Workload("mid-circuit measurement", "noise", "qiskit_shots", mid_circuit, (14,),
             {"velquin": (DEFAULT,), "Aer": (DEFAULT, "shot branching")},
             f"the layered circuit, qubits 0 to 3 measured after its second layer, no noise, "
             f"{_SHOTS_TEXT}", quick_ns=(10,),
             targets=(Target("mid-circuit measurement: faster than Aer with shot branching",
                             vs="Aer shot branching", strict=True),), **_common),
]
