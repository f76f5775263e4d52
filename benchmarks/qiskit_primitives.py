"""velquin_qiskit's EstimatorV2 and SamplerV2 against Qiskit Aer's, same thread count.

Every timed run is a fresh worker process that imports one simulator, warms
up on a small problem and times one call; runs alternate between simulators
(the order flips each round) and the report gives medians and ratios of one
run. Workloads:

- estimator: 1,000 parameter sets of a 12-qubit hardware-efficient ansatz
  (6 layers of ry and rz on every qubit, then a cz ladder), a 20-term Pauli
  observable. At T threads velquin runs its parameter sets on a process pool
  of T workers (a 12-qubit gate is too small to split over threads), Aer with
  max_parallel_threads=T. A profiled velquin run splits its time into
  translation, binding, recording gates, simulation, Qiskit's expectation
  values and the rest of the adapter (PUB coercion, observables, results).
- sampler: a 24-qubit circuit (2 layers of the same ansatz, random angles),
  10^5 shots; velquin with OMP_NUM_THREADS=T, Aer with max_parallel_threads=T.

Run through benchmarks/qiskit.sh; writes qiskit.md and qiskit.json.
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

ESTIMATOR_QUBITS, ESTIMATOR_LAYERS, PARAMETER_SETS, TERMS = 12, 6, 1000, 20
SAMPLER_QUBITS, SAMPLER_LAYERS, SHOTS = 24, 2, 100_000


def ansatz(n, layers):
    from qiskit import QuantumCircuit
    from qiskit.circuit import ParameterVector

    theta = ParameterVector("theta", 2 * n * layers)
    circuit = QuantumCircuit(n)
    for layer in range(layers):
        for q in range(n):
            circuit.ry(theta[2 * (layer * n + q)], q)
            circuit.rz(theta[2 * (layer * n + q) + 1], q)
        for q in range(n - 1):
            circuit.cz(q, q + 1)
    return circuit


def estimator_problem(sets=PARAMETER_SETS):
    import numpy as np
    from qiskit.quantum_info import SparsePauliOp

    rng = np.random.default_rng(12)
    circuit = ansatz(ESTIMATOR_QUBITS, ESTIMATOR_LAYERS)
    labels = ["".join(rng.choice(list("IXYZ"), ESTIMATOR_QUBITS)) for _ in range(TERMS)]
    observable = SparsePauliOp(labels, rng.normal(size=TERMS))
    values = rng.uniform(-np.pi, np.pi, (sets, circuit.num_parameters))
    return circuit, observable, values


def sampler_problem():
    import numpy as np

    circuit = ansatz(SAMPLER_QUBITS, SAMPLER_LAYERS)
    circuit = circuit.assign_parameters(
        np.random.default_rng(24).uniform(-np.pi, np.pi, circuit.num_parameters))
    circuit.measure_all()
    return circuit


def make_estimator(sim, threads, pool):
    if sim == "velquin":
        import velquin_qiskit
        return velquin_qiskit.EstimatorV2(executor=pool)
    from qiskit_aer.primitives import EstimatorV2
    return EstimatorV2(options={"backend_options": {"max_parallel_threads": threads}})


def make_sampler(sim, threads):
    if sim == "velquin":
        import velquin_qiskit
        return velquin_qiskit.SamplerV2(seed=1)
    from qiskit_aer.primitives import SamplerV2
    return SamplerV2(seed=1, options={"backend_options": {"max_parallel_threads": threads}})


def _timer(spent):
    def timed(name, function):
        def wrapper(*args, **kwargs):
            start = time.perf_counter()
            try:
                return function(*args, **kwargs)
            finally:
                spent[name] = spent.get(name, 0.0) + time.perf_counter() - start
        return wrapper
    return timed


def profiled_estimator_run():
    """One serial velquin estimator run with its time split by phase."""
    import velquin_adapters.jobs

    import velquin_qiskit
    import velquin_qiskit.translation
    from velquin_qiskit import estimator as module
    from velquin_qiskit.translation import Translation

    spent: dict[str, float] = {}
    timed = _timer(spent)
    velquin_qiskit.translation.translate = timed("translation",
                                                 velquin_qiskit.translation.translate)
    Translation.bind = timed("binding", Translation.bind)
    module.job_statevector = timed("velquin (recording and simulating)", module.job_statevector)
    velquin_adapters.jobs.build = timed("recording", velquin_adapters.jobs.build)
    module.expectation_value = timed("Qiskit expectation values", module.expectation_value)
    circuit, observable, values = estimator_problem()
    start = time.perf_counter()
    velquin_qiskit.EstimatorV2().run([(circuit, observable, values)]).result()
    total = time.perf_counter() - start
    # Nested phases: gates are recorded (each set's angles looked up as they go) inside
    # the velquin call.
    spent["simulating"] = spent.pop("velquin (recording and simulating)") - spent["recording"]
    spent["recording gates"] = spent.pop("recording")
    spent["rest of the adapter"] = total - sum(spent.values())
    return {"total": total, "parts": spent}


def profiled_sampler_run():
    """One velquin sampler run with its time split by phase."""
    import velquin_qiskit
    import velquin_qiskit.translation
    from velquin_qiskit import sampler as module

    spent: dict[str, float] = {}
    timed = _timer(spent)
    velquin_qiskit.translation.translate = timed("translation",
                                                 velquin_qiskit.translation.translate)
    module.counts = timed("velquin (recording, simulating, counts)", module.counts)
    module.counts_to_bits = timed("shots from counts", module.counts_to_bits)
    module.pack = timed("packing bits", module.pack)
    circuit = sampler_problem()
    start = time.perf_counter()
    velquin_qiskit.SamplerV2(seed=1).run([circuit], shots=SHOTS).result()
    total = time.perf_counter() - start
    spent["rest of the adapter"] = total - sum(spent.values())
    return {"total": total, "parts": spent}


def worker(sim, workload, threads):
    import numpy as np

    if workload == "estimator-profile":
        profiled_estimator_run()  # warm-up
        return profiled_estimator_run()
    if workload == "sampler-profile":
        return profiled_sampler_run()
    if workload == "estimator":
        pool = None
        if sim == "velquin" and threads > 1:
            import concurrent.futures
            import multiprocessing
            pool = concurrent.futures.ProcessPoolExecutor(
                threads, mp_context=multiprocessing.get_context("spawn"))
        estimator = make_estimator(sim, threads, pool)
        circuit, observable, values = estimator_problem()
        estimator.run([(circuit, observable, values[:40])]).result()  # warm-up, pool started
        start = time.perf_counter()
        evs = estimator.run([(circuit, observable, values)]).result()[0].data.evs
        seconds = time.perf_counter() - start
        if pool is not None:
            pool.shutdown()
        return {"seconds": seconds, "evs": evs.tolist()}
    sampler = make_sampler(sim, threads)
    from qiskit import QuantumCircuit
    small = QuantumCircuit(2)
    small.h(0)
    small.measure_all()
    sampler.run([small], shots=100).result()  # warm-up
    circuit = sampler_problem()
    start = time.perf_counter()
    bits = sampler.run([circuit], shots=SHOTS).result()[0].data.meas
    seconds = time.perf_counter() - start
    counts = bits.slice_bits(list(range(4))).get_int_counts()  # a 4-qubit marginal
    return {"seconds": seconds, "marginal": [counts.get(i, 0) / SHOTS for i in range(16)],
            "shots": int(bits.num_shots)}


def run_worker(sim, workload, threads):
    env = dict(os.environ, OMP_NUM_THREADS=str(threads), OPENBLAS_NUM_THREADS="1")
    out = subprocess.run([sys.executable, __file__, "--worker", sim, workload, str(threads)],
                         env=env, capture_output=True, text=True, check=True, timeout=3600)
    return json.loads(out.stdout.strip().splitlines()[-1])


def library_versions():
    versions = {}
    for name in ["qiskit", "qiskit_aer", "numpy"]:
        try:
            module = __import__(name)
            versions[name] = module.__version__
        except ImportError:
            versions[name] = "n/a"
    return versions


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument("--worker", nargs=3)
    parser.add_argument("--runs", type=int, default=5)
    parser.add_argument("--threads", default=None,
                        help="comma-separated thread counts (default: 1 and the CPUs available)")
    parser.add_argument("--only", default="estimator,sampler")
    parser.add_argument("--out", default=str(Path(__file__).parent / "results"))
    args = parser.parse_args()
    if args.worker:
        sim, workload, threads = args.worker
        print(json.dumps(worker(sim, workload, int(threads))))
        return
    cpus = len(os.sched_getaffinity(0))
    threads = ([int(t) for t in args.threads.split(",")] if args.threads
               else sorted({1, cpus}))
    records = []
    started = time.strftime("%Y-%m-%d %H:%M UTC", time.gmtime())
    for workload in args.only.split(","):
        for t in threads if workload == "estimator" else [max(threads)]:
            for run in range(args.runs):
                order = ["velquin", "aer"] if run % 2 == 0 else ["aer", "velquin"]
                for sim in order:
                    result = run_worker(sim, workload, t)
                    result.update(sim=sim, workload=workload, threads=t, run=run,
                                  load=os.getloadavg()[0])
                    records.append(result)
                    print(f"{workload} threads={t} run={run} {sim}: {result['seconds']:.3f} s",
                          flush=True)
    profile = {}
    for workload in args.only.split(","):
        t = 1 if workload == "estimator" else max(threads)
        profile[workload] = run_worker("velquin", f"{workload}-profile", t)
        profile[workload]["threads"] = t
        print(f"profile: {profile[workload]}", flush=True)
    out = Path(args.out)
    out.mkdir(parents=True, exist_ok=True)
    info = {"started": started, "cpus": cpus, "machine": platform.processor() or platform.machine(),
            "cpu_model": cpu_model(), "versions": library_versions(), "runs": args.runs}
    (out / "qiskit.md").write_text(report(info, records, profile))
    for record in records:
        record.pop("evs", None)  # compared in the report; too long to keep
    (out / "qiskit.json").write_text(json.dumps({"info": info, "records": records,
                                                 "profile": profile}, indent=1))
    print((out / "qiskit.md").read_text())


def cpu_model():
    try:
        for line in Path("/proc/cpuinfo").read_text().splitlines():
            if line.startswith("model name"):
                return line.split(":", 1)[1].strip()
    except OSError:
        pass
    return "unknown"


def report(info, records, profile):
    import numpy as np

    lines = [
        "# velquin_qiskit against Qiskit Aer's primitives",
        "",
        f"`benchmarks/qiskit.sh`, {info['started']}, {info['cpu_model']}, {info['cpus']} CPUs; "
        f"{info['runs']} runs per row, alternating (the order flips each run), each in a fresh "
        "process after a warm-up; medians, and the ratio of medians (below 1: velquin faster). "
        f"Versions: {', '.join(f'{k} {v}' for k, v in info['versions'].items())}.",
        "",
        "| workload | threads | velquin median (min) | Aer median (min) | velquin / Aer |",
        "|---|---|---|---|---|",
    ]
    rows = {}
    for r in records:
        rows.setdefault((r["workload"], r["threads"]), {}).setdefault(r["sim"], []).append(r)
    agreement = []
    for (workload, threads), sims in rows.items():
        v = [r["seconds"] for r in sims["velquin"]]
        a = [r["seconds"] for r in sims["aer"]]
        name = (f"EstimatorV2, {PARAMETER_SETS} parameter sets, {ESTIMATOR_QUBITS} qubits, "
                f"{TERMS} terms" if workload == "estimator"
                else f"SamplerV2, {SAMPLER_QUBITS} qubits, {SHOTS} shots")
        lines.append(f"| {name} | {threads} | {statistics.median(v):.3f} s ({min(v):.3f}) | "
                     f"{statistics.median(a):.3f} s ({min(a):.3f}) | "
                     f"{statistics.median(v) / statistics.median(a):.2f} |")
        if workload == "estimator":
            diff = np.abs(np.array(sims["velquin"][0]["evs"]) - np.array(sims["aer"][0]["evs"]))
            agreement.append(f"- Estimator, {threads} threads: largest difference between "
                             f"velquin's and Aer's expectation values {diff.max():.1e}.")
        else:
            pv, pa = (np.array(sims[s][0]["marginal"]) for s in ("velquin", "aer"))
            agreement.append(f"- Sampler: total variation distance between velquin's and Aer's "
                             f"4-qubit marginal (qubits 0 to 3) {0.5 * np.abs(pv - pa).sum():.4f} "
                             f"over {SHOTS} shots each.")
    lines += ["", "Agreement:", "", *agreement, ""]
    loads = [r["load"] for r in records]
    lines += [f"One-minute load average during the runs: {min(loads):.2f} to {max(loads):.2f} "
              "(the machine is shared; compare ratios, not times).", ""]
    for workload, run in profile.items():
        total = run["total"]
        lines += [f"## Where velquin's {workload} time goes", "",
                  f"One velquin run ({run['threads']} thread(s)), {total:.3f} s in all:", "",
                  "| phase | seconds | share |", "|---|---|---|"]
        for name, seconds in sorted(run["parts"].items(), key=lambda kv: -kv[1]):
            lines.append(f"| {name} | {seconds:.3f} | {100 * seconds / total:.1f} % |")
        own = sum(seconds for name, seconds in run["parts"].items()
                  if name in ("translation", "binding", "rest of the adapter", "shots from counts",
                              "packing bits"))
        lines += ["", f"The adapter's own share: {100 * own / total:.1f} % of the total.", ""]
    lines += [
        "Phases: translation is the check and Qiskit's transpiler, once per PUB; binding "
        "evaluates every angle expression for all parameter sets at once (each set's angles are "
        "looked up while its gates are recorded); recording gates is the Python calls of "
        "velquin's circuit builder, one per gate; simulating is velquin's "
        "`QuantumCircuit.statevector()`; the sampler's velquin phase is `QuantumCircuit.run()`; "
        "shots from counts is turning velquin's counts into per-shot rows in a seeded order; "
        "the rest is PUB coercion, observables and result containers. The adapter's own share "
        "counts translation, binding, shots from counts, packing and the rest.", ""]
    return "\n".join(lines)


if __name__ == "__main__":
    main()
