"""velquin_cirq.Simulator against qsimcirq.QSimSimulator, end to end through Cirq's API.

    benchmarks/.venv/bin/python benchmarks/cirq_simulator.py [--threads N] [--rounds R]

(``benchmarks/run.sh`` makes benchmarks/.venv with qsimcirq and builds velquin
into it; any environment with velquin, cirq-core and qsimcirq will do.)

Two 20-qubit random circuits, each as a Cirq user would hand it over:
"native" (H, X**0.5, T, rx, ry, rz, CZ, CNOT in brickwork layers: gates
velquin has) and "foreign" (PhasedXPow, Y**0.5, FSim, ISWAP**t, CZ**t: gates
velquin lacks, decomposed by Cirq for it; qsim applies them natively).
For each: ``simulate`` (the final state) and ``run`` with 10^5 repetitions
measuring every qubit. qsim runs with max_fused_gate_size=1 (the least
fusion it offers; it cannot switch it off) and with its default, 2, both at
the same thread count as velquin. "velquin engine" is the same gates played
through velquin.QuantumCircuit directly, without the adapter.

Each simulator runs in a worker process of its own (OpenMP threads that one
runtime leaves spinning would slow the other), one at a time, round robin over
``--rounds`` rounds; each figure is the median of a worker's repeated calls,
and the table gives the median over rounds. Writes benchmarks/results/cirq.md.
"""

from __future__ import annotations

import argparse
import json
import os
import platform
import statistics
import subprocess
import sys
import time
from pathlib import Path

N_QUBITS = 20
LAYERS = 20
REPETITIONS = 100_000
SIMULATORS = ["velquin", "velquin engine", "qsim fusion 1", "qsim fusion 2"]
RESULTS = Path(__file__).resolve().parent / "results" / "cirq.md"


def make_circuit(kind: str, measured: bool):  # type: ignore[no-untyped-def]
    import cirq
    import numpy as np

    rng = np.random.default_rng(2026)
    q = cirq.LineQubit.range(N_QUBITS)
    circuit = cirq.Circuit()
    for layer in range(LAYERS):
        for qubit in q:
            theta = float(rng.uniform(-np.pi, np.pi))
            if kind == "native":
                choice = [cirq.H, cirq.X ** 0.5, cirq.T, cirq.rx(theta), cirq.ry(theta),
                          cirq.rz(theta)]
            else:
                choice = [cirq.PhasedXPowGate(phase_exponent=theta / np.pi, exponent=0.5),
                          cirq.Y ** 0.5, cirq.Z ** (theta / np.pi)]
            circuit.append(choice[rng.integers(len(choice))].on(qubit))
        for k in range(layer % 2, N_QUBITS - 1, 2):
            if kind == "native":
                gate = [cirq.CZ, cirq.CNOT][rng.integers(2)]
            else:
                angle = float(rng.uniform(0.1, 1.5))
                gate = [cirq.FSimGate(angle, angle / 3), cirq.ISWAP ** (angle / 2),
                        cirq.CZ ** (angle / 2)][rng.integers(3)]
            circuit.append(gate.on(q[k], q[k + 1]))
    if measured:
        circuit.append(cirq.measure(*q, key="m"))
    return circuit


def simulator(name: str, threads: int):  # type: ignore[no-untyped-def]
    if name == "velquin":
        import velquin_cirq

        return velquin_cirq.Simulator(seed=1)
    import qsimcirq

    fusion = int(name.rsplit(" ", 1)[1])
    return qsimcirq.QSimSimulator(
        qsimcirq.QSimOptions(cpu_threads=threads, max_fused_gate_size=fusion), seed=1)


def engine_calls(circuit):  # type: ignore[no-untyped-def]
    """The adapter's own translation, done once: the engine figure is the play alone."""
    import cirq
    import velquin_adapters as va
    from velquin_cirq import simulator as vs

    prepared = vs._prepare(circuit, cirq.QubitOrder.DEFAULT)
    gates, phase = prepared.template.bind(cirq.ParamResolver())
    n = len(prepared.order)
    return (lambda: va.statevector(va.Job(n, gates, phase)),
            lambda: va.counts(va.Job(n, gates, shots=REPETITIONS, seed=1)), len(gates))


def time_calls(call, budget: float) -> list[float]:  # type: ignore[no-untyped-def]
    call()  # warm: imports, thread pools, first touch of memory
    times: list[float] = []
    start = time.perf_counter()
    while len(times) < 3 or (time.perf_counter() - start < budget and len(times) < 15):
        t0 = time.perf_counter()
        call()
        times.append(time.perf_counter() - t0)
    return times


def worker(name: str, threads: int, budget: float) -> None:
    import numpy as np

    figures: dict[str, float | int] = {}
    for kind in ("native", "foreign"):
        plain, measured = make_circuit(kind, False), make_circuit(kind, True)
        if name == "velquin engine":
            simulate, run, figures[f"{kind} gates"] = engine_calls(plain)
        else:
            sim = simulator(name, threads)
            simulate = lambda: sim.simulate(plain)  # noqa: E731
            run = lambda: sim.run(measured, repetitions=REPETITIONS)  # noqa: E731
        figures[f"{kind} simulate"] = statistics.median(time_calls(simulate, budget))
        figures[f"{kind} run"] = statistics.median(time_calls(run, budget))
        if name != "velquin engine":
            state = np.asarray(sim.simulate(plain).final_state_vector, np.complex128)
            np.save(f"/tmp/cirq-bench-{kind}-{name.replace(' ', '-')}.npy", state)
    print(json.dumps(figures))


def main() -> None:
    parser = argparse.ArgumentParser()
    parser.add_argument("--threads", type=int, default=len(os.sched_getaffinity(0)))
    parser.add_argument("--rounds", type=int, default=3)
    parser.add_argument("--budget", type=float, default=8.0, help="seconds per figure")
    parser.add_argument("--worker")
    args = parser.parse_args()
    if args.worker:
        worker(args.worker, args.threads, args.budget)
        return
    env = dict(os.environ, OMP_NUM_THREADS=str(args.threads), OPENBLAS_NUM_THREADS="1")
    rows: dict[str, list[dict[str, float]]] = {name: [] for name in SIMULATORS}
    for _ in range(args.rounds):
        for name in SIMULATORS:
            done = subprocess.run([sys.executable, __file__, "--worker", name, "--threads",
                                   str(args.threads), "--budget", str(args.budget)],
                                  env=env, capture_output=True, text=True, check=True)
            rows[name].append(json.loads(done.stdout.splitlines()[-1]))
    write_report(rows, args)


def write_report(rows, args) -> None:  # type: ignore[no-untyped-def]
    import cirq
    import numpy as np
    import qsimcirq

    median = {name: {key: statistics.median(r[key] for r in runs) for key in runs[0]}
              for name, runs in rows.items()}
    agreement = {}
    for kind in ("native", "foreign"):
        ours = np.load(f"/tmp/cirq-bench-{kind}-velquin.npy")
        agreement[kind] = max(
            float(np.abs(ours - np.load(f"/tmp/cirq-bench-{kind}-{s.replace(' ', '-')}.npy")).max())
            for s in ("qsim fusion 1", "qsim fusion 2"))
    lines = [
        "# velquin_cirq.Simulator against qsimcirq.QSimSimulator",
        "",
        f"`benchmarks/cirq_simulator.py --threads {args.threads} --rounds {args.rounds}`, "
        f"{time.strftime('%Y-%m-%d')}, {platform.processor() or platform.machine()}, "
        f"{os.cpu_count()} logical CPUs, every simulator on {args.threads} threads; "
        f"cirq-core {cirq.__version__}, qsimcirq {qsimcirq.__version__}, "
        f"Python {platform.python_version()}.",
        "",
        f"{N_QUBITS} qubits, {LAYERS} brickwork layers; `run` measures every qubit, "
        f"{REPETITIONS} repetitions. Seconds: median of each worker's calls, then median over "
        f"{args.rounds} rounds. Ratio: velquin's time over qsim's (below 1: velquin faster).",
        "",
        "| circuit | call | velquin | velquin engine | qsim fusion 1 | qsim fusion 2 "
        "| velquin / qsim fusion 1 | velquin / qsim fusion 2 |",
        "|---|---|---|---|---|---|---|---|",
    ]
    for kind in ("native", "foreign"):
        for call in ("simulate", "run"):
            key = f"{kind} {call}"
            v, e = median["velquin"][key], median["velquin engine"][key]
            f1, f2 = median["qsim fusion 1"][key], median["qsim fusion 2"][key]
            lines.append(f"| {kind} | `{call}` | {v:.3f} | {e:.3f} | {f1:.3f} | {f2:.3f} "
                         f"| {v / f1:.2f} | {v / f2:.2f} |")
    lines += [
        "",
        f"velquin plays {int(median['velquin engine']['native gates'])} gates for the native "
        f"circuit and {int(median['velquin engine']['foreign gates'])} for the foreign one "
        "(Cirq's decompositions of FSim, ISWAP and CZ powers). \"velquin engine\" is those "
        "gates played through `velquin.QuantumCircuit` directly; the difference from "
        "\"velquin\" is the adapter (checking, decomposing, binding, records).",
        "",
        "Largest difference per amplitude between velquin's final state and qsim's "
        f"(complex64): native {agreement['native']:.1e}, foreign {agreement['foreign']:.1e}.",
        "",
        "Per round (seconds):",
        "",
    ]
    for name, runs in rows.items():
        lines.append(f"- {name}: " + "; ".join(
            ", ".join(f"{k} {v:.3f}" for k, v in r.items() if "gates" not in k) for r in runs))
    RESULTS.parent.mkdir(exist_ok=True)
    RESULTS.write_text("\n".join(lines) + "\n")
    print("\n".join(lines))


if __name__ == "__main__":
    main()
