"""velquin_cirq.Simulator against qsimcirq.QSimSimulator, end to end through Cirq's API.

    benchmarks/cirq.sh [--threads 1,2] [--rounds R] [--budget SECONDS]

(``cirq.sh`` makes benchmarks/.venv, with qsimcirq, as run.sh does, builds
velquin into it and runs this file; any environment with velquin, cirq-core
and qsimcirq will do.)

Three 20-qubit random circuits, each as a Cirq user would hand it over:
"native" (H, X**0.5, T, rx, ry, rz, CZ, CNOT in brickwork layers: gates
velquin has), "foreign" (PhasedXPow, Y**0.5, FSim, ISWAP**t, CZ**t: gates
velquin lacks, decomposed by Cirq for it; qsim applies them natively) and
"two-qubit" (CZ, CNOT and SWAP in 40 brickwork layers: qsim's fuser, which
cannot be switched off, merges single-qubit gates into their neighbours even
at max_fused_gate_size=1, but has nothing to merge here).
For each: ``simulate`` (the final state) and ``run`` with 10^5 repetitions
measuring every qubit. qsim runs with max_fused_gate_size=1 (the least
fusion it offers; it cannot switch it off) and with its default, 2, both at
the same thread count as velquin. "velquin engine" is the same gates played
through velquin.QuantumCircuit directly, without the adapter.

Each simulator runs in a worker process of its own (OpenMP threads that one
runtime leaves spinning would slow the other), one at a time, round robin over
``--rounds`` rounds, at each thread count of ``--threads``. Each figure is the
least over all calls (wall clock, and CPU time of all threads). Writes
benchmarks/results/cirq.md and cirq.json.
"""

from __future__ import annotations

import argparse
import json
import os
import platform
import subprocess
import sys
import time
from pathlib import Path

N_QUBITS = 20
LAYERS = 20
REPETITIONS = 100_000
KINDS = ("native", "foreign", "two-qubit")
SIMULATORS = ["velquin", "velquin engine", "qsim fusion 1", "qsim fusion 2"]
RESULTS = Path(__file__).resolve().parent / "results" / "cirq.md"


def make_circuit(kind: str, measured: bool):  # type: ignore[no-untyped-def]
    import cirq
    import numpy as np

    rng = np.random.default_rng(2026)
    q = cirq.LineQubit.range(N_QUBITS)
    circuit = cirq.Circuit()
    if kind == "two-qubit":  # brickwork pairs change every layer: nothing for qsim to fuse
        for layer in range(2 * LAYERS):
            for k in range(layer % 2, N_QUBITS - 1, 2):
                gate = [cirq.CZ, cirq.CNOT, cirq.SWAP][rng.integers(3)]
                circuit.append(gate.on(q[k], q[k + 1]))
        if measured:
            circuit.append(cirq.measure(*q, key="m"))
        return circuit
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


def time_calls(call, budget: float) -> tuple[float, float]:  # type: ignore[no-untyped-def]
    """The fastest call's wall time and the least CPU time (all threads) of any call.

    On a shared machine other work only ever adds time, so the least is the
    figure least disturbed by it.
    """
    call()  # warm: imports, thread pools, first touch of memory
    walls: list[float] = []
    cpus: list[float] = []
    start = time.perf_counter()
    while len(walls) < 3 or (time.perf_counter() - start < budget and len(walls) < 15):
        t0, c0 = time.perf_counter(), time.process_time()
        call()
        walls.append(time.perf_counter() - t0)
        cpus.append(time.process_time() - c0)
    return min(walls), min(cpus)


def worker(name: str, threads: int, budget: float) -> None:
    import numpy as np

    figures: dict[str, float | int] = {}
    for kind in KINDS:
        plain, measured = make_circuit(kind, False), make_circuit(kind, True)
        if name == "velquin engine":
            simulate, run, figures[f"{kind} gates"] = engine_calls(plain)
        else:
            sim = simulator(name, threads)
            simulate = lambda: sim.simulate(plain)  # noqa: E731
            run = lambda: sim.run(measured, repetitions=REPETITIONS)  # noqa: E731
        for call, function in (("simulate", simulate), ("run", run)):
            figures[f"{kind} {call}"], figures[f"{kind} {call} cpu"] = time_calls(function, budget)
        if name != "velquin engine":
            state = np.asarray(sim.simulate(plain).final_state_vector, np.complex128)
            np.save(f"/tmp/cirq-bench-{kind}-{name.replace(' ', '-')}.npy", state)
    print(json.dumps(figures))


def main() -> None:
    parser = argparse.ArgumentParser()
    parser.add_argument("--threads", default="1,2", help="thread counts, comma-separated")
    parser.add_argument("--rounds", type=int, default=3)
    parser.add_argument("--budget", type=float, default=4.0, help="seconds per figure")
    parser.add_argument("--worker")
    args = parser.parse_args()
    if args.worker:
        worker(args.worker, int(args.threads), args.budget)
        return
    tables = {}
    for threads in [int(t) for t in args.threads.split(",")]:
        env = dict(os.environ, OMP_NUM_THREADS=str(threads), OPENBLAS_NUM_THREADS="1")
        rows: dict[str, list[dict[str, float]]] = {name: [] for name in SIMULATORS}
        for _ in range(args.rounds):
            for name in SIMULATORS:
                done = subprocess.run([sys.executable, __file__, "--worker", name, "--threads",
                                       str(threads), "--budget", str(args.budget)],
                                      env=env, capture_output=True, text=True, check=True)
                rows[name].append(json.loads(done.stdout.splitlines()[-1]))
        tables[threads] = rows
    write_report(tables, args)


def write_report(tables, args) -> None:  # type: ignore[no-untyped-def]
    import cirq
    import numpy as np
    import qsimcirq

    agreement = {}
    for kind in KINDS:
        ours = np.load(f"/tmp/cirq-bench-{kind}-velquin.npy")
        agreement[kind] = max(
            float(np.abs(ours - np.load(f"/tmp/cirq-bench-{kind}-{s.replace(' ', '-')}.npy")).max())
            for s in ("qsim fusion 1", "qsim fusion 2"))
    gates = tables[next(iter(tables))]["velquin engine"][0]
    lines = [
        "# velquin_cirq.Simulator against qsimcirq.QSimSimulator",
        "",
        f"`benchmarks/cirq.sh --threads {args.threads} --rounds {args.rounds}`, "
        f"{time.strftime('%Y-%m-%d')}, {platform.machine()}, {os.cpu_count()} logical CPUs "
        f"(shared with other work: load {os.getloadavg()[0]:.1f} at the end); "
        f"cirq-core {cirq.__version__}, qsimcirq {qsimcirq.__version__}, "
        f"Python {platform.python_version()}.",
        "",
        f"{N_QUBITS} qubits, {LAYERS} brickwork layers; `run` measures every qubit, "
        f"{REPETITIONS} repetitions. Each figure is the least over every call of "
        f"{args.rounds} rounds (each simulator in a fresh worker process per round, round "
        "robin): wall-clock seconds, and in parentheses CPU seconds of all the process's "
        "threads. Ratios: velquin's time over qsim's, wall (CPU); below 1, velquin is faster.",
    ]
    for threads, rows in tables.items():
        best = {name: {key: min(r[key] for r in runs) for key in runs[0]}
                for name, runs in rows.items()}
        lines += [
            "",
            f"## {threads} thread{'s' if threads > 1 else ''} for every simulator",
            "",
            "| circuit | call | velquin | velquin engine | qsim fusion 1 | qsim fusion 2 "
            "| velquin / qsim fusion 1 | velquin / qsim fusion 2 |",
            "|---|---|---|---|---|---|---|---|",
        ]
        for kind in KINDS:
            for call in ("simulate", "run"):
                key = f"{kind} {call}"
                cells = [f"{best[n][key]:.3f} ({best[n][key + ' cpu']:.3f})" for n in SIMULATORS]
                ratios = [f"{best['velquin'][key] / best[q][key]:.2f} "
                          f"({best['velquin'][key + ' cpu'] / best[q][key + ' cpu']:.2f})"
                          for q in ("qsim fusion 1", "qsim fusion 2")]
                lines.append(f"| {kind} | `{call}` | " + " | ".join(cells + ratios) + " |")
    lines += [
        "",
        f"velquin plays {int(gates['native gates'])} gates for the native circuit, "
        f"{int(gates['two-qubit gates'])} for the two-qubit one, and "
        f"{int(gates['foreign gates'])} for the foreign one (Cirq's decompositions of "
        "PhasedXPow, ISWAP and CZ powers, and FSim as ISWAP and CZ powers); qsim applies the "
        "foreign circuit's 600 operations as they are. \"velquin engine\" is velquin's gates "
        "played through `velquin.QuantumCircuit` directly; the difference from \"velquin\" is "
        "the adapter (checking, decomposing, binding, result objects).",
        "",
        "Largest difference per amplitude between velquin's final state and qsim's "
        "(complex64): " + ", ".join(f"{k} {v:.1e}" for k, v in agreement.items()) + ".",
    ]
    RESULTS.parent.mkdir(exist_ok=True)
    RESULTS.write_text("\n".join(lines) + "\n")
    (RESULTS.with_suffix(".json")).write_text(json.dumps(
        {str(t): rows for t, rows in tables.items()}, indent=1))
    print("\n".join(lines))


if __name__ == "__main__":
    main()
