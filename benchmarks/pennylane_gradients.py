"""velquin.qubit against lightning.qubit: parameter-shift gradient descent, same thread count.

Workload: 100 steps of qml.GradientDescentOptimizer on a 10-qubit, 4-layer
hardware-efficient ansatz (RY and RZ on every wire, then a CZ ladder; 80
parameters, so each step executes 161 tapes) measuring one 10-term Pauli
Hamiltonian, diff_method="parameter-shift" on both devices.

Every timed run is a fresh worker process with OMP_NUM_THREADS=T (1 and all
CPUs by default) that imports PennyLane, warms up with one step, and times the
steps (wall and CPU time); runs alternate between the devices (the order flips
each round), and the report gives medians and the ratio of the medians. Both
devices must end on the same parameters (to 1e-9). One more run per device
(at the first thread count) is profiled: each transform of the device's
preprocessing, the device's execute (for velquin split into planning, and
simulation and measurement, of which velquin recording and simulating), and
garbage collection; the rest is PennyLane's own work (gradient transform,
parameter conversion, interface), the same for both devices.

Run through benchmarks/pennylane.sh; writes pennylane.md and pennylane.json.
"""

from __future__ import annotations

import argparse
import functools
import gc
import json
import os
import platform
import statistics
import subprocess
import sys
import time
from pathlib import Path

QUBITS, LAYERS, TERMS, STEPS = 10, 4, 10, 100
DEVICES = {"velquin": "velquin.qubit", "lightning": "lightning.qubit"}
PARTS = ("planning", "simulation and measurement", "of which velquin")
"""The parts of velquin.qubit's execute that a profiled run times."""


def problem():
    import numpy as np
    import pennylane as qml

    rng = np.random.default_rng(10)
    paulis = [qml.Identity, qml.X, qml.Y, qml.Z]
    words = [qml.prod(*(paulis[rng.integers(1, 4)](w) if rng.random() < 0.4 else qml.Identity(w)
                        for w in range(QUBITS))) for _ in range(TERMS)]
    hamiltonian = qml.Hamiltonian(rng.normal(size=TERMS), words)
    start = rng.uniform(-np.pi, np.pi, (LAYERS, QUBITS, 2))
    return hamiltonian, start


def cost_function(device_name):
    import pennylane as qml

    hamiltonian, start = problem()
    dev = qml.device(device_name, wires=QUBITS)

    @qml.qnode(dev, diff_method="parameter-shift")
    def cost(weights):
        for layer in range(LAYERS):
            for q in range(QUBITS):
                qml.RY(weights[layer, q, 0], wires=q)
                qml.RZ(weights[layer, q, 1], wires=q)
            for q in range(QUBITS - 1):
                qml.CZ(wires=[q, q + 1])
        return qml.expval(hamiltonian)

    return cost, start


def descend(cost, start, steps):
    import pennylane as qml
    from pennylane import numpy as pnp

    weights = pnp.array(start, requires_grad=True)
    optimizer = qml.GradientDescentOptimizer(0.05)
    for _ in range(steps):
        weights = optimizer.step(cost, weights)
    return weights


def _timer(spent):
    def timed(name, function):
        @functools.wraps(function)
        def wrapper(*args, **kwargs):
            begin = time.perf_counter()
            try:
                return function(*args, **kwargs)
            finally:
                spent[name] = spent.get(name, 0.0) + time.perf_counter() - begin
        return wrapper
    return timed


def _time_preprocessing(device_class, timed):
    """Each transform of the device's preprocessing timed on its own ("preprocess: name")."""
    import pennylane as qml
    from pennylane.transforms.core import CompilePipeline

    original = device_class.preprocess_transforms

    def preprocess_transforms(self, execution_config=None):
        pipeline = CompilePipeline()
        for bound in original(self, execution_config):
            function = bound.tape_transform
            pipeline.add_transform(qml.transform(timed(f"preprocess: {function.__name__}",
                                                       function)), *bound.args, **bound.kwargs)
        return pipeline

    device_class.preprocess_transforms = preprocess_transforms


def _time_collections(spent):
    started = [0.0]

    def callback(phase, info):
        if phase == "start":
            started[0] = time.perf_counter()
        else:
            spent["garbage collection"] = (spent.get("garbage collection", 0.0)
                                           + time.perf_counter() - started[0])
    gc.callbacks.append(callback)


def worker(sim, steps, profile):
    """One timed run in this process; prints a JSON record."""
    spent: dict[str, float] = {}
    if profile:
        timed = _timer(spent)
        if sim == "velquin":
            import velquin_pennylane.device as device
            import velquin_pennylane.simulate as simulate
            device_class = device.VelquinQubit
            device.make_plan = timed("planning", device.make_plan)
            device.run = timed("simulation and measurement", device.run)
            simulate.statevector = timed("of which velquin", simulate.statevector)
        else:
            from pennylane_lightning.lightning_qubit import LightningQubit as device_class
        device_class.execute = timed("device execute", device_class.execute)
        _time_preprocessing(device_class, timed)
        _time_collections(spent)
    cost, start = cost_function(DEVICES[sim])
    descend(cost, start, 1)  # warm-up: imports, caches, thread pools
    spent.clear()
    begin, cpu = time.perf_counter(), time.process_time()
    weights = descend(cost, start, steps)
    seconds, cpu = time.perf_counter() - begin, time.process_time() - cpu
    print(json.dumps({"sim": sim, "seconds": seconds, "cpu": cpu, "weights": weights.tolist(),
                      "spent": spent}))


def run_worker(sim, steps, threads, profile=False):
    env = dict(os.environ, OMP_NUM_THREADS=str(threads), OPENBLAS_NUM_THREADS="1")
    out = subprocess.run([sys.executable, __file__, "--worker", sim, "--steps", str(steps)]
                         + (["--profile"] if profile else []),
                         capture_output=True, text=True, env=env, check=True).stdout
    return json.loads(out.strip().splitlines()[-1])


def versions():
    from importlib.metadata import version
    return {name: version(name) for name in ("pennylane", "pennylane_lightning", "numpy")}


def report(records, profiles, args):
    import numpy as np

    final = {sim: np.array(next(r["weights"] for r in records if r["sim"] == sim))
             for sim in DEVICES}
    agreement = float(np.max(np.abs(final["velquin"] - final["lightning"])))
    lines = [
        "# velquin.qubit against lightning.qubit: parameter-shift gradient descent",
        "",
        f"{args.steps} steps of `GradientDescentOptimizer` on a {QUBITS}-qubit, {LAYERS}-layer "
        "hardware-efficient ansatz",
        f"(RY and RZ on every wire, a CZ ladder; {LAYERS * QUBITS * 2} parameters, "
        f"{LAYERS * QUBITS * 4 + 1} tapes a step) measuring a {TERMS}-term",
        'Pauli Hamiltonian, `diff_method="parameter-shift"` on both devices, the same '
        "OMP_NUM_THREADS for both.",
        f"Each run is a fresh process; {args.runs} runs per device and thread count, "
        "alternating. Written by",
        f"`benchmarks/pennylane.sh` ({time.strftime('%Y-%m-%d')}, "
        f"{platform.processor() or platform.machine()}, {os.cpu_count()} CPUs). Wall time is "
        "what the target",
        "is judged on; CPU time (all threads of the process) is shown beside it because the "
        "machine is shared.",
        "",
        "| threads | device | wall median (s) | wall runs (s) | CPU median (s) |",
        "|---|---|---|---|---|",
    ]
    data = {"runs": {}, "agreement": agreement, "profiles": profiles, "steps": args.steps}
    ratios = []
    for threads in args.threads:
        wall, cpu = {}, {}
        for sim in DEVICES:
            mine = [r for r in records if r["sim"] == sim and r["threads"] == threads]
            wall[sim] = statistics.median(r["seconds"] for r in mine)
            cpu[sim] = statistics.median(r["cpu"] for r in mine)
            runs = ", ".join(f"{r['seconds']:.1f}" for r in mine)
            lines.append(f"| {threads} | {DEVICES[sim]} | {wall[sim]:.1f} | {runs} | "
                         f"{cpu[sim]:.1f} |")
        ratios.append((threads, wall["velquin"] / wall["lightning"],
                       cpu["velquin"] / cpu["lightning"]))
        data["runs"][threads] = {"wall": wall, "cpu": cpu}
    lines.append("")
    for threads, wall_ratio, cpu_ratio in ratios:
        lines.append(f"- {threads} thread{'s' if threads > 1 else ''}: **velquin / Lightning "
                     f"{wall_ratio:.2f}** wall time (target: at most 1.0), {cpu_ratio:.2f} CPU "
                     "time.")
    lines += [
        f"- Final parameters agree to {agreement:.1e}.",
        "",
        f"## Where the time goes (one profiled run per device, {args.threads[0]} thread"
        f"{'s' if args.threads[0] > 1 else ''})",
        "",
        "| device | total (s) | device's preprocessing (s) | device's execute (s) | "
        "of which | garbage collection (s) |",
        "|---|---|---|---|---|---|",
    ]
    for sim in DEVICES:
        p = profiles[sim]
        spent = p["spent"]
        preprocessing = {name.split(": ", 1)[1]: seconds for name, seconds in spent.items()
                         if name.startswith("preprocess: ")}
        inside = ", ".join(f"{name} {spent[name]:.2f} s" for name in PARTS if name in spent) or "-"
        lines.append(f"| {DEVICES[sim]} | {p['seconds']:.2f} | {sum(preprocessing.values()):.2f} | "
                     f"{spent.get('device execute', 0.0):.2f} | {inside} | "
                     f"{spent.get('garbage collection', 0.0):.2f} |")
    lines += ["", "The device's preprocessing, transform by transform (s):", "",
              "| transform | " + " | ".join(DEVICES.values()) + " |",
              "|---|" + "---|" * len(DEVICES)]
    steps = {sim: {name.split(": ", 1)[1]: seconds for name, seconds in profiles[sim]["spent"].items()
                   if name.startswith("preprocess: ")} for sim in DEVICES}
    for name in dict.fromkeys(name for sim in DEVICES for name in steps[sim]):
        lines.append(f"| {name} | " + " | ".join(
            f"{steps[sim][name]:.2f}" if name in steps[sim] else "-" for sim in DEVICES) + " |")
    lines += ["", "The rest of each total is PennyLane's own work (the parameter-shift "
              "transform, the conversion of every tape's parameters to NumPy, autograd), the "
              "same code for both devices. Garbage collection is counted wherever it happened.",
              "", "Versions: " + ", ".join(f"{k} {v}" for k, v in versions().items()) + "."]
    data["ratios"] = ratios
    return "\n".join(lines) + "\n", data


def main():
    parser = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    parser.add_argument("--worker", choices=list(DEVICES))
    parser.add_argument("--profile", action="store_true")
    parser.add_argument("--steps", type=int, default=STEPS)
    parser.add_argument("--runs", type=int, default=3)
    parser.add_argument("--threads", type=lambda text: [int(t) for t in text.split(",")],
                        default=[1, len(os.sched_getaffinity(0))],
                        help="comma-separated thread counts (default: 1 and all CPUs)")
    parser.add_argument("--out", type=Path)
    args = parser.parse_args()
    if args.worker:
        worker(args.worker, args.steps, args.profile)
        return
    args.threads = sorted(set(args.threads))
    records = []
    order = list(DEVICES)
    for threads in args.threads:
        for round_ in range(args.runs):
            for sim in order if round_ % 2 == 0 else order[::-1]:
                record = run_worker(sim, args.steps, threads)
                record["threads"] = threads
                print(f"{DEVICES[sim]}, {threads} threads: {record['seconds']:.2f} s", flush=True)
                records.append(record)
    profiles = {sim: run_worker(sim, args.steps, args.threads[0], profile=True)
                for sim in DEVICES}
    text, data = report(records, profiles, args)
    print(text)
    if args.out:
        args.out.mkdir(parents=True, exist_ok=True)
        (args.out / "pennylane.md").write_text(text)
        (args.out / "pennylane.json").write_text(json.dumps(data, indent=1))
    if data["agreement"] > 1e-9:
        sys.exit(f"the devices disagree: final parameters differ by {data['agreement']:.1e}")


if __name__ == "__main__":
    main()
