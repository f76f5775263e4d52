"""qsim, in single precision: its compiled entry points for the engine workloads (circuits
translated before timing), qsimcirq.QSimSimulator for the Cirq ones. Every call simulates
a whole circuit from |0...0>: no single-gate or per-call figure, and its sampler also
simulates the preparation. Its default fuses gates into blocks of up to 2 qubits; "fusion
1" is its least fusion (it cannot be turned off)."""
from importlib import metadata

import numpy as np

NAME, PRECISION, SEED = "qsim", "complex64", 1


def version() -> str:
    return metadata.version("qsimcirq")


def _qsim_options(config: str, threads: int):
    from qsimcirq import QSimOptions

    return QSimOptions(cpu_threads=threads, **({"max_fused_gate_size": 1} if config == "fusion 1" else {}))


def _translated(n, ops, config, threads) -> dict:
    import cirq
    import qsimcirq

    # qsim's qubit 0 (its least significant bit) is cirq's last qubit.
    line = list(reversed(cirq.LineQubit.range(n)))
    gates = {"h": cirq.H, "x": cirq.X, "sx": cirq.X**0.5, "cx": cirq.CNOT, "cz": cirq.CZ}
    turns = {"rx": cirq.rx, "ry": cirq.ry, "rz": cirq.rz}
    circuit = cirq.Circuit(
        (gates[op.name] if op.theta is None else turns[op.name](op.theta)).on(
            *(line[q] for q in op.qubits)) for op in ops)
    translated, _ = qsimcirq.QSimCircuit(circuit).translate_cirq_to_qsim(list(reversed(line)))
    return dict(_qsim_options(config, threads).as_dict(), c=translated, s=SEED)


def make_circuit(problem, config, threads):
    import qsimcirq

    options, simulate = _translated(*problem, config, threads), qsimcirq.qsim.qsim_simulate_fullstate
    return lambda: simulate(options, 0).view(np.complex64)


def make_sample(problem, config, threads):
    import qsimcirq

    n, prep, shots = problem
    options, sample = _translated(n, prep, config, threads), qsimcirq.qsim.qsim_sample_final
    return lambda: sample(options, shots)


def make_cirq(problem, config, threads):
    import qsimcirq

    options, play = problem
    return play(qsimcirq.QSimSimulator(_qsim_options(config, threads), seed=SEED, **options))
